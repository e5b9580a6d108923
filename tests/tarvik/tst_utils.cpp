#include "tarvik/utils.h"

#include "tarvik/basefare.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpaymentmethod.h"

#include <QJsonDocument>
#include <QtTest>

#include <algorithm>

using namespace tarvik;

namespace {

QJsonArray array(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).array();
}

template <typename T>
QList<QSharedPointer<T>> records(const QByteArray &json)
{
    QList<QSharedPointer<T>> list;
    for (const QJsonValue &element : array(json))
        list.append(QSharedPointer<T>::create(element.toObject()));
    return list;
}

// Every entry as "key/id/tag", sorted: hash order is not part of the contract.
template <typename Container>
QStringList entries(const Container &map)
{
    QStringList out;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out << QStringLiteral("%1/%2/%3").arg(it.key()).arg(it.value()->id()).arg(it.value()->toJson().value("tag").toString());
    std::sort(out.begin(), out.end());
    return out;
}

// Rows as the back-end sends them; "p" is the parent id under every parent key of the four kinds.
QByteArray rows(const QList<std::tuple<int, int, const char *>> &list)
{
    QJsonArray out;
    for (const auto &[parent, id, tag] : list) {
        QJsonObject row{{"fareProductId", parent}, {"axisId", parent}, {"stopGroupId", parent},
                        {"ruleId", parent}, {"tag", tag}};
        if (id != 0)
            row.insert("id", id);
        out.append(row);
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

// Loads `existing` as the file would, merges `received` with the kind's function.
QStringList mergeOf(const QString &kind, const QByteArray &existing, const QByteArray &received)
{
    if (kind == "fare-product-link") {
        auto map = Utils::jsonToFPMultiMap<FareProductBaseFare>(array(existing));
        Utils::appendListToFPMultiMap(map, records<FareProductBaseFare>(received));
        return entries(map);
    }
    if (kind == "axis-stops") {
        auto map = Utils::jsonToAxisStops(array(existing));
        Utils::appendListToAxisStops(map, records<AxisStop>(received));
        return entries(map);
    }
    if (kind == "stop-group-stops") {
        auto map = Utils::jsonToStopGroupStops(array(existing));
        Utils::appendListToStopGroupStops(map, records<StopGroupStops>(received));
        return entries(map);
    }
    auto map = Utils::jsonToCappingRuleStopGroups(array(existing));
    CappingRuleStopGroup::List list;
    for (const QJsonValue &element : array(received))
        list << CappingRuleStopGroup::fromJson(element.toObject());
    Utils::appendListToCappingRuleStopGroups(map, list);
    return entries(map);
}

const QStringList kMultiMapKinds = {"fare-product-link", "axis-stops", "stop-group-stops", "capping-rule-stop-groups"};

} // namespace

class tst_Utils : public QObject
{
    Q_OBJECT
private slots:
    void mergeReplacesById_data();
    void mergeReplacesById();
    void repeatedFullSyncKeepsOneRowEach();
    void deleteFromMultiMap_data();
    void deleteFromMultiMap();
};

void tst_Utils::mergeReplacesById_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("expected");

    struct Row
    {
        const char *name;
        QByteArray existing;
        QByteArray received;
        QStringList expected;
    };
    const QList<Row> table = {
        {"new-rows-added", "[]", rows({{1, 10, "a"}, {2, 11, "b"}}), {"1/10/a", "2/11/b"}},
        {"same-row-again-stands-once", rows({{1, 10, "a"}}), rows({{1, 10, "a"}}), {"1/10/a"}},
        {"changed-row-replaces", rows({{1, 10, "a"}}), rows({{1, 10, "b"}}), {"1/10/b"}},
        {"parent-changed-moves", rows({{1, 10, "a"}}), rows({{2, 10, "b"}}), {"2/10/b"}},
        {"stored-duplicates-collapse", rows({{1, 10, "a"}, {1, 10, "a"}, {3, 10, "c"}}), rows({{2, 10, "b"}}),
         {"2/10/b"}},
        {"other-ids-untouched", rows({{1, 10, "a"}, {1, 11, "b"}}), rows({{1, 11, "c"}}), {"1/10/a", "1/11/c"}},
        {"same-id-twice-received-last-wins", "[]", rows({{1, 10, "a"}, {2, 10, "b"}}), {"2/10/b"}},
        {"id-zero-appends", rows({{1, 0, "a"}}), rows({{1, 0, "a"}}), {"1/0/a", "1/0/a"}},
        {"id-zero-leaves-ids-alone", rows({{1, 10, "a"}}), rows({{1, 0, "z"}}), {"1/0/z", "1/10/a"}},
        {"empty-list", rows({{1, 10, "a"}}), "[]", {"1/10/a"}},
    };
    for (const QString &kind : kMultiMapKinds) {
        for (const Row &row : table)
            QTest::addRow("%s-%s", qPrintable(kind), row.name) << kind << row.existing << row.received << row.expected;
    }
}

void tst_Utils::mergeReplacesById()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, existing);
    QFETCH(QByteArray, received);
    QFETCH(QStringList, expected);

    QCOMPARE(mergeOf(kind, existing, received), expected);
}

// A full sync runs every cycle while any table is empty: the link rows must not pile up.
void tst_Utils::repeatedFullSyncKeepsOneRowEach()
{
    QJsonArray sync;
    for (int i = 1; i <= 500; ++i)
        sync.append(QJsonObject{{"id", i}, {"fareProductId", i % 50}, {"paymentMethodId", i % 7}});
    const QByteArray syncJson = QJsonDocument(sync).toJson();

    FareProductPaymentMethod::MultiMap store;
    for (int cycle = 0; cycle < 3; ++cycle) {
        Utils::appendListToFPMultiMap(store, records<FareProductPaymentMethod>(syncJson));
        QCOMPARE(store.size(), 500);
        // What the manager writes back and reads at the next start.
        const QJsonArray file = Utils::listToJson(store.values());
        QCOMPARE(file.size(), 500);
        store = Utils::jsonToFPMultiMap<FareProductPaymentMethod>(file);
    }
    QCOMPARE(store.values(7).size(), 10);
}

void tst_Utils::deleteFromMultiMap_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QStringList>("remaining");

    for (const QString &kind : kMultiMapKinds) {
        // The record id, not the parent key, and every copy of it, whatever its parent.
        QTest::addRow("%s-every-copy", qPrintable(kind))
            << kind << 10 << true << QStringList{"1/0/z", "1/11/b"};
        QTest::addRow("%s-parent-id-is-not-record-id", qPrintable(kind))
            << kind << 1 << false << QStringList{"1/0/z", "1/10/a", "1/11/b", "2/10/a"};
        QTest::addRow("%s-id-zero-names-nothing", qPrintable(kind))
            << kind << 0 << false << QStringList{"1/0/z", "1/10/a", "1/11/b", "2/10/a"};
    }
}

void tst_Utils::deleteFromMultiMap()
{
    QFETCH(QString, kind);
    QFETCH(int, id);
    QFETCH(bool, removed);
    QFETCH(QStringList, remaining);

    const QJsonArray file = array(rows({{1, 10, "a"}, {2, 10, "a"}, {1, 11, "b"}, {1, 0, "z"}}));
    bool actual = false;
    QStringList left;
    if (kind == "fare-product-link") {
        auto map = Utils::jsonToFPMultiMap<FareProductBaseFare>(file);
        actual = Utils::deleteItemFromMultiMap<FareProductBaseFare>(map, id);
        left = entries(map);
    } else if (kind == "axis-stops") {
        auto map = Utils::jsonToAxisStops(file);
        actual = Utils::deleteItemFromMultiMap<AxisStop>(map, id);
        left = entries(map);
    } else if (kind == "stop-group-stops") {
        auto map = Utils::jsonToStopGroupStops(file);
        actual = Utils::deleteItemFromMultiMap<StopGroupStops>(map, id);
        left = entries(map);
    } else {
        auto map = Utils::jsonToCappingRuleStopGroups(file);
        actual = Utils::deleteItemFromMultiMap(map, id);
        left = entries(map);
    }
    QCOMPARE(actual, removed);
    QCOMPARE(left, remaining);
}

QTEST_GUILESS_MAIN(tst_Utils)
#include "tst_utils.moc"

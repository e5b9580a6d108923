#include "tarvik/utils.h"

#include "tarvik/basefare.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpaymentmethod.h"

#include <QJsonDocument>
#include <QtTest>

#include <algorithm>

using namespace tarvik;

namespace {

template <typename T>
QList<QSharedPointer<T>> records(const QJsonArray &json)
{
    QList<QSharedPointer<T>> list;
    for (const QJsonValue &element : json)
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
QJsonArray rows(const QList<std::tuple<int, int, const char *>> &list)
{
    QJsonArray out;
    for (const auto &[parent, id, tag] : list) {
        QJsonObject row{{"fareProductId", parent}, {"axisId", parent}, {"stopGroupId", parent},
                        {"ruleId", parent}, {"tag", tag}};
        if (id != 0)
            row.insert("id", id);
        out.append(row);
    }
    return out;
}

template <typename T, typename Map, typename Merge>
QStringList apply(Map map, Merge merge, const QJsonArray &received, int deleteId)
{
    if (deleteId >= 0) {
        const bool removed = Utils::deleteItemFromMultiMap<T>(map, deleteId);
        return entries(map) << (removed ? "removed" : "none removed");
    }
    merge(map, records<T>(received));
    return entries(map);
}

// Loads `existing` as the file would, then merges `received` with the kind's function or, with
// `deleteId` of 0 or more, deletes that id.
QStringList run(const QString &kind, const QJsonArray &file, const QJsonArray &received, int deleteId)
{
    if (kind == "fare-product-link")
        return apply<FareProductBaseFare>(Utils::jsonToFPMultiMap<FareProductBaseFare>(file),
                                          Utils::appendListToFPMultiMap<FareProductBaseFare>, received, deleteId);
    if (kind == "axis-stops")
        return apply<AxisStop>(Utils::jsonToAxisStops(file), Utils::appendListToAxisStops<AxisStop>, received, deleteId);
    if (kind == "stop-group-stops")
        return apply<StopGroupStops>(Utils::jsonToStopGroupStops(file), Utils::appendListToStopGroupStops<StopGroupStops>,
                                     received, deleteId);
    return apply<CappingRuleStopGroup>(Utils::jsonToCappingRuleStopGroups(file), Utils::appendListToCappingRuleStopGroups,
                                       received, deleteId);
}

} // namespace

class tst_Utils : public QObject
{
    Q_OBJECT
private slots:
    void mergesAndDeletesById_data();
    void mergesAndDeletesById();
    void repeatedFullSyncKeepsOneRowEach();
};

void tst_Utils::mergesAndDeletesById_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QJsonArray>("existing");
    QTest::addColumn<QJsonArray>("received");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("deleteId");
    // Deleting names the record id, not the parent key, and takes every copy of it, whatever its parent.
    const QJsonArray stored = rows({{1, 10, "a"}, {2, 10, "a"}, {1, 11, "b"}, {1, 0, "z"}});
    const QStringList all{"1/0/z", "1/10/a", "1/11/b", "2/10/a"};
    const auto row = [](const char *name, const QJsonArray &existing, const QJsonArray &received,
                        const QStringList &expected, int deleteId = -1, const QString &kind = "fare-product-link") {
        QTest::addRow("%s-%s", qPrintable(kind), name) << kind << existing << received << expected << deleteId;
    };
    row("new-rows-added", QJsonArray(), rows({{1, 10, "a"}, {2, 11, "b"}}), {"1/10/a", "2/11/b"});
    row("changed-row-replaces-others-untouched", rows({{1, 10, "a"}, {1, 11, "b"}}), rows({{1, 11, "c"}}), {"1/10/a", "1/11/c"});
    row("same-id-twice-received-last-wins", QJsonArray(), rows({{1, 10, "a"}, {2, 10, "b"}}), {"2/10/b"});
    row("id-zero-appends-and-leaves-ids-alone", rows({{1, 0, "a"}, {1, 10, "a"}}), rows({{1, 0, "a"}}), {"1/0/a", "1/0/a", "1/10/a"});
    row("delete-every-copy", stored, {}, {"1/0/z", "1/11/b", "removed"}, 10);
    row("delete-parent-id-is-not-record-id", stored, {}, all + QStringList{"none removed"}, 1);
    row("delete-id-zero-names-nothing", stored, {}, all + QStringList{"none removed"}, 0);
    // Each kind files under its own parent key; loading keeps duplicates until a merge names their id.
    for (const char *kind : {"fare-product-link", "axis-stops", "stop-group-stops", "capping-rule-stop-groups"})
        row("stored-duplicates-collapse-and-move", rows({{1, 10, "a"}, {1, 10, "a"}, {3, 10, "c"}}),
            rows({{2, 10, "b"}}), {"2/10/b"}, -1, kind);
}

void tst_Utils::mergesAndDeletesById()
{
    QFETCH(QString, kind);
    QFETCH(QJsonArray, existing);
    QFETCH(QJsonArray, received);
    QFETCH(int, deleteId);
    QTEST(run(kind, existing, received, deleteId), "expected");
}

// A full sync runs every cycle while any table is empty: the link rows must not pile up.
void tst_Utils::repeatedFullSyncKeepsOneRowEach()
{
    QJsonArray sync;
    for (int i = 1; i <= 20; ++i)
        sync.append(QJsonObject{{"id", i}, {"fareProductId", i % 5}, {"paymentMethodId", 1}});
    FareProductPaymentMethod::MultiMap store;
    for (int cycle = 0; cycle < 2; ++cycle) {
        Utils::appendListToFPMultiMap(store, records<FareProductPaymentMethod>(sync));
        // What the manager writes back and reads at the next start.
        store = Utils::jsonToFPMultiMap<FareProductPaymentMethod>(Utils::listToJson(store.values()));
        QCOMPARE(store.size(), 20);
    }
    QCOMPARE(store.values(2).size(), 4);
}

QTEST_GUILESS_MAIN(tst_Utils)
#include "tst_utils.moc"

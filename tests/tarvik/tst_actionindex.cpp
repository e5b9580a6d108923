#include "tarvik/actionlistmanager.h"
#include "tarvik/connector.h"

#include "support/logcapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using tarvik::Action;

namespace {

// "4UAt": id and counter 4, UNASSIGNED (C: COMPLETED, R: REPLACED), card A, account token t.
Action::List actions(const QString &text)
{
    Action::List list;
    for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString tail = item.right(3);
        const char status = tail.at(0).toLatin1();
        const int id = item.chopped(3).toInt();
        list << Action::fromJson({{"id", id}, {"counter", id}, {"smartCardUuid", tail.mid(1, 1)},
                                  {"accountToken", tail.mid(2)},
                                  {"status", status == 'C' ? "COMPLETED" : status == 'R' ? "REPLACED" : "UNASSIGNED"}});
    }
    return list;
}

// The pending actions of a card as a walk over the whole list finds them.
Action::List scan(const Action::List &list, const QString &uid, int counter)
{
    Action::List found;
    QList<int> seen;
    for (auto it = list.crbegin(); it != list.crend(); ++it) {
        const Action::Ptr &a = *it;
        if (a->smartCardUuid() != uid || seen.contains(a->id()))
            continue;
        seen << a->id();
        if (a->counter() > counter && a->status() != QLatin1String("COMPLETED"))
            found.prepend(a);
    }
    return found;
}

QString text(const Action::List &list)
{
    QStringList out;
    for (const Action::Ptr &a : list)
        out << QString::number(a->id()) + a->accountToken();
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_ActionIndex : public QObject
{
    Q_OBJECT
private slots:
    void matchesWholeListScan_data();
    void matchesWholeListScan();
};

void tst_ActionIndex::matchesWholeListScan_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("merged");
    QTest::newRow("resent-then-completed") << "4UAt 5UAt 4UAt" << "4CAt";
    QTest::newRow("same-id-other-card") << "4UAt 4UBt" << "4CBt 5UAt";
    QTest::newRow("completion-removes") << "3UAt 5UAt 3UAt 7UAt" << "6CAt 9UBt";
    QTest::newRow("older-copy-takes-over") << "4UAx 4UAy 2UAy" << "5CAy 8UBt";
    QTest::newRow("completed-then-resent") << "4CAt 4UAt 6RAt" << "4UAt 6CBt 7UAt";
}

void tst_ActionIndex::matchesWholeListScan()
{
    QFETCH(QString, loaded);
    QFETCH(QString, merged);
    QTemporaryDir dir;
    tarvik::Connector connector;
    LogCapture log;
    tarvik::ActionListManager manager(connector, QStringLiteral("SN-1"), dir.path());
    // The record store's connection reports under the store's own tag.
    QVERIFY(log.contains(QStringLiteral("[tarvik::ActionRecordList] Creating new Database connection for thread ")));
    const auto compare = [&manager] {
        const Action::List list = manager.actions();
        for (const QString uid : {"A", "B", "C"}) {
            for (const int counter : {0, 3, 4}) {
                const Action::List index = manager.actionsByUid(uid, counter);
                const Action::List walk = scan(list, uid, counter);
                QVERIFY2(index == walk, qPrintable(QStringLiteral("card %1 above %2: [%3], the walk [%4] in [%5]")
                                                       .arg(uid).arg(counter).arg(text(index), text(walk), text(list))));
            }
        }
    };
    QFile file(manager.filePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QJsonArray array;
    for (const Action::Ptr &a : actions(loaded))
        array.append(a->toJson());
    file.write(QJsonDocument(array).toJson());
    file.close();
    manager.onFileChanged(file.fileName());
    QCOMPARE(manager.actions().size(), array.size());
    compare();
    manager.processNewList(actions(merged));
    compare();
}

QTEST_GUILESS_MAIN(tst_ActionIndex)
#include "tst_actionindex.moc"

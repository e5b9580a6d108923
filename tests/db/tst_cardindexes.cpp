#include "tarvik/actionlistmanager.h"
#include "tarvik/connector.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QtTest>

using tarvik::Action;

namespace {

// "4UAt": id and counter 4, UNASSIGNED (C: COMPLETED), card A, account token t.
Action::List actions(const QString &text)
{
    Action::List list;
    for (const QString &item : text.split(' ')) {
        const int id = item.chopped(3).toInt();
        list << Action::fromJson({{"id", id}, {"counter", id}, {"smartCardUuid", item.right(2).left(1)},
                                  {"accountToken", item.right(1)}, {"status", item.right(3)[0] == 'C' ? "COMPLETED" : "UNASSIGNED"}});
    }
    return list;
}

// A card's pending actions found the plain way, over the whole list: the latest copy of each id.
Action::List walk(const Action::List &list, const QString &uid, int counter)
{
    Action::List found;
    for (const Action::Ptr &a : list) {
        const auto latest = std::find_if(list.crbegin(), list.crend(),
                                         [&](const Action::Ptr &b) { return b->id() == a->id() && b->smartCardUuid() == uid; });
        if (a->smartCardUuid() == uid && *latest == a && a->counter() > counter && a->status() != "COMPLETED")
            found << a;
    }
    return found;
}

} // namespace

class tst_CardIndexes : public QObject
{
    Q_OBJECT
private slots:
    void pendingActionsMatchWalk_data()
    {
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("merged");
        QTest::addColumn<QString>("kept"); // ids after the merge's clean-up
        QTest::newRow("resent-then-completed") << "4UAt 5UAt 4UAt" << "4CAt" << "4 5 4 4";
        QTest::newRow("same-id-other-card") << "4UAt 4UBt" << "4CBt 5UAt" << "4 5";
        QTest::newRow("completion-removes") << "3UAt 5UAt 3UAt 7UAt" << "6CAt 9UBt" << "7 9";
        QTest::newRow("older-copy-takes-over") << "4UAx 4UAy 2UAy" << "5CAy 8UBt" << "4 8";
        QTest::newRow("completed-then-resent") << "4CAt 4UAt 6UAt" << "4UAt 6CBt 7UAt" << "6 7";
    }
    void pendingActionsMatchWalk();
};

// Loaded from the list file, then merged with a sync's list.
void tst_CardIndexes::pendingActionsMatchWalk()
{
    QFETCH(QString, loaded);
    QFETCH(QString, merged);
    TestEnv dir;
    tarvik::Connector connector;
    LogCapture log;
    tarvik::ActionListManager manager(connector, "SN-1", dir.path());
    QVERIFY(log.contains("[tarvik::ActionRecordList] Creating new Database connection for thread "));
    QJsonArray array;
    for (const Action::Ptr &a : actions(loaded))
        array.append(a->toJson());
    QVERIFY(dir.writeFile(QDir(dir.path()).relativeFilePath(manager.filePath()), QJsonDocument(array).toJson()));
    manager.onFileChanged(manager.filePath());
    for (const QString after : {"load", "merge"}) {
        if (after == "merge")
            manager.processNewList(actions(merged));
        for (const auto &[uid, counter] : {std::make_pair("A", 0), {"A", 4}, {"B", 0}, {"B", 4}})
            QVERIFY2(manager.actionsByUid(uid, counter) == walk(manager.actions(), uid, counter),
                     qPrintable(QStringLiteral("card %1 above %2 after the %3").arg(uid).arg(counter).arg(after)));
    }
    QStringList ids;
    for (const Action::Ptr &a : manager.actions())
        ids << QString::number(a->id());
    QTEST(ids.join(' '), "kept");
}

QTEST_GUILESS_MAIN(tst_CardIndexes)
#include "tst_cardindexes.moc"

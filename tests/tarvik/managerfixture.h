#pragma once

#include "tarvik/connector.h"
#include "tarvik/routemanager.h"

#include "support/goldenfile.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QtTest>

#include <algorithm>
#include <memory>

// What the route and fare manager tests share: a data folder, a connector that only runs when a
// test starts it, the route manager of device "SN-1", and the log of the test function.
struct ManagerFixture
{
    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<tarvik::Connector> mConnector;
    std::unique_ptr<tarvik::RouteManager> mRoutes;
    std::unique_ptr<LogCapture> mLog;

    // From init(); false when the data folder cannot be made.
    bool setUp()
    {
        mEnv = std::make_unique<TestEnv>();
        if (!mEnv->isValid())
            return false;
        mConnector = std::make_unique<tarvik::Connector>();
        mRoutes = std::make_unique<tarvik::RouteManager>(*mConnector, QStringLiteral("SN-1"), mEnv->path());
        mLog = std::make_unique<LogCapture>();
        return true;
    }

    // The answers of a case and every line logged since setUp() against entry `name` of the golden file.
    void compareGolden(const char *file, const QString &name, const QStringList &answers)
    {
        QStringList log;
        for (QString line : mLog->texts())
            log << line.replace(mEnv->path(), "<dir>").replace(QRegularExpression("(in :? ?)\\d+ msec"), "\\1N msec");
        const QByteArray diff = GoldenFile::mismatch(file, name, QJsonObject{{"answers", QJsonArray::fromStringList(answers)},
                                                                             {"log", QJsonArray::fromStringList(log)}});
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    // From cleanup(), after the test's own managers are gone; shows the log of a failed test.
    void tearDown()
    {
        if (QTest::currentTestFailed() && mLog)
            qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
        mLog.reset();
        mRoutes.reset();
        mConnector.reset();
        mEnv.reset();
    }
};

// One entry of a JSON sample file of the data folder.
inline QJsonObject sample(const char *key, const char *file)
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/") + file).object().value(key).toObject();
}

// Rows "name" and "testCase", one per case.
inline void addCaseRows(const QJsonObject &cases)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("testCase");
    QVERIFY(!cases.isEmpty());
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.key() << it.value().toObject();
}

// "[a,b]" of what `text` gives for each record; sorted for the joins whose order is a hash's.
template <typename List, typename Text>
QString joined(const List &records, Text text, bool sort = false)
{
    QStringList out;
    for (const auto &record : records)
        out << text(record);
    if (sort)
        out.sort();
    return '[' + out.join(',') + ']';
}

// "[1,2,3]"; sorted for the joins whose order is a hash's.
inline QString ids(QList<int> list, bool sort = false)
{
    if (sort)
        std::sort(list.begin(), list.end());
    QStringList out;
    for (const int id : list)
        out << QString::number(id);
    return '[' + out.join(',') + ']';
}

template <typename List>
QString ids(const List &records, bool sort = false)
{
    QList<int> list;
    for (const auto &record : records)
        list << record->id();
    return ids(list, sort);
}

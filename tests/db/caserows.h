#pragma once

#include "support/jsonpath.h"

#include <QtTest>

// One row per entry of a data file's object, named after its key, in the column "testCase".
inline void addCaseRows(const QString &fileName)
{
    QTest::addColumn<QJsonValue>("testCase");
    const QJsonObject cases = JsonPath::readFile(fileName).object();
    QVERIFY2(!cases.isEmpty(), qPrintable(fileName));
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.value();
}

#pragma once

#include "support/jsonpath.h"

#include <QtTest>

#include <functional>

// Cases of a data file run against a golden file of what each gives; after a deliberate
// change, ZUB_WRITE_GOLDEN=1 writes the golden file from what the cases give instead.
namespace GoldenFile {

// "<stem>.expected.json", or "<stem>.west.expected.json" in the zone west of UTC that tests
// with dates run in a second time.
QString path(const QString &stem);
// Adds the columns "name", "testCase" and "expected" and one row per case.
void addRows(const QJsonObject &cases, const QString &goldenFile,
             const std::function<QJsonObject(const QString &name, const QJsonValue &testCase)> &run);
// One entry at a time: empty when `actual` equals entry `name` of the file, otherwise both,
// pretty-printed; with ZUB_WRITE_GOLDEN set, that entry is written first.
QByteArray mismatch(const QString &fileName, const QString &name, const QJsonValue &actual);

} // namespace GoldenFile

// Each side is evaluated once (a failure message is built only on a mismatch): a case that
// runs a process or a broker is run once.
#define GOLDEN_COMPARE(actual, expected)                                                                              \
    do {                                                                                                              \
        const auto goldenActual = (actual);                                                                           \
        const auto goldenExpected = (expected);                                                                       \
        const bool goldenSame = goldenActual == goldenExpected;                                                       \
        QVERIFY2(goldenSame, goldenSame ? "" : JsonPath::describeMismatch(goldenActual, goldenExpected).constData()); \
    } while (false)

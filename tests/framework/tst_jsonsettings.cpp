#include "framework/jsonsettings.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

using Map = QMap<QString, QVariant>;

QString pretty(const QJsonDocument &document)
{
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

Map twelveElements()
{
    Map map;
    for (int i = 1; i <= 12; ++i)
        map.insert(QStringLiteral("list/%1/x").arg(i), QStringLiteral("v%1").arg(i));
    map.insert(QStringLiteral("list/size"), 12);
    return map;
}

QByteArray twelveElementsJson()
{
    QJsonArray array;
    for (int i = 1; i <= 12; ++i)
        array.append(QJsonObject{{"x", QStringLiteral("v%1").arg(i)}});
    return QJsonDocument(QJsonObject{{"list", array}}).toJson(QJsonDocument::Compact);
}

} // namespace

class tst_JsonSettings : public QObject
{
    Q_OBJECT
private slots:
    void settingsToJson_data();
    void settingsToJson();
    void jsonToSettings_data();
    void jsonToSettings();
    void roundTrip_data();
    void roundTrip();
    void findArrays_data();
    void findArrays();
    void addPathKeepsWhatIsThere();
    void formatReaderAndWriter();
    void readsAndReplacesASettingsObject();
    void failedWriteIsReported();
};

void tst_JsonSettings::settingsToJson_data()
{
    QTest::addColumn<Map>("settings");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << Map{} << QByteArray("{}");
    QTest::newRow("ints-become-text") << Map{{"log/level", 2}, {"zub/obu_port", 1883}}
                                      << QByteArray(R"({"log":{"level":"2"},"zub":{"obu_port":"1883"}})");
    QTest::newRow("bool-becomes-text") << Map{{"log/syslog", true}} << QByteArray(R"({"log":{"syslog":"true"}})");
    QTest::newRow("list-value-keeps-its-text") << Map{{"a/b", QStringList{"x", "y"}}}
                                               << QByteArray(R"({"a":{"b":"x, y"}})");
    QTest::newRow("root-key") << Map{{"a", "x"}} << QByteArray(R"({"a":"x"})");
    QTest::newRow("key-and-group-of-same-name") << Map{{"a", "x"}, {"a/b", "y"}} << QByteArray(R"({"a":{"b":"y"}})");
    QTest::newRow("three-parts") << Map{{"a/b/c", "v"}, {"a/d", "w"}}
                                 << QByteArray(R"({"a":{"b":{"c":"v"},"d":"w"}})");
    QTest::newRow("array-of-two") << Map{{"list/1/x", "a"}, {"list/2/x", "b"}, {"list/size", "2"}}
                                  << QByteArray(R"({"list":[{"x":"a"},{"x":"b"}]})");
    QTest::newRow("array-twelve-in-numeric-order") << twelveElements() << twelveElementsJson();
    QTest::newRow("array-inside-group") << Map{{"grp/list/1/x", "a"}, {"grp/list/1/y", "b"}, {"grp/list/size", 1}}
                                        << QByteArray(R"({"grp":{"list":[{"x":"a","y":"b"}]}})");
    QTest::newRow("no-size-no-array") << Map{{"list/1/x", "a"}} << QByteArray(R"({"list":{"1":{"x":"a"}}})");
    QTest::newRow("gap-in-indices") << Map{{"list/1/x", "a"}, {"list/3/x", "c"}, {"list/size", 3}}
                                    << QByteArray(R"({"list":[{"x":"a"},{"x":"c"}]})");
    QTest::newRow("objects-inside-elements") << Map{{"list/1/o/p", "a"}, {"list/1/o/q", "b"}, {"list/size", 1}}
                                             << QByteArray(R"({"list":[{"o":{"p":"a","q":"b"}}]})");
    QTest::newRow("two-arrays") << Map{{"a/1/x", "1"}, {"a/size", 1}, {"b/1/x", "2"}, {"b/2/x", "3"}, {"b/size", 2}}
                                << QByteArray(R"({"a":[{"x":"1"}],"b":[{"x":"2"},{"x":"3"}]})");
    // Keys under an array's name that are not one of its elements
    QTest::newRow("index-zero") << Map{{"list/0/x", "z"}, {"list/1/x", "a"}, {"list/size", 1}}
                                << QByteArray(R"({"list":[{"x":"a"}]})");
    QTest::newRow("index-not-a-number") << Map{{"list/a/x", "z"}, {"list/1/x", "a"}, {"list/size", 1}}
                                        << QByteArray(R"({"list":[{"x":"a"}]})");
    QTest::newRow("no-field-part") << Map{{"list/1", "z"}, {"list/2/x", "a"}, {"list/size", 1}}
                                   << QByteArray(R"({"list":[{"x":"a"}]})");
    QTest::newRow("index-overflows") << Map{{"list/99999999999999999999/x", "z"}, {"list/1/x", "a"}, {"list/size", 1}}
                                     << QByteArray(R"({"list":[{"x":"a"}]})");
    QTest::newRow("only-bad-elements") << Map{{"list/0/x", "z"}, {"list/size", 1}} << QByteArray(R"({"list":[]})");
    QTest::newRow("name-boundary") << Map{{"list/1/x", "a"}, {"list/size", 1}, {"listing/1/y", "b"}, {"lists", "c"}}
                                   << QByteArray(R"({"list":[{"x":"a"}],"listing":{"1":{"y":"b"}},"lists":"c"})");
    QTest::newRow("array-inside-element-stays-keys")
        << Map{{"list/1/sub/1/x", "a"}, {"list/1/sub/size", 1}, {"list/1/name", "n"}, {"list/size", 1}}
        << QByteArray(R"({"list":[{"name":"n","sub":{"1":{"x":"a"},"size":"1"}}]})");
}

void tst_JsonSettings::settingsToJson()
{
    QFETCH(Map, settings);
    QFETCH(QByteArray, expected);
    const QJsonDocument actual = manager::JsonSettings().settingsToJson(settings);
    const QJsonDocument wanted = QJsonDocument::fromJson(expected);
    QVERIFY(wanted.isObject());
    QVERIFY2(actual == wanted, qPrintable("actual:\n" + pretty(actual) + "expected:\n" + pretty(wanted)));
}

void tst_JsonSettings::jsonToSettings_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Map>("expected");

    QTest::newRow("strings") << QByteArray(R"({"log":{"level":"2"},"zub":{"obu_port":"1883"}})")
                             << Map{{"log/level", "2"}, {"zub/obu_port", "1883"}};
    QTest::newRow("number-is-its-text") << QByteArray(R"({"zub":{"obu_port":1883}})") << Map{{"zub/obu_port", "1883"}};
    QTest::newRow("fraction-and-negative") << QByteArray(R"({"a":1.5,"b":-3,"c":0})")
                                           << Map{{"a", "1.5"}, {"b", "-3"}, {"c", "0"}};
    QTest::newRow("bools-are-text") << QByteArray(R"({"a":true,"b":false})") << Map{{"a", "true"}, {"b", "false"}};
    QTest::newRow("null-is-skipped") << QByteArray(R"({"a":null,"b":"x"})") << Map{{"b", "x"}};
    QTest::newRow("nested") << QByteArray(R"({"a":{"b":{"c":"v"}}})") << Map{{"a/b/c", "v"}};
    QTest::newRow("array-of-two") << QByteArray(R"({"list":[{"x":"a"},{"x":"b"}]})")
                                  << Map{{"list/1/x", "a"}, {"list/2/x", "b"}, {"list/size", "2"}};
    QTest::newRow("array-element-not-object") << QByteArray(R"({"list":[{"x":"a"},5,"s"]})")
                                              << Map{{"list/1/x", "a"}, {"list/size", "3"}};
    QTest::newRow("empty-array") << QByteArray(R"({"list":[]})") << Map{{"list/size", "0"}};
    QTest::newRow("object-inside-element") << QByteArray(R"({"list":[{"o":{"p":"v"}}]})")
                                           << Map{{"list/1/o/p", "v"}, {"list/size", "1"}};
    QTest::newRow("malformed") << QByteArray(R"({"a":"x",)") << Map{};
    QTest::newRow("garbage") << QByteArray("\x01\xff not json") << Map{};
    QTest::newRow("empty-text") << QByteArray() << Map{};
    QTest::newRow("array-at-root") << QByteArray(R"([{"a":"x"}])") << Map{};
}

void tst_JsonSettings::jsonToSettings()
{
    QFETCH(QByteArray, json);
    QFETCH(Map, expected);
    Map actual;
    manager::JsonSettings().jsonToSettings(QJsonDocument::fromJson(json), actual);
    QCOMPARE(actual, expected);
    for (const QVariant &value : qAsConst(actual))
        QCOMPARE(value.userType(), int(QMetaType::QString));
}

void tst_JsonSettings::roundTrip_data()
{
    QTest::addColumn<Map>("settings");
    QTest::newRow("groups") << Map{{"log/level", "2"}, {"zub/base", "zeto/zub"}, {"root", "r"}};
    QTest::newRow("array-of-two") << Map{{"list/1/x", "a"}, {"list/2/x", "b"}, {"list/size", "2"}};
    QTest::newRow("array-twelve") << [] {
        Map map = twelveElements();
        map.insert(QStringLiteral("list/size"), QStringLiteral("12"));
        return map;
    }();
    QTest::newRow("objects-inside-elements") << Map{{"list/1/o/p", "a"}, {"list/2/o/q", "b"}, {"list/size", "2"}};
    QTest::newRow("array-inside-element")
        << Map{{"list/1/sub/1/x", "a"}, {"list/1/sub/size", "1"}, {"list/1/name", "n"}, {"list/size", "1"}};
}

void tst_JsonSettings::roundTrip()
{
    QFETCH(Map, settings);
    const QJsonDocument document = manager::JsonSettings().settingsToJson(settings);
    Map back;
    manager::JsonSettings().jsonToSettings(document, back);
    QCOMPARE(back, settings);
}

void tst_JsonSettings::findArrays_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("sized-and-indexed") << QStringList{"list/1/x", "list/size"} << QStringList{"list"};
    QTest::newRow("sized-only") << QStringList{"list/size"} << QStringList{};
    QTest::newRow("indexed-only") << QStringList{"list/1/x"} << QStringList{};
    QTest::newRow("in-group") << QStringList{"g/list/2/x", "g/list/size"} << QStringList{"g/list"};
    QTest::newRow("innermost-index-decides") << QStringList{"a/1/b/2/x", "a/1/b/size", "a/size"}
                                             << QStringList{"a/1/b"};
    QTest::newRow("two") << QStringList{"a/1/x", "a/size", "b/1/x", "b/size"} << QStringList{"a", "b"};
}

void tst_JsonSettings::findArrays()
{
    QFETCH(QStringList, keys);
    QFETCH(QStringList, expected);
    Map map;
    for (const QString &key : keys)
        map.insert(key, QStringLiteral("v"));
    QStringList actual = manager::JsonSettings::findArrays(map).values();
    actual.sort();
    QCOMPARE(actual, expected);
}

void tst_JsonSettings::addPathKeepsWhatIsThere()
{
    QJsonObject root{{"a", QJsonObject{{"b", "old"}}}};
    manager::JsonSettings::addPath(root, {"a"}, "b", QJsonValue("new"));
    QCOMPARE(root, (QJsonObject{{"a", QJsonObject{{"b", "old"}}}}));
    manager::JsonSettings::addPath(root, {"a", "c"}, "d", QJsonValue("v"));
    QCOMPARE(root, (QJsonObject{{"a", QJsonObject{{"b", "old"}, {"c", QJsonObject{{"d", "v"}}}}}}));
    manager::JsonSettings::addPath(root, {}, "a", QJsonValue("replaced"));
    QCOMPARE(root, (QJsonObject{{"a", "replaced"}}));
}

void tst_JsonSettings::formatReaderAndWriter()
{
    QBuffer written;
    QVERIFY(written.open(QIODevice::WriteOnly));
    QVERIFY(manager::JsonSettings::writeJson(written, Map{{"log/level", 2}, {"list/1/x", "a"}, {"list/size", 1}}));
    QCOMPARE(QJsonDocument::fromJson(written.data()),
             QJsonDocument::fromJson(R"({"log":{"level":"2"},"list":[{"x":"a"}]})"));
    QVERIFY(written.data().contains('\n')); // indented

    QBuffer read;
    read.setData(written.data());
    QVERIFY(read.open(QIODevice::ReadOnly));
    Map map;
    QVERIFY(manager::JsonSettings::readJson(read, map));
    QCOMPARE(map, (Map{{"log/level", "2"}, {"list/1/x", "a"}, {"list/size", "1"}}));

    QBuffer broken;
    broken.setData("{ not json");
    QVERIFY(broken.open(QIODevice::ReadOnly));
    Map none;
    QVERIFY(manager::JsonSettings::readJson(broken, none));
    QVERIFY(none.isEmpty());

    QBuffer readOnly;
    QVERIFY(readOnly.open(QIODevice::ReadOnly));
    QVERIFY(!manager::JsonSettings::writeJson(readOnly, Map{{"a", "b"}}));
}

void tst_JsonSettings::readsAndReplacesASettingsObject()
{
    TestEnv env;
    QVERIFY(env.writeFile("zub.conf", "[log]\nlevel=3\n\n[zub]\nobu_port=1883\nbase=\"a, b\"\n"));
    QSettings settings(env.settingsFile(), QSettings::IniFormat);
    QCOMPARE(manager::JsonSettings().settingsToJson(settings),
             QJsonDocument::fromJson(R"({"log":{"level":"3"},"zub":{"base":"a, b","obu_port":"1883"}})"));

    LogCapture capture;
    QVERIFY(manager::JsonSettings().jsonToSettings(
        QJsonDocument::fromJson(R"({"zub":{"obu_port":1884},"list":[{"x":"a"}]})"), settings));
    QVERIFY(capture.entries().isEmpty());
    QSettings reread(env.settingsFile(), QSettings::IniFormat);
    QStringList keys = reread.allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"list/1/x", "list/size", "zub/obu_port"}));
    QCOMPARE(reread.value("zub/obu_port").toString(), QStringLiteral("1884"));
}

void tst_JsonSettings::failedWriteIsReported()
{
    TestEnv env;
    // A regular file where the folder should be: no write can succeed, root or not.
    QVERIFY(env.writeFile("blocker", "x"));
    const QString path = env.filePath("blocker/zub.conf");
    QSettings settings(path, QSettings::IniFormat);
    LogCapture capture;
    QVERIFY(!manager::JsonSettings().jsonToSettings(QJsonDocument::fromJson(R"({"a":"b"})"), settings));
    QCOMPARE(capture.texts(), QStringList{"[settings] WARN: Could not write settings file " + path});
    QCOMPARE(capture.entries().first().type, QtWarningMsg);
}

QTEST_GUILESS_MAIN(tst_JsonSettings)
#include "tst_jsonsettings.moc"

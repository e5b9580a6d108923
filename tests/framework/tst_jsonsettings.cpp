#include "framework/jsonsettings.h"

#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using Map = QMap<QString, QVariant>;

class tst_JsonSettings : public QObject
{
    Q_OBJECT
private slots:
    void settingsToJson_data();
    void settingsToJson();
    void jsonToSettings_data();
    void jsonToSettings();
    void readsAndReplacesASettingsObject();
};

void tst_JsonSettings::settingsToJson_data()
{
    QTest::addColumn<Map>("settings");
    QTest::addColumn<QByteArray>("expected");
    Map twelve{{"list/size", 12}};
    QJsonArray array;
    for (int i = 1; i <= 12; ++i) {
        twelve.insert(QStringLiteral("list/%1/x").arg(i), i);
        array.append(QJsonObject{{"x", QString::number(i)}});
    }
    QTest::newRow("values-become-text") << Map{{"log/level", 2}, {"log/syslog", true}, {"a/b", QStringList{"x", "y"}}}
                                        << QByteArray(R"({"log":{"level":"2","syslog":"true"},"a":{"b":"x, y"}})");
    QTest::newRow("key-and-group-of-same-name") << Map{{"a", "x"}, {"a/b", "y"}, {"c/d/e", "v"}}
                                                << QByteArray(R"({"a":{"b":"y"},"c":{"d":{"e":"v"}}})");
    QTest::newRow("array-twelve-in-numeric-order")
        << twelve << QJsonDocument(QJsonObject{{"list", array}}).toJson(QJsonDocument::Compact);
    QTest::newRow("array-inside-group") << Map{{"grp/list/1/o/p", "a"}, {"grp/list/1/y", "b"}, {"grp/list/size", 1}}
                                        << QByteArray(R"({"grp":{"list":[{"o":{"p":"a"},"y":"b"}]}})");
    QTest::newRow("gap-in-indices") << Map{{"list/1/x", "a"}, {"list/3/x", "c"}, {"list/size", 3}}
                                    << QByteArray(R"({"list":[{"x":"a"},{"x":"c"}]})");
    // Keys under an array's name that are not one of its elements
    QTest::newRow("not-elements") << Map{{"list/0/x", "z"}, {"list/a/x", "z"}, {"list/1", "z"}, {"list/2/x", "a"},
                                         {"list/99999999999999999999/x", "z"}, {"list/size", 2}}
                                  << QByteArray(R"({"list":[{"x":"a"}]})");
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
    QVERIFY2(actual == QJsonDocument::fromJson(expected), actual.toJson().constData());
}

void tst_JsonSettings::jsonToSettings_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Map>("expected");
    QTest::newRow("values-are-text") << QByteArray(R"({"a":{"b":{"c":1883}},"f":1.5,"n":-3,"t":true,"x":null})")
                                     << Map{{"a/b/c", "1883"}, {"f", "1.5"}, {"n", "-3"}, {"t", "true"}};
    QTest::newRow("array") << QByteArray(R"({"list":[{"x":"a"},5,{"o":{"p":"v"}}],"none":[]})")
                           << Map{{"list/1/x", "a"}, {"list/3/o/p", "v"}, {"list/size", "3"}, {"none/size", "0"}};
    QTest::newRow("malformed") << QByteArray(R"({"a":"x",)") << Map{};
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

void tst_JsonSettings::readsAndReplacesASettingsObject()
{
    TestEnv env;
    QVERIFY(env.writeFile("zub.conf", "[log]\nlevel=3\n\n[zub]\nobu_port=1883\nbase=\"a, b\"\n"));
    QSettings settings(env.settingsFile(), QSettings::IniFormat);
    QCOMPARE(manager::JsonSettings().settingsToJson(settings),
             QJsonDocument::fromJson(R"({"log":{"level":"3"},"zub":{"base":"a, b","obu_port":"1883"}})"));
    QVERIFY(manager::JsonSettings().jsonToSettings(QJsonDocument::fromJson(R"({"zub":{"obu_port":1884}})"), settings));
    QSettings reread(env.settingsFile(), QSettings::IniFormat);
    QCOMPARE(reread.allKeys(), QStringList{"zub/obu_port"});
    QCOMPARE(reread.value("zub/obu_port").toString(), QStringLiteral("1884"));

}

QTEST_GUILESS_MAIN(tst_JsonSettings)
#include "tst_jsonsettings.moc"

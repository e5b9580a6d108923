#include "support/testenv.h"
#include "tarvik/datafile.h"

#include <QJsonDocument>
#include <QTest>

// The data file is written in pieces; it must be Qt's own indented text of the whole object.
class tst_DataFile : public QObject
{
    Q_OBJECT
private slots:
    void writesTheIndentedDocument_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QByteArray("{}");
        QTest::newRow("tables") << QByteArray(R"({"B":[{"id":1,"m":{"el":"\u03b1\n"},"l":[[],{}]},2.5],"A":[],"C":{"x":[1]}})");
    }
    void writesTheIndentedDocument()
    {
        QFETCH(QByteArray, json);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        const TestEnv env;
        bool opened = false;
        QString error;
        QVERIFY2(tarvik::DataFile::write(env.filePath("data.json"), object, &opened, &error), qPrintable(error));
        QFile file(env.filePath("data.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QJsonDocument(object).toJson(QJsonDocument::Indented));
    }
};

QTEST_GUILESS_MAIN(tst_DataFile)
#include "tst_datafile.moc"

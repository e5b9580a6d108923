#include "support/testenv.h"
#include "tarvik/datafile.h"

#include <QJsonDocument>
#include <QTest>

class tst_DataFile : public QObject
{
    Q_OBJECT
private slots:
    // Written in pieces, the file is still Qt's own indented text of the whole object.
    void writesTheIndentedDocument()
    {
        const QJsonObject object = QJsonDocument::fromJson(R"({"B":[{"m":{"el":"\u03b1\n"},"l":[[],{}]},2.5],"A":[],"C":1})").object();
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

#include "framework/configuration.h"
#include "framework/serialnumber.h"
#include "framework/serialnumber_p.h"
#include "framework/version.h"

#include "support/testenv.h"

#include <QtTest>

#include <sys/stat.h>

class tst_SerialNumber : public QObject
{
    Q_OBJECT
private slots:
    void staticValueAndVersion();
    void firstWord_data();
    void firstWord();
    void cleanup() { setSerialNumberFile(std::string()); }

private:
    TestEnv mEnv;
};

void tst_SerialNumber::staticValueAndVersion()
{
    // Read before main from the device's own file.
    QCOMPARE(Configuration::staticValues.keys(), QStringList{"serialNumber"});
    QCOMPARE(Configuration::staticValues.value("serialNumber"), QVariant(QString::fromStdString(getSerialNumber())));
    QCOMPARE(QByteArray(getProjectVersion()), QByteArray("1.2.18"));
}

void tst_SerialNumber::firstWord_data()
{
    QTest::addColumn<QString>("file"); // below the test folder; fifo and /dev/zero made here
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("every-blank-first") << "sn" << QByteArray(" \t\n\r\v\fSN-7 extra\n") << QByteArray("SN-7");
    QTest::newRow("no-line-end") << "sn" << QByteArray("SN1") << QByteArray("SN1");
    QTest::newRow("only-blanks") << "sn" << QByteArray(" \n\t \n") << QByteArray();
    QTest::newRow("word-beyond-limit-is-cut") << "sn" << QByteArray(3 * SerialNumberReadLimit, 'B')
                                              << QByteArray(SerialNumberReadLimit, 'B');
    QTest::newRow("blanks-fill-the-limit") << "sn" << QByteArray(SerialNumberReadLimit, ' ') + "SN" << QByteArray();
    QTest::newRow("missing") << "missing" << QByteArray() << QByteArray();
    QTest::newRow("directory") << "." << QByteArray() << QByteArray();
    QTest::newRow("pipe-without-writer") << "fifo" << QByteArray() << QByteArray();
    QTest::newRow("endless-device") << "/dev/zero" << QByteArray() << QByteArray(SerialNumberReadLimit, '\0');
}

void tst_SerialNumber::firstWord()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    const QString path = file.startsWith('/') ? file : mEnv.filePath(file);
    if (file == "sn")
        QVERIFY(mEnv.writeFile(file, content));
    else if (file == "fifo")
        QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
    setSerialNumberFile(path.toStdString());
    const std::string word = getSerialNumber();
    QCOMPARE(QByteArray(word.data(), int(word.size())), expected);
    if (file == "sn") { // read afresh each time
        QVERIFY(mEnv.writeFile(file, "OTHER\n"));
        QCOMPARE(getSerialNumber(), std::string("OTHER"));
    }
}

QTEST_GUILESS_MAIN(tst_SerialNumber)
#include "tst_serialnumber.moc"

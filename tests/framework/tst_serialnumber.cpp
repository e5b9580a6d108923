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
    void staticValueIsReadBeforeMain();
    void firstWord_data();
    void firstWord();
    void specialFiles_data();
    void specialFiles();
    void projectVersion();
    void cleanup();

private:
    TestEnv mEnv;
};

void tst_SerialNumber::staticValueIsReadBeforeMain()
{
    // Nothing has pointed the reader elsewhere yet: the device's own file.
    QCOMPARE(Configuration::staticValues.keys(), QStringList{"serialNumber"});
    QCOMPARE(Configuration::staticValues.value("serialNumber").userType(), int(QMetaType::QString));
    QCOMPARE(Configuration::staticValues.value("serialNumber").toString(),
             QString::fromStdString(getSerialNumber()));
}

void tst_SerialNumber::firstWord_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("word-then-more") << QByteArray("  SN1234 extra\n") << QByteArray("SN1234");
    QTest::newRow("every-blank-first") << QByteArray(" \t\n\r\v\fSN-7\n") << QByteArray("SN-7");
    QTest::newRow("no-line-end") << QByteArray("SN1") << QByteArray("SN1");
    QTest::newRow("word-ends-at-tab") << QByteArray("AB\tCD") << QByteArray("AB");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("only-blanks") << QByteArray(" \n\t \n") << QByteArray();
    QTest::newRow("utf8-word") << QByteArray("\xce\xa3\x31\x32\n") << QByteArray("\xce\xa3\x31\x32");
    QTest::newRow("word-at-limit") << QByteArray(SerialNumberReadLimit, 'A') + "\n"
                                   << QByteArray(SerialNumberReadLimit, 'A');
    QTest::newRow("word-beyond-limit-is-cut") << QByteArray(3 * SerialNumberReadLimit, 'B')
                                              << QByteArray(SerialNumberReadLimit, 'B');
    QTest::newRow("blanks-fill-the-limit") << QByteArray(SerialNumberReadLimit, ' ') + "SN" << QByteArray();
    QTest::newRow("large-file") << QByteArray("SN9 ") + QByteArray(8 << 20, 'x') << QByteArray("SN9");
}

void tst_SerialNumber::firstWord()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    QVERIFY(mEnv.writeFile("serialnumber", content));
    setSerialNumberFile(mEnv.filePath("serialnumber").toStdString());
    const std::string word = getSerialNumber();
    QCOMPARE(QByteArray(word.data(), int(word.size())), expected);
    // Read afresh each time.
    QVERIFY(mEnv.writeFile("serialnumber", "OTHER\n"));
    QCOMPARE(getSerialNumber(), std::string("OTHER"));
}

void tst_SerialNumber::specialFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("missing") << "missing" << QByteArray();
    QTest::newRow("directory") << "directory" << QByteArray();
    QTest::newRow("pipe-without-writer") << "fifo" << QByteArray();
    QTest::newRow("endless-device") << "zero" << QByteArray(SerialNumberReadLimit, '\0');
}

void tst_SerialNumber::specialFiles()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, expected);
    QString path = mEnv.filePath(kind);
    if (kind == "directory")
        QVERIFY(QDir(mEnv.path()).mkdir(kind));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
    else if (kind == "zero")
        path = QStringLiteral("/dev/zero");
    setSerialNumberFile(path.toStdString());
    const std::string word = getSerialNumber();
    QCOMPARE(QByteArray(word.data(), int(word.size())), expected);
}

void tst_SerialNumber::projectVersion()
{
    QCOMPARE(QByteArray(getProjectVersion()), QByteArray("1.2.18"));
}

void tst_SerialNumber::cleanup()
{
    setSerialNumberFile(std::string());
}

QTEST_GUILESS_MAIN(tst_SerialNumber)
#include "tst_serialnumber.moc"

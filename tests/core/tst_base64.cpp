#include "core/base64.h"

#include <QtTest>

#include <stdexcept>

class tst_Base64 : public QObject
{
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
};

void tst_Base64::decodes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("canonical"); // encode(plain) gives text
    QTest::addColumn<bool>("legal");
    QTest::newRow("empty") << QByteArray() << QByteArray() << true << true;
    QTest::newRow("one") << QByteArray("YQ==") << QByteArray("a") << true << true;
    QTest::newRow("two") << QByteArray("YWI=") << QByteArray("ab") << true << true;
    QTest::newRow("high-bytes") << QByteArray("//6A") << QByteArray("\xff\xfe\x80", 3) << true << true;
    QTest::newRow("nul-bytes") << QByteArray("AAAAAA==") << QByteArray(4, '\0') << true << true;
    QTest::newRow("unpadded") << QByteArray("YWI") << QByteArray("ab") << false << true;
    QTest::newRow("whitespace") << QByteArray(" Y W\r\nI\t=\v\f") << QByteArray("ab") << false << true;
    QTest::newRow("padding-inside") << QByteArray("YW=Jj") << QByteArray("abc") << false << true;
    QTest::newRow("single-char") << QByteArray("Y") << QByteArray() << false << true;
    QTest::newRow("url-safe") << QByteArray("YW-j") << QByteArray() << false << false;
    QTest::newRow("byte-0x80") << QByteArray("YW\x80j") << QByteArray() << false << false;
    QTest::newRow("nul") << QByteArray("YW\0j", 4) << QByteArray() << false << false;
}

void tst_Base64::decodes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, plain);
    QFETCH(bool, canonical);
    QFETCH(bool, legal);
    if (canonical) {
        QCOMPARE(QByteArray::fromStdString(Base64::encode(plain.toStdString())), text);
        QCOMPARE(QByteArray::fromStdString(Base64::encodeV({plain.begin(), plain.end()})), text);
    }
    try {
        QCOMPARE(QByteArray::fromStdString(Base64::decode(text.toStdString())), plain);
        const auto bytes = Base64::decodeV(text.toStdString());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())), plain);
        QVERIFY(legal);
    } catch (const std::invalid_argument &e) {
        QVERIFY(!legal);
        QCOMPARE(QString::fromLatin1(e.what()),
                 QStringLiteral("Data contains characters not legal in a base64 encoded string."));
    }
}

QTEST_GUILESS_MAIN(tst_Base64)
#include "tst_base64.moc"

#include "core/base64.h"

#include <QtTest>

#include <stdexcept>

class tst_Base64 : public QObject
{
    Q_OBJECT
private slots:
    void encodes_data();
    void encodes();
    void decodesLeniently_data();
    void decodesLeniently();
    void rejectsIllegalCharacters_data();
    void rejectsIllegalCharacters();
    void roundTripsEveryByte();
};

void tst_Base64::encodes_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("one") << QByteArray("a") << QByteArray("YQ==");
    QTest::newRow("two") << QByteArray("ab") << QByteArray("YWI=");
    QTest::newRow("three") << QByteArray("abc") << QByteArray("YWJj");
    QTest::newRow("high-bytes") << QByteArray("\xff\xfe\x80", 3) << QByteArray("//6A");
    QTest::newRow("nul-bytes") << QByteArray("\0\0\0\0", 4) << QByteArray("AAAAAA==");
}

void tst_Base64::encodes()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(Base64::encode(input.toStdString())), expected);
    const std::vector<unsigned char> bytes(input.begin(), input.end());
    QCOMPARE(QByteArray::fromStdString(Base64::encodeV(bytes)), expected);
}

void tst_Base64::decodesLeniently_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("padded") << QByteArray("YWI=") << QByteArray("ab");
    QTest::newRow("unpadded") << QByteArray("YWI") << QByteArray("ab");
    QTest::newRow("whitespace") << QByteArray(" Y W\r\nI\t=\v\f") << QByteArray("ab");
    QTest::newRow("padding-inside") << QByteArray("YW=Jj") << QByteArray("abc");
    QTest::newRow("single-char") << QByteArray("Y") << QByteArray();
    QTest::newRow("only-padding") << QByteArray("====") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_Base64::decodesLeniently()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(Base64::decode(text.toStdString())), expected);
    const auto bytes = Base64::decodeV(text.toStdString());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())), expected);
}

void tst_Base64::rejectsIllegalCharacters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("url-safe-minus") << QByteArray("YW-j");
    QTest::newRow("url-safe-underscore") << QByteArray("YW_j");
    QTest::newRow("byte-0x80") << QByteArray("YW\x80j");
    QTest::newRow("byte-0xff") << QByteArray("\xffYWJj");
    QTest::newRow("nul") << QByteArray("YW\0j", 4);
    QTest::newRow("dot-at-end") << QByteArray("YWJj.");
}

void tst_Base64::rejectsIllegalCharacters()
{
    QFETCH(QByteArray, text);
    const std::string input = text.toStdString();
    for (int form = 0; form < 2; ++form) {
        try {
            if (form == 0)
                Base64::decode(input);
            else
                Base64::decodeV(input);
            QFAIL("no exception");
        } catch (const std::invalid_argument &e) {
            QCOMPARE(QString::fromLatin1(e.what()),
                     QStringLiteral("Data contains characters not legal in a base64 encoded string."));
        }
    }
}

void tst_Base64::roundTripsEveryByte()
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    for (std::size_t n = 0; n <= all.size(); n += 7) {
        const std::string part = all.substr(0, n);
        QCOMPARE(Base64::decode(Base64::encode(part)), part);
        QCOMPARE(QByteArray::fromStdString(Base64::encode(part)),
                 QByteArray::fromStdString(part).toBase64());
    }
}

QTEST_GUILESS_MAIN(tst_Base64)
#include "tst_base64.moc"

#include "core/tdes.h"

#include <QtTest>

// Expected ciphertexts were computed independently with the openssl command line, e.g.
//   printf 'ABCDEFGH12345678' | openssl enc -des-ede3 -K <K1K2K3> -nopad | xxd -p
namespace {

std::vector<unsigned char> hex(const char *text)
{
    const QByteArray bytes = QByteArray::fromHex(text);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

QByteArray toHex(const std::vector<unsigned char> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex();
}

const auto kKey24 = hex("0123456789abcdef" "fedcba9876543210" "89abcdef01234567");
const auto kKey16 = hex("0123456789abcdef" "fedcba9876543210");
const auto kKey8 = hex("0123456789abcdef");
const std::string kPlain = "ABCDEFGH12345678";

} // namespace

class tst_TDES : public QObject
{
    Q_OBJECT
private slots:
    void ecbMatchesOpenssl_data();
    void ecbMatchesOpenssl();
    void sixteenByteKeyIsK1K2K1();
    void zeroFillsTheLastBlock_data();
    void zeroFillsTheLastBlock();
    void refusesKeyLengths_data();
    void refusesKeyLengths();
    void cbcUpdatesAndResizesIv();
    void cbcRoundTrip();
    void stringFormsDropTrailingZeros();
    void rawKeyFormsAppend();
    void decryptKeepsShortBlockLength();
};

void tst_TDES::ecbMatchesOpenssl_data()
{
    QTest::addColumn<std::vector<unsigned char>>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("three-keys") << kKey24 << QByteArray("ABCDEFGH12345678")
                                << QByteArray("6bf200df871b5e92500877cb7b95bc0c");
    QTest::newRow("two-keys") << kKey16 << QByteArray("ABCDEFGH12345678")
                              << QByteArray("5edfac24a0cdc23841d2ffba3cdc15fe");
    QTest::newRow("single-des") << kKey8 << QByteArray("ABCDEFGH") << QByteArray("8df6a7a3feae6d34");
}

void tst_TDES::ecbMatchesOpenssl()
{
    QFETCH(std::vector<unsigned char>, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    std::vector<unsigned char> out;
    QVERIFY(TDES::encryptECB(key, plain.toStdString(), out));
    QCOMPARE(toHex(out), cipher);
    std::string back;
    QVERIFY(TDES::decryptECB(key, out, back));
    QCOMPARE(QByteArray::fromStdString(back), plain);
}

void tst_TDES::sixteenByteKeyIsK1K2K1()
{
    auto k1k2k1 = kKey16;
    k1k2k1.insert(k1k2k1.end(), kKey16.begin(), kKey16.begin() + 8);
    std::vector<unsigned char> a, b, c, d;
    QVERIFY(TDES::encryptECB(kKey16, kPlain, a));
    QVERIFY(TDES::encryptECB(k1k2k1, kPlain, b));
    QCOMPARE(a, b);
    QVERIFY(TDES::encryptCBC(kKey16, kPlain, c));
    QVERIFY(TDES::encryptCBC(k1k2k1, kPlain, d));
    QCOMPARE(c, d);
}

void tst_TDES::zeroFillsTheLastBlock_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one") << 1 << 8;
    QTest::newRow("eight") << 8 << 8;
    QTest::newRow("nine") << 9 << 16;
}

void tst_TDES::zeroFillsTheLastBlock()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    std::vector<unsigned char> out = {1, 2, 3};
    QVERIFY(TDES::encryptECB(kKey24, std::string(std::size_t(length), 'x'), out));
    QCOMPARE(int(out.size()), expected);
    QVERIFY(TDES::encryptCBC(kKey24, std::string(std::size_t(length), 'x'), out));
    QCOMPARE(int(out.size()), expected);
    // "ABC" is enciphered as "ABC" followed by five zero bytes.
    std::vector<unsigned char> abc;
    QVERIFY(TDES::encryptECB(kKey24, std::string("ABC"), abc));
    QCOMPARE(toHex(abc), QByteArray("0865aec24262307f"));
}

void tst_TDES::refusesKeyLengths_data()
{
    QTest::addColumn<int>("keyLength");
    QTest::addColumn<bool>("ecbOk");
    QTest::addColumn<bool>("cbcOk");
    QTest::newRow("0") << 0 << false << false;
    QTest::newRow("7") << 7 << false << false;
    QTest::newRow("8") << 8 << true << false;
    QTest::newRow("16") << 16 << true << true;
    QTest::newRow("23") << 23 << false << false;
    QTest::newRow("24") << 24 << true << true;
    QTest::newRow("32") << 32 << false << false;
}

void tst_TDES::refusesKeyLengths()
{
    QFETCH(int, keyLength);
    QFETCH(bool, ecbOk);
    QFETCH(bool, cbcOk);
    const std::vector<unsigned char> key(std::size_t(keyLength), 0x5a);
    std::vector<unsigned char> out = {9};
    QCOMPARE(TDES::encryptECB(key, kPlain, out), ecbOk);
    QCOMPARE(out.empty(), !ecbOk);
    std::string text = "unchanged";
    QCOMPARE(TDES::decryptECB(key, hex("0011223344556677"), text), ecbOk);
    if (!ecbOk)
        QCOMPARE(text, std::string("unchanged"));
    std::vector<unsigned char> iv = {1, 2};
    QCOMPARE(TDES::encryptCBC(key, kPlain, out, &iv), cbcOk);
    QCOMPARE(iv.size(), std::size_t(8)); // brought to 8 bytes before the key check
}

void tst_TDES::cbcUpdatesAndResizesIv()
{
    std::vector<unsigned char> out;
    QVERIFY(TDES::encryptCBC(kKey24, kPlain, out));
    QCOMPARE(toHex(out), QByteArray("6bf200df871b5e922b2a43fc9352da65"));

    std::vector<unsigned char> iv = {1, 2, 3, 4, 5};
    QVERIFY(TDES::encryptCBC(kKey24, kPlain, out, &iv));
    QCOMPARE(toHex(out), QByteArray("8c486aaf1565f1e277999f30c423d9db"));
    QCOMPARE(toHex(iv), QByteArray("77999f30c423d9db")); // the last ciphertext block

    std::vector<unsigned char> longIv = hex("0102030405000000ffff");
    QVERIFY(TDES::encryptCBC(kKey24, std::string(), out, &longIv));
    QVERIFY(out.empty());
    QCOMPARE(toHex(longIv), QByteArray("0102030405000000")); // cut to 8, unchanged by empty data
}

void tst_TDES::cbcRoundTrip()
{
    // Chaining across calls: the IV carried from one call continues the stream.
    std::vector<unsigned char> iv(8, 0), first, second;
    QVERIFY(TDES::encryptCBC(kKey24, std::string("ABCDEFGH"), first, &iv));
    QVERIFY(TDES::encryptCBC(kKey24, std::string("12345678"), second, &iv));
    first.insert(first.end(), second.begin(), second.end());
    QCOMPARE(toHex(first), QByteArray("6bf200df871b5e922b2a43fc9352da65"));

    std::string plain;
    QVERIFY(TDES::decryptCBC(kKey24, first, plain));
    QCOMPARE(plain, kPlain);
}

void tst_TDES::stringFormsDropTrailingZeros()
{
    std::vector<unsigned char> cipher;
    QVERIFY(TDES::encryptECB(kKey24, std::string("AB\0\0", 4), cipher));
    std::string plain;
    QVERIFY(TDES::decryptECB(kKey24, cipher, plain));
    QCOMPARE(plain, std::string("AB"));

    QVERIFY(TDES::encryptECB(kKey24, std::string(8, '\0'), cipher));
    plain = "x";
    QVERIFY(TDES::decryptECB(kKey24, cipher, plain));
    QVERIFY(plain.empty());

    std::vector<unsigned char> bytes;
    QVERIFY(TDES::decryptECB(kKey24, cipher, bytes));
    QCOMPARE(bytes, std::vector<unsigned char>(8, 0)); // the vector form keeps them
}

void tst_TDES::rawKeyFormsAppend()
{
    std::vector<unsigned char> out;
    TDES::encryptECB(kKey24.data(), kPlain, out);
    TDES::encryptECB(kKey24.data(), kPlain, out);
    QCOMPARE(toHex(out), QByteArray("6bf200df871b5e92500877cb7b95bc0c").repeated(2));

    std::string plain = "head:";
    TDES::decryptECB(kKey24.data(), hex("0865aec24262307f"), plain);
    QCOMPARE(plain, std::string("head:ABC\0\0\0\0\0", 13)); // zero filling kept

    std::vector<unsigned char> none = {7};
    TDES::encryptECB(kKey24.data(), std::string(), none);
    QCOMPARE(none, std::vector<unsigned char>{7});
}

void tst_TDES::decryptKeepsShortBlockLength()
{
    std::vector<unsigned char> out;
    QVERIFY(TDES::decryptECB(kKey24, hex("6bf200df871b5e92" "5008"), out));
    QCOMPARE(out.size(), std::size_t(10));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), 8), QByteArray("ABCDEFGH"));
    QVERIFY(TDES::decryptCBC(kKey24, hex("6bf200df871b5e92" "2b2a43"), out));
    QCOMPARE(out.size(), std::size_t(11));
}

QTEST_GUILESS_MAIN(tst_TDES)
#include "tst_tdes.moc"

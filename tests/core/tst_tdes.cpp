#include "core/tdes.h"

#include <QtTest>

// Expected ciphertexts were computed independently with the openssl command line, e.g.
//   printf 'ABCDEFGH12345678' | openssl enc -des-ede3 -K <K1K2K3> -nopad | xxd -p
namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const char *text)
{
    const QByteArray bytes = QByteArray::fromHex(text);
    return Bytes(bytes.begin(), bytes.end());
}

QByteArray toHex(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex();
}

const Bytes kKey24 = hex("0123456789abcdef" "fedcba9876543210" "89abcdef01234567");
const std::string kPlain = "ABCDEFGH12345678";

} // namespace

class tst_TDES : public QObject
{
    Q_OBJECT
private slots:
    void ecbMatchesOpenssl_data();
    void ecbMatchesOpenssl();
    void refusesKeyLengths_data();
    void refusesKeyLengths();
    void cbcChainsThroughIv();
    void zerosAndShortBlocks();
};

void tst_TDES::ecbMatchesOpenssl_data()
{
    QTest::addColumn<Bytes>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("three-keys") << kKey24 << QByteArray("ABCDEFGH12345678")
                                << QByteArray("6bf200df871b5e92500877cb7b95bc0c");
    // 16 bytes are K1 K2 K1
    QTest::newRow("two-keys") << hex("0123456789abcdeffedcba9876543210") << QByteArray("ABCDEFGH12345678")
                              << QByteArray("5edfac24a0cdc23841d2ffba3cdc15fe");
    QTest::newRow("single-des") << hex("0123456789abcdef") << QByteArray("ABCDEFGH") << QByteArray("8df6a7a3feae6d34");
    // the last block is zero-filled, not padded
    QTest::newRow("zero-filled") << kKey24 << QByteArray("ABC") << QByteArray("0865aec24262307f");
    QTest::newRow("empty") << kKey24 << QByteArray() << QByteArray();
}

void tst_TDES::ecbMatchesOpenssl()
{
    QFETCH(Bytes, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    Bytes out = {1, 2, 3};
    QVERIFY(TDES::encryptECB(key, plain.toStdString(), out));
    QCOMPARE(toHex(out), cipher);
    std::string back;
    QVERIFY(TDES::decryptECB(key, out, back));
    QCOMPARE(QByteArray::fromStdString(back), plain);
}

void tst_TDES::refusesKeyLengths_data()
{
    QTest::addColumn<int>("keyLength");
    QTest::addColumn<bool>("ecbOk");
    QTest::addColumn<bool>("cbcOk");
    QTest::newRow("7") << 7 << false << false;
    QTest::newRow("8") << 8 << true << false;
    QTest::newRow("16") << 16 << true << true;
    QTest::newRow("32") << 32 << false << false;
}

void tst_TDES::refusesKeyLengths()
{
    QFETCH(int, keyLength);
    QFETCH(bool, ecbOk);
    QFETCH(bool, cbcOk);
    const Bytes key(std::size_t(keyLength), 0x5a);
    Bytes out = {9};
    std::string text = "unchanged";
    QCOMPARE(TDES::encryptECB(key, kPlain, out) && !out.empty(), ecbOk); // a refusal leaves it empty
    QCOMPARE(TDES::decryptECB(key, hex("0011223344556677"), text) && text != "unchanged", ecbOk); // and this as it was
    Bytes iv = {1, 2};
    QCOMPARE(TDES::encryptCBC(key, kPlain, out, &iv), cbcOk);
    QCOMPARE(iv.size(), std::size_t(8)); // brought to 8 bytes before the key check
}

void tst_TDES::cbcChainsThroughIv()
{
    Bytes out;
    QVERIFY(TDES::encryptCBC(kKey24, kPlain, out));
    QCOMPARE(toHex(out), QByteArray("6bf200df871b5e922b2a43fc9352da65"));

    Bytes iv = {1, 2, 3, 4, 5};
    QVERIFY(TDES::encryptCBC(kKey24, kPlain, out, &iv));
    QCOMPARE(toHex(out), QByteArray("8c486aaf1565f1e277999f30c423d9db"));
    QCOMPARE(toHex(iv), QByteArray("77999f30c423d9db")); // the last ciphertext block
    std::string plain;
    iv = {1, 2, 3, 4, 5};
    QVERIFY(TDES::decryptCBC(kKey24, out, plain, &iv));
    QCOMPARE(plain, kPlain);

    Bytes longIv = hex("0102030405000000ffff");
    QVERIFY(TDES::encryptCBC(kKey24, std::string(), out, &longIv) && out.empty());
    QCOMPARE(toHex(longIv), QByteArray("0102030405000000"));
}

void tst_TDES::zerosAndShortBlocks()
{
    // The string forms drop trailing zeros, plaintext zeros included; the vector form keeps them.
    Bytes cipher;
    QVERIFY(TDES::encryptECB(kKey24, std::string("AB\0\0", 4), cipher));
    std::string plain;
    QVERIFY(TDES::decryptECB(kKey24, cipher, plain));
    QCOMPARE(plain, std::string("AB"));
    Bytes bytes;
    QVERIFY(TDES::decryptECB(kKey24, cipher, bytes));
    QCOMPARE(toHex(bytes), QByteArray("4142000000000000"));

    // The raw-key forms append and keep the zero filling.
    Bytes out;
    TDES::encryptECB(kKey24.data(), kPlain, out);
    TDES::encryptECB(kKey24.data(), kPlain, out);
    QCOMPARE(toHex(out), QByteArray("6bf200df871b5e92500877cb7b95bc0c").repeated(2));
    std::string appended = "head:";
    TDES::decryptECB(kKey24.data(), hex("0865aec24262307f"), appended);
    QCOMPARE(appended, std::string("head:ABC\0\0\0\0\0", 13));

    // A short last block keeps its length.
    QVERIFY(TDES::decryptECB(kKey24, hex("6bf200df871b5e92" "5008"), bytes));
    QCOMPARE(bytes.size(), std::size_t(10));
    QVERIFY(TDES::decryptCBC(kKey24, hex("6bf200df871b5e92" "2b2a43"), bytes));
    QCOMPARE(bytes.size(), std::size_t(11));
}

QTEST_GUILESS_MAIN(tst_TDES)
#include "tst_tdes.moc"

#include "core/base64.h"
#include "core/tdes.h"
#include "core/utils.h"

#include <QtTest>

#include <sstream>
#include <stdexcept>
#include <unistd.h>

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

class tst_Core : public QObject
{
    Q_OBJECT
private slots:
    void base64Decodes_data();
    void base64Decodes();
    void ecbMatchesOpenssl_data();
    void ecbMatchesOpenssl();
    void refusesKeyLengths_data();
    void refusesKeyLengths();
    void cbcChainsThroughIv();
    void zerosAndShortBlocks();
    void pathText_data();
    void pathText();
    void filesAndFolders();
    void makePathCreatesLevelsWithoutAShell();
    void readSymlinkUsesReturnedLength();
    void bcdAndHexDump();
};

void tst_Core::base64Decodes_data()
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

void tst_Core::base64Decodes()
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

void tst_Core::ecbMatchesOpenssl_data()
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

void tst_Core::ecbMatchesOpenssl()
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

void tst_Core::refusesKeyLengths_data()
{
    QTest::addColumn<int>("keyLength");
    QTest::addColumn<bool>("ecbOk");
    QTest::addColumn<bool>("cbcOk");
    QTest::newRow("7") << 7 << false << false;
    QTest::newRow("8") << 8 << true << false;
    QTest::newRow("16") << 16 << true << true;
    QTest::newRow("32") << 32 << false << false;
}

void tst_Core::refusesKeyLengths()
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

void tst_Core::cbcChainsThroughIv()
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

void tst_Core::zerosAndShortBlocks()
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

void tst_Core::pathText_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("expected");
    QTest::newRow("combine-both-slash") << "combine" << "dir/" << "/file" << "dir/file";
    QTest::newRow("combine-only-one-dropped") << "combine" << "dir" << "//file" << "dir//file";
    QTest::newRow("combine-empty-dir") << "combine" << "" << "/name" << "name";
    QTest::newRow("combine-empty-name") << "combine" << "dir" << "" << "dir";
    QTest::newRow("filename-mixed") << "filename" << "a\\b/c" << "" << "c";
    QTest::newRow("filename-bare") << "filename" << "name" << "" << "name";
    QTest::newRow("path-plain") << "path" << "/a/b/c.txt" << "" << "/a/b";
    QTest::newRow("path-bare") << "path" << "name" << "" << "name";
    QTest::newRow("ext-none") << "ext" << "a/b" << "" << "";
    QTest::newRow("ext-dir-dot") << "ext" << "a.d/b" << "" << ".d/b";
    QTest::newRow("change-ext") << "change" << "a/b.txt" << ".json" << "a/b.json";
    QTest::newRow("change-ext-none") << "change" << "a/b" << ".json" << "a/b.json";
    QTest::newRow("match-star-ext") << "match" << "a.txt" << "*.txt" << "1";
    QTest::newRow("match-star-ext-longer") << "match" << "a.txt.bak" << "*.txt" << "0";
    QTest::newRow("match-question") << "match" << "abc" << "a?c" << "1";
    QTest::newRow("match-question-needs-one") << "match" << "ac" << "a?c" << "0";
    QTest::newRow("match-text-ends-at-star") << "match" << "abc" << "abc*d" << "1";
    QTest::newRow("match-two-stars") << "match" << "xay" << "*a*" << "1";
    QTest::newRow("match-empty-pattern") << "match" << "a" << "" << "0";
    QTest::newRow("match-prefix-only") << "match" << "abcd" << "abc" << "0";
}

void tst_Core::pathText()
{
    QFETCH(QString, function);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, expected);
    const std::string x = a.toStdString(), y = b.toStdString();
    const std::string result = function == "combine"    ? Utils::combinePath(x, y)
                               : function == "filename" ? Utils::getFilenameFromFilepath(x)
                               : function == "path"     ? Utils::getPathFromFilepath(x)
                               : function == "ext"      ? Utils::getFileExtension(x)
                               : function == "match"    ? std::to_string(Utils::match(x, y))
                                                        : Utils::changeFileExt(x, y);
    QCOMPARE(QString::fromStdString(result), expected);
}

void tst_Core::filesAndFolders()
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    for (const char *name : {"a.txt", "b.json", ".hidden.txt"})
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir.path()).mkdir("sub") && QDir(dir.path()).mkdir(".git"));

    auto files = Utils::listFiles(root);
    files.sort();
    QCOMPARE(files, (std::list<std::string>{root + "/a.txt", root + "/b.json"}));
    QCOMPARE(Utils::listFiles(root, "*.txt"), std::list<std::string>{root + "/a.txt"});
    QCOMPARE(Utils::listDirectories(root), std::list<std::string>{root + "/sub"});
    std::list<std::string> out = {"kept"};
    QVERIFY(!Utils::listFilesInDir(root + "/missing", out, ""));
    QVERIFY(Utils::listFilesInDir(root, out, "b*"));
    QCOMPARE(out, (std::list<std::string>{"kept", root + "/b.json"}));

    const std::string file = root + "/a.txt";
    QVERIFY(Utils::fileExists(file) && Utils::fileExists(root) && !Utils::pathExists(file) && Utils::pathExists(root));
    QVERIFY(Utils::moveFile(file, file + "2") && !Utils::fileExists(file));
    QVERIFY(Utils::deleteFile(file + "2") && !Utils::deleteFile(file + "2"));
    QCOMPARE(QString::fromStdString(Utils::getProcessId()), QString::number(QCoreApplication::applicationPid()));
}

void tst_Core::makePathCreatesLevelsWithoutAShell()
{
    QTemporaryDir dir;
    const std::string nested = dir.path().toStdString() + "/with blank/$(touch pwned);x/deep";
    QVERIFY(Utils::makePath(nested));
    QVERIFY(Utils::pathExists(nested));
    QVERIFY(!QFile::exists(dir.filePath("pwned")));
    QVERIFY(Utils::makePath(nested + "/")); // exists already

    const std::string file = dir.path().toStdString() + "/plain";
    QVERIFY(QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly));
    QVERIFY(!Utils::makePath(file + "/below"));
    QVERIFY(!Utils::makePath(""));
}

void tst_Core::readSymlinkUsesReturnedLength()
{
    QTemporaryDir dir;
    const std::string link = dir.path().toStdString() + "/link";
    QVERIFY(symlink("short-target", link.c_str()) == 0);
    QVERIFY(Utils::isSymlink(link) && !Utils::isSymlink(dir.path().toStdString()));
    QCOMPARE(Utils::readSymlink(link), std::string("short-target"));
    QCOMPARE(Utils::readSymlink(link + "x"), link + "x");
}

void tst_Core::bcdAndHexDump()
{
    QCOMPARE(Utils::decToBCD(1234), (std::vector<unsigned char>{1, 2, 3, 4}));
    QCOMPARE(Utils::decToBCD(0), std::vector<unsigned char>{0});
    QVERIFY(Utils::decToBCD(-1).empty());

    std::vector<unsigned char> bytes;
    for (int i = 0; i < 20; ++i)
        bytes.push_back(static_cast<unsigned char>(i * 13));
    std::ostringstream os;
    Utils::printVector(bytes, os);
    QCOMPARE(QString::fromStdString(os.str()), QStringLiteral("Size : 20\n"
                                                              "00 0d 1a 27 34 41 4e 5b 68 75 82 8f 9c a9 b6 c3 \n"
                                                              "d0 dd ea f7 \n"));
}

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"

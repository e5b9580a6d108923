#include "core/base64.h"
#include "core/tdes.h"
#include "core/utils.h"

#include "support/goldenfile.h"

#include <QtTest>

#include <sstream>
#include <stdexcept>
#include <unistd.h>

// The cases of data/cases.json (Base64 texts, Triple-DES keys and texts, path functions) and
// what each gives, in data/cases.expected.json. The ciphertexts there were checked against the
// openssl command line, e.g.
//   printf 'ABCDEFGH12345678' | openssl enc -des-ede3 -K <K1K2K3> -nopad | xxd -p
namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const QJsonValue &text)
{
    const QByteArray bytes = QByteArray::fromHex(text.toString().toLatin1());
    return Bytes(bytes.begin(), bytes.end());
}

template <typename Container>
QString toHex(const Container &bytes)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size())).toHex());
}

QJsonObject base64(const std::string &text)
{
    try {
        const std::string plain = Base64::decode(text);
        const Bytes bytes = Base64::decodeV(text);
        return {{"plain", toHex(plain)}, {"vectorAlike", bytes == Bytes(plain.begin(), plain.end())},
                {"encoded", QString::fromStdString(Base64::encode(plain))},
                {"encodedVectorAlike", Base64::encodeV(bytes) == Base64::encode(plain)}};
    } catch (const std::invalid_argument &e) {
        return {{"error", e.what()}};
    }
}

// Every vector-key form; refusals show what they leave in their outputs.
QJsonObject tdes(const QJsonObject &c)
{
    const Bytes key = hex(c["key"]);
    const std::string plain = c["plain"].toString().toLatin1().toStdString();
    QJsonObject o;
    Bytes cipher = hex(c["cipher"]), bytes = {9}, out = {9};
    if (!c.contains("cipher")) {
        o["ecbOk"] = TDES::encryptECB(key, plain, cipher);
        o["ecb"] = toHex(cipher);
    }
    std::string text = "unchanged";
    o["ecbDecryptOk"] = TDES::decryptECB(key, cipher, text);
    o["ecbText"] = QString::fromLatin1(text.data(), int(text.size()));
    TDES::decryptECB(key, cipher, bytes);
    o["ecbBytes"] = toHex(bytes);
    Bytes iv = hex(c["iv"]), ivBack = iv;
    const bool withIv = c.contains("iv");
    o["cbcOk"] = TDES::encryptCBC(key, plain, out, withIv ? &iv : nullptr);
    o["cbc"] = toHex(out);
    o["ivAfter"] = toHex(iv); // brought to 8 bytes before the key check, then the last block
    text = "unchanged";
    TDES::decryptCBC(key, c.contains("cipher") ? cipher : out, text, withIv ? &ivBack : nullptr);
    o["cbcText"] = QString::fromLatin1(text.data(), int(text.size()));
    TDES::decryptCBC(key, c.contains("cipher") ? cipher : out, bytes, nullptr);
    o["cbcBytes"] = toHex(bytes);
    return o;
}

QJsonValue utils(const QString &function, const QJsonArray &a)
{
    const std::string x = a[0].toString().toStdString(), y = a[1].toString().toStdString();
    const auto text = [](const std::string &s) { return QJsonValue(QString::fromStdString(s)); };
    if (function == "combine")
        return text(Utils::combinePath(x, y));
    if (function == "filename")
        return text(Utils::getFilenameFromFilepath(x));
    if (function == "path")
        return text(Utils::getPathFromFilepath(x));
    if (function == "ext")
        return text(Utils::getFileExtension(x));
    if (function == "change")
        return text(Utils::changeFileExt(x, y));
    if (function == "match")
        return Utils::match(x, y);
    if (function == "bcd")
        return toHex(Utils::decToBCD(a[0].toInt()));
    Bytes bytes; // dump: a[0] bytes, the i-th i * 13
    for (int i = 0; i < a[0].toInt(); ++i)
        bytes.push_back(static_cast<unsigned char>(i * 13));
    std::ostringstream os;
    Utils::printVector(bytes, os);
    return text(os.str());
}

QJsonObject run(const QString &, const QJsonValue &value)
{
    const QJsonObject c = value.toObject();
    if (c.contains("base64"))
        return base64(c["base64"].toString().toLatin1().toStdString());
    if (c.contains("key"))
        return tdes(c);
    return {{"result", utils(c.keys().first(), c[c.keys().first()].toArray())}};
}

} // namespace

class tst_Core : public QObject
{
    Q_OBJECT
private slots:
    void cases_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/cases.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/cases"), run);
    }
    void cases()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(run({}, testCase), expected);
    }
    void tdesRawKeyFormsAppend()
    {
        // And keep the zero filling.
        const Bytes key = hex("0123456789abcdeffedcba987654321089abcdef01234567");
        Bytes out;
        TDES::encryptECB(key.data(), "ABCDEFGH12345678", out);
        TDES::encryptECB(key.data(), "ABCDEFGH12345678", out);
        QCOMPARE(toHex(out), QString("6bf200df871b5e92500877cb7b95bc0c").repeated(2));
        std::string appended = "head:";
        TDES::decryptECB(key.data(), hex("0865aec24262307f"), appended);
        QCOMPARE(appended, std::string("head:ABC\0\0\0\0\0", 13));
    }

    void filesAndFolders()
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

    void makePathCreatesLevelsWithoutAShell()
    {
        QTemporaryDir dir;
        const std::string nested = dir.path().toStdString() + "/with blank/$(touch pwned);x/deep";
        QVERIFY(Utils::makePath(nested) && Utils::pathExists(nested));
        QVERIFY(!QFile::exists(dir.filePath("pwned")));
        QVERIFY(Utils::makePath(nested + "/")); // exists already

        const std::string file = dir.path().toStdString() + "/plain";
        QVERIFY(QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly));
        QVERIFY(!Utils::makePath(file + "/below"));
        QVERIFY(!Utils::makePath(""));
    }

    void readSymlinkUsesReturnedLength()
    {
        QTemporaryDir dir;
        const std::string link = dir.path().toStdString() + "/link";
        QVERIFY(symlink("short-target", link.c_str()) == 0);
        QVERIFY(Utils::isSymlink(link) && !Utils::isSymlink(dir.path().toStdString()));
        QCOMPARE(Utils::readSymlink(link), std::string("short-target"));
        QCOMPARE(Utils::readSymlink(link + "x"), link + "x");
    }
};

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"

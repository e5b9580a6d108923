#include "core/tdes.h"
#include "qr/masterkey/qrmasterkey.h"
#include "qr/qrcrypto_v1.h"
#include "qr/qrcryptofactory.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/qrtestkey.h"

#include <QJsonArray>
#include <QtTest>

namespace {

QVector<unsigned char> bytesOf(const QByteArray &data) { return QVector<unsigned char>(data.cbegin(), data.cend()); }

} // namespace

// Payload decryption under the known test key, padding, bounds of the field readers, and the
// binary layouts against hand-built tickets.
class tst_QrCrypto : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(QByteArray((const char *)QrMasterKey::bytes(), 16), QByteArray("zub-test-qr-key!")); }
    void decrypt_data();
    void decrypt();
    void readFields_data();
    void readFields();
    void converters_data();
    void converters();
    void unpadNeedsWholeBlocks();
    void factoryMatchesExactName();
};

void tst_QrCrypto::decrypt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("logs");
    const QStringList corrupted{"[qr] Corrupted payload"};
    // Nine bytes (pieces "A1b2", "C3d4"): a one-byte ciphertext, decrypted as one zero-filled block.
    std::string oneBlock;
    TDES::decryptECB((const unsigned char *)(QrTestKey::key() + "A1b2C3d4").constData(), {'x'}, oneBlock);

    QTest::newRow("empty") << QString() << QByteArray() << QStringList();
    // Not Base64: nothing logged here, the scanner client says the payload is malformed.
    QTest::newRow("outside-alphabet") << "QUJD$EVG" << QByteArray() << QStringList();
    QTest::newRow("non-ascii") << QString::fromUtf8("QUJDÄ") << QByteArray() << QStringList();
    QTest::newRow("eight-bytes") << "QTFiMkMzZDQ=" << QByteArray() << corrupted;
    QTest::newRow("nine-bytes") << "QTFiMnhDM2Q0" << QByteArray::fromStdString(QrCrypto_v1::unpad(oneBlock))
                                << QStringList();
    QTest::newRow("whole-padding-block") << QrTestKey::encipher(QrTestKey::pad("12345678"), "9a8b7c6d")
                                         << QByteArray("12345678") << QStringList();
    const QList<QPair<QByteArray, QByteArray>> paddings{
        {QByteArray("ABCDEFG\0", 8), QByteArray("ABCDEFG\0", 8)}, {"ABCDEFG\x09", "ABCDEFG\x09"},
        {"ABCDE\x03\x03\x03", "ABCDE"}, {"ABCDEF\x02\x03", "ABCDEF\x02\x03"}, {QByteArray(8, 8), ""},
        {QByteArray(16, 16), ""}};
    for (const auto &padding : paddings) {
        QTest::addRow("padding-%s", padding.first.right(2).toHex().constData())
            << QrTestKey::encipher(padding.first) << padding.second
            << (padding.second.isEmpty() ? corrupted : QStringList());
    }
}

void tst_QrCrypto::decrypt()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, logs);
    LogCapture log;
    QCOMPARE(QrCrypto_v1().decrypt(text), bytesOf(expected));
    if (expected.isEmpty() && logs.isEmpty())
        QCOMPARE(QrCrypto_v1().decode(text), std::string());
    QCOMPARE(log.texts(), logs);
}

void tst_QrCrypto::readFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("len");
    QTest::addColumn<QVariant>("expected"); // uint: readInteger, QString: readString
    QTest::newRow("int-len-zero") << QByteArray("\x34\x12") << 0 << 0 << QVariant(0u);
    QTest::newRow("int-little-endian") << QByteArray("\x34\x12") << 0 << 2 << QVariant(4660u);
    QTest::newRow("int-unsigned") << QByteArray("\x78\x56\x34\xf2") << 0 << 4 << QVariant(0xf2345678u);
    QTest::newRow("int-fifth-byte-adds-nothing") << QByteArray("\x78\x56\x34\x12\x99") << 0 << 5 << QVariant(0x12345678u);
    QTest::newRow("int-past-the-end") << QByteArray("\x34\x12") << 1 << 4 << QVariant(0x12u);
    QTest::newRow("text-nuls-controls-high") << QByteArray("A\0B\nC\x7f~\x80\0", 9) << 0 << 9 << QVariant("ABC~");
    QTest::newRow("text-past-the-end") << QByteArray("ABC") << 1 << 10 << QVariant("BC");
}

void tst_QrCrypto::readFields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, offset);
    QFETCH(int, len);
    QFETCH(QVariant, expected);
    if (expected.userType() == QMetaType::UInt)
        QCOMPARE(QrCrypto_v1::readInteger(bytesOf(bytes), offset, len), expected.toUInt());
    else
        QCOMPARE(QrCrypto_v1::readString(bytesOf(bytes), offset, len), expected.toString());
}

// The hand-built tickets of data/binary-tickets.json.
void tst_QrCrypto::converters_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    for (const QJsonValue &value : JsonPath::readFile(TEST_DATA_DIR "/binary-tickets.json").array()) {
        const QJsonObject row = value.toObject();
        QByteArray bytes(row["size"].toInt(), '\0');
        for (const QJsonValue &field : row["fields"].toArray()) { // offset, width, value
            for (int i = 0; i < field[1].toInt(); ++i)
                bytes[field[0].toInt() + i] = char(quint32(field[2].toDouble()) >> (8 * i));
        }
        const QByteArray text = row["text"][1].toString().toLatin1();
        bytes.replace(row["text"][0].toInt(), text.size(), text);
        QTest::newRow(qPrintable(row["row"].toString())) << row["layout"].toString() << bytes << row["expected"].toString();
    }
}

void tst_QrCrypto::converters()
{
    QFETCH(QString, layout);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    LogCapture log;
    QrCrypto_v1 crypto;
    QVector<unsigned char> data = bytesOf(bytes);
    QCOMPARE(layout == "v2" ? crypto.v2BinaryToAsciiQr(data)
             : layout == "v2.1" ? crypto.v21BinaryToAsciiQr(data) : crypto.v4BinaryToAsciiQr(data), expected);
    QCOMPARE(data, bytesOf(bytes));
    QCOMPARE(log.texts(), QStringList{"[qr] Converting " + layout + " Binary Qr."});
}

void tst_QrCrypto::unpadNeedsWholeBlocks()
{
    QCOMPARE(QrCrypto_v1::unpad(std::string(12, '\x04')), std::string());
    QCOMPARE(QrCrypto_v1::unpad(std::string()), std::string());
}

void tst_QrCrypto::factoryMatchesExactName()
{
    QVERIFY(dynamic_cast<QrCrypto_v1 *>(QrCryptoFactory().create("crypto_v1").get()));
    for (const char *name : {"Crypto_V1", "", "crypto_v2"})
        QVERIFY(!QrCryptoFactory().create(name));
}

QTEST_GUILESS_MAIN(tst_QrCrypto)
#include "tst_qrcrypto.moc"

#include "tarvik/connector.h"

#include "support/logcapture.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using tarvik::Connector;
using tarvik::Customer;

namespace {

const QString kTag = QStringLiteral("[tarvik::connector] ");

QByteArray png(Qt::GlobalColor color = Qt::red)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QJsonObject customerJson(int id, const QString &uuid, const QByteArray &picture = QByteArray())
{
    QJsonObject c{{"id", id},
                  {"uuid", uuid},
                  {"smartCardUuid", QStringLiteral("card-%1").arg(id)},
                  {"passengerType", QJsonObject{{"code", "PT_ADULT"}}},
                  {"name", "Ann"},
                  {"surname", "Lee"},
                  {"accountCreationDate", "04/03/2023 05:06:07"}};
    if (!picture.isNull())
        c.insert(QStringLiteral("customerImageBase64"), QString::fromLatin1(picture.toBase64()));
    return c;
}

QJsonObject reply(const QJsonArray &customers)
{
    return QJsonObject{{"status", "OK"}, {"customerDetailsDtoList", customers}};
}

QStringList filesBelow(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

} // namespace

class tst_ConnectorCustomers : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void storesPictureInCache();
    void refusesUnsafeUuid_data();
    void refusesUnsafeUuid();

private:
    std::unique_ptr<QTemporaryDir> mDir;
    std::unique_ptr<Connector> mConnector;
};

void tst_ConnectorCustomers::init()
{
    mDir = std::make_unique<QTemporaryDir>();
    QVERIFY(mDir->isValid());
    mConnector = std::make_unique<Connector>();
    mConnector->setStoragePath(mDir->path());
}

void tst_ConnectorCustomers::storesPictureInCache()
{
    const QByteArray picture = png();
    QSignalSpy received(mConnector.get(), &Connector::customerInfoReceived);
    LogCapture log;
    mConnector->parseCustomerInfo(reply({customerJson(1, "u-1", picture)}), QJsonObject());
    const QString cache = mDir->filePath(QStringLiteral(".cache"));
    const QString expected = cache + QStringLiteral("/u-1.png");
    QVERIFY(log.contains(kTag + QStringLiteral("WARN: Cache directory does not exist. Creating : ") + cache));
    QVERIFY(log.contains(kTag + QStringLiteral("Storing file : ") + expected));
    const Customer::Ptr customer = received.at(0).at(0).value<Customer::Ptr>();
    QCOMPARE(customer->image(), expected);
    QVERIFY(!customer->toJson().contains(QLatin1String("customerImageBase64")));
    QFile file(expected);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), picture);

    // A newer picture replaces the file; the folder is not announced again.
    const QByteArray newer = png(Qt::blue);
    log.clear();
    mConnector->parseCustomerInfo(reply({customerJson(1, "u-1", newer)}), QJsonObject());
    QVERIFY(!log.containsPart(QStringLiteral("Cache directory does not exist")));
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), newer);
    QCOMPARE(filesBelow(mDir->path()), QStringList({".cache/u-1.png"}));
}

void tst_ConnectorCustomers::refusesUnsafeUuid_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::newRow("empty") << QString();
    QTest::newRow("parent") << QStringLiteral("../../etc/evil");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("absolute") << QStringLiteral("/tmp/evil");
    QTest::newRow("newline") << QStringLiteral("a\nb");
}

void tst_ConnectorCustomers::refusesUnsafeUuid()
{
    QFETCH(QString, uuid);
    QSignalSpy received(mConnector.get(), &Connector::customerInfoReceived);
    LogCapture log;
    mConnector->parseCustomerInfo(reply({customerJson(1, uuid, png())}), QJsonObject());
    QCOMPARE(received.count(), 1);
    QVERIFY(received.at(0).at(0).value<Customer::Ptr>()->image().isEmpty());
    QVERIFY(log.containsPart(kTag + QStringLiteral("WARN: Customer uuid is not a safe file name. Will not store : ")));
    QVERIFY(!log.containsPart(QStringLiteral("Storing file")));
    QCOMPARE(filesBelow(mDir->path()), QStringList());
}

QTEST_GUILESS_MAIN(tst_ConnectorCustomers)
#include "tst_connectorcustomers.moc"

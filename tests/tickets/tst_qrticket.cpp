#include "tickets/dynamicqr.h"
#include "tickets/qrticket.h"
#include "tickets/urbanmelva_v1.h"

#include <QThread>
#include <QtTest>

namespace {

class BareTicket : public QrTicket
{
public:
    explicit BareTicket(const char *name) : QrTicket(name) {}
};

// Emits tickets from whatever thread it lives on.
class TicketSource : public QObject
{
    Q_OBJECT
signals:
    void ticketReady(std::shared_ptr<QrTicket> ticket);
};

// Receives tickets through a connection made by signature, which finds the argument
// type by its name at run time.
class TicketSink : public QObject
{
    Q_OBJECT
public:
    std::shared_ptr<QrTicket> mTicket;
    QThread *mThread = nullptr;
public slots:
    void onTicket(std::shared_ptr<QrTicket> ticket)
    {
        mTicket = std::move(ticket);
        mThread = QThread::currentThread();
    }
};

} // namespace

class tst_QrTicket : public QObject
{
    Q_OBJECT
private slots:
    void baseAnswersEmpty();
    void typeName_data();
    void typeName();
    void travelsThroughQueuedSignal();
};

void tst_QrTicket::baseAnswersEmpty()
{
    const BareTicket t("Bare");
    const QrTicket &base = t;
    QVERIFY(base.isEmpty());
    QCOMPARE(base.toString(), QString());
    QCOMPARE(base.id(), 0);
}

void tst_QrTicket::typeName_data()
{
    QTest::addColumn<std::shared_ptr<QrTicket>>("ticket");
    QTest::addColumn<QString>("expected");
    QTest::newRow("urban") << std::shared_ptr<QrTicket>(new UrbanMelva_v1(QString()))
                           << QStringLiteral("UrbanMelva_v1");
    QTest::newRow("dynamic") << std::shared_ptr<QrTicket>(new DynamicQr(QJsonObject()))
                             << QStringLiteral("DynamicQr");
    QTest::newRow("utf8") << std::shared_ptr<QrTicket>(new BareTicket("Bilet\xc3\xa9"))
                          << QString::fromUtf8("Bilet\xc3\xa9");
}

void tst_QrTicket::typeName()
{
    QFETCH(std::shared_ptr<QrTicket>, ticket);
    QFETCH(QString, expected);
    QCOMPARE(ticket->getQrType(), expected);
}

void tst_QrTicket::travelsThroughQueuedSignal()
{
    const int id = qRegisterMetaType<std::shared_ptr<QrTicket>>("qrticket_ptr");
    QCOMPARE(QMetaType::type("qrticket_ptr"), id);

    QThread worker;
    TicketSource source;
    source.moveToThread(&worker);
    worker.start();

    std::shared_ptr<QrTicket> received;
    QThread *receivedOn = nullptr;
    QObject receiver;
    connect(&source, &TicketSource::ticketReady, &receiver,
            [&](std::shared_ptr<QrTicket> ticket) {
                received = std::move(ticket);
                receivedOn = QThread::currentThread();
            },
            Qt::QueuedConnection);
    TicketSink sink;
    QVERIFY(connect(&source, SIGNAL(ticketReady(std::shared_ptr<QrTicket>)), &sink,
                    SLOT(onTicket(std::shared_ptr<QrTicket>)), Qt::QueuedConnection));

    auto sent = std::make_shared<DynamicQr>(QStringLiteral("DYNAMIC|1|D|0|42|0|0|0|0|0|0|0"));
    QMetaObject::invokeMethod(&source, [&source, sent] { emit source.ticketReady(sent); });

    QTRY_VERIFY(received);
    QCOMPARE(received.get(), static_cast<QrTicket *>(sent.get()));
    QCOMPARE(receivedOn, QThread::currentThread());
    QCOMPARE(received->id(), 42);
    QTRY_VERIFY(sink.mTicket);
    QCOMPARE(sink.mTicket.get(), received.get());
    QCOMPARE(sink.mThread, QThread::currentThread());

    worker.quit();
    QVERIFY(worker.wait(10000));
}

QTEST_GUILESS_MAIN(tst_QrTicket)
#include "tst_qrticket.moc"

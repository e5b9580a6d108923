#include "framework/logger.h"

#include <QtTest>

// Each record is one line of text, whatever a message holds.
class tst_LoggerEscape : public QObject
{
    Q_OBJECT
private slots:
    void controlCharactersAreEscaped_data();
    void controlCharactersAreEscaped();
};

void tst_LoggerEscape::controlCharactersAreEscaped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("color");
    QTest::addColumn<QByteArray>("expected"); // on standard error, after the prefix
    QTest::newRow("controls") << QString("\tb\x1b[31m\x1f \x7e\x7f") + QChar(0x9f) + QChar(0xa0) << false
                              << QByteArray(R"(\tb\x1b[31m\x1f ~\x7f\x9f)") + QString(QChar(0xa0)).toUtf8();
    QTest::newRow("unicode-separators") << QString("a") + QChar(0x2028) + "b" + QChar(0x2029) + "c\\n" << false
                                        << QByteArray(R"(a\u2028b\u2029c\n)");
    QTest::newRow("colour-pattern-kept") << "x\ny" << true << QByteArray("\x1b[33mx\\ny\x1b[39m");
}

void tst_LoggerEscape::controlCharactersAreEscaped()
{
    QFETCH(QString, text);
    QFETCH(bool, color);
    QFETCH(QByteArray, expected);
    manager::Logger *logger = manager::Logger::instance();
    QByteArray written;
    logger->setSyslog(false);
    logger->setStderr(true);
    logger->setColor(color);
    logger->setStderrWriter([&written](const QByteArray &line) { written += line; });
    if (color)
        qWarning().noquote() << text; // information is not coloured
    else
        qInfo().noquote() << text;
    logger->setStderrWriter(nullptr);
    QCOMPARE(written.mid(written.indexOf("] ") + 2), expected + '\n');
}

QTEST_GUILESS_MAIN(tst_LoggerEscape)
#include "tst_logger_escape.moc"

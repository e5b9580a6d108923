#include "framework/cli.h"

#include "support/childrun.h"
#include "support/logcapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

namespace {

// The harness logs through the logger to standard error: "[  s.mmm] text" per line; the
// first is the banner.
QStringList loggedAfterBanner(const ChildRun &run)
{
    QStringList texts;
    for (const QString &line : run.errorLines())
        texts.append(line.mid(line.indexOf(QLatin1String("] ")) + 2));
    if (texts.isEmpty() || !texts.first().startsWith(QStringLiteral("[CLI] Starting '")))
        return {QStringLiteral("no banner")};
    return texts.mid(1);
}

ChildRun runCli(const QStringList &arguments, const QString &name = QString())
{
    return ChildRun(QStringLiteral(HARNESS_PATH), arguments, {{"ZUB_HARNESS", "cli"}, {"ZUB_HARNESS_NAME", name}});
}

const QString Banner = QStringLiteral("^\\[CLI\\] Starting '%1 v1\\.2\\.18 "
                                      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} "
                                      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]' %2$");

} // namespace

class tst_CLI : public QObject
{
    Q_OBJECT
private slots:
    void bannerNamesProgramVersionBuildAndArguments();
    void overrides_data();
    void overrides();
    void exits_data();
    void exits();
    void helpListsEveryOption();
};

void tst_CLI::bannerNamesProgramVersionBuildAndArguments()
{
    QCoreApplication::setApplicationName(QStringLiteral("zub"));
    QCoreApplication::setApplicationVersion(QStringLiteral("v1.2.18"));
    LogCapture capture;
    manager::CLI cli(QString{});
    QCOMPARE(capture.entries().size(), 1);
    QCOMPARE(capture.entries().first().type, QtInfoMsg);
    const QString expected = Banner.arg(QStringLiteral("zub"),
                                        QRegularExpression::escape(QCoreApplication::arguments().join(' ')));
    QVERIFY2(QRegularExpression(expected).match(capture.texts().first()).hasMatch(),
             qPrintable(capture.texts().first()));
    // The build moment is the compiler's.
    QVERIFY(capture.texts().first().contains(QStringLiteral(__DATE__).left(6)));
}

void tst_CLI::overrides_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("logged"); // after the banner, in order

    const QString level = QStringLiteral("[CLI] Log level overridden from user: ");
    const QString toStderr = QStringLiteral("[CLI] Log to stderr overridden from user to true");
    const QString color = QStringLiteral("[CLI] Log with color overridden from user to true");
    QTest::newRow("none") << QStringList{} << QByteArray("{}") << QStringList{};
    QTest::newRow("verbose-attached") << QStringList{"-v0"} << QByteArray(R"({"level":0})") << QStringList{level + "0"};
    QTest::newRow("verbose-long-equals") << QStringList{"--verbose=4"} << QByteArray(R"({"level":4})")
                                         << QStringList{level + "4"};
    QTest::newRow("stderr-and-color-compacted") << QStringList{"-ce"}
                                                << QByteArray(R"({"color":true,"stderr":true})")
                                                << QStringList{toStderr, color};
    QTest::newRow("config-long-equals") << QStringList{"--config=c.conf"} << QByteArray(R"({"conf":"c.conf"})")
                                        << QStringList{};
    QTest::newRow("everything") << QStringList{"-v", "3", "--stderr", "--color", "-s", "-f", "x.conf"}
                                << QByteArray(R"({"color":true,"conf":"x.conf","level":3,"save":true,"stderr":true})")
                                << QStringList{level + "3", toStderr, color};
}

void tst_CLI::overrides()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, logged);
    const ChildRun run = runCli(arguments);
    QVERIFY2(run.finished() && !run.crashed() && run.exitCode() == 0, qPrintable(run.describe()));
    const QList<QByteArray> out = run.standardOutput().split('\n');
    QCOMPARE(out.size(), 3);
    const QJsonObject result = QJsonDocument::fromJson(out.at(0)).object();
    QCOMPARE(result, QJsonDocument::fromJson(expected).object());
    // The value types matter to the controller: an int level, bool flags, a text file name.
    const QHash<QString, QByteArray> types = {
        {"level", "int"}, {"stderr", "bool"}, {"color", "bool"}, {"save", "bool"}, {"conf", "QString"}};
    QByteArray expectedTypes;
    for (const QString &key : result.keys())
        expectedTypes += key.toUtf8() + '=' + types.value(key) + ' ';
    QCOMPARE(out.at(1), expectedTypes.trimmed());
    QCOMPARE(loggedAfterBanner(run), logged);
}

void tst_CLI::exits_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");   // a line of standard output
    QTest::addColumn<QString>("critical"); // the one line logged after the banner, if any

    const QString usage = QStringLiteral("Usage: " HARNESS_PATH " [options]");
    const QString version = QStringLiteral("zub v1.2.18");
    const QString noWords = QStringLiteral("[CLI] No positional arguments expected.");
    QTest::newRow("help-before-bad-verbose") << QStringList{"-v", "x", "-h"} << 0 << usage << QString();
    QTest::newRow("version-before-bad-verbose") << QStringList{"--version", "-v", "x"} << 0 << version << QString();
    QTest::newRow("verbose-trailing-junk") << QStringList{"--verbose", "3x"} << 1 << usage
                                           << "[CLI] Can not parse given (3x) verbose level.";
    QTest::newRow("verbose-missing-value") << QStringList{"-v"} << 1 << usage << "[CLI] Missing value after '-v'.";
    QTest::newRow("unknown-long-option") << QStringList{"--nope"} << 1 << usage << "[CLI] Unknown option 'nope'.";
    QTest::newRow("save-takes-no-value") << QStringList{"-s", "out.conf"} << 1 << usage << noWords;
    QTest::newRow("positional-beats-help") << QStringList{"-h", "word"} << 1 << usage << noWords;
    QTest::newRow("error-beats-help") << QStringList{"-h", "-x"} << 1 << usage << "[CLI] Unknown option 'x'.";
}

void tst_CLI::exits()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, critical);
    const ChildRun run = runCli(arguments);
    QVERIFY2(run.finished() && !run.crashed(), qPrintable(run.describe()));
    QCOMPARE(run.exitCode(), exitCode);
    QVERIFY2(QString::fromUtf8(run.standardOutput()).split('\n').contains(output), qPrintable(run.describe()));
    QCOMPARE(loggedAfterBanner(run), critical.isEmpty() ? QStringList{} : QStringList{critical});
}

void tst_CLI::helpListsEveryOption()
{
    const ChildRun run = runCli({QStringLiteral("-h")}, QStringLiteral("other"));
    QVERIFY2(run.finished() && run.exitCode() == 0, qPrintable(run.describe()));
    const QString banner = run.errorLines().value(0);
    QVERIFY2(QRegularExpression(Banner.arg("other", QRegularExpression::escape(HARNESS_PATH " -h")))
                 .match(banner.mid(banner.indexOf("] ") + 2))
                 .hasMatch(),
             qPrintable(banner));
    const QString help = QString::fromUtf8(run.standardOutput());
    QVERIFY(help.startsWith(QStringLiteral("Usage: " HARNESS_PATH " [options]\n")));
    const QList<QPair<QString, QString>> options = {
        {"-h, --help", "Displays help information and exits."},
        {"-V, --version", "Displays version and exits."},
        {"-v, --verbose <level>", "Sets verbosity level: 0=err, 1=warn, 2=info(default), 3=debug"},
        {"-e, --stderr", "Log to stderr as well as syslog."},
        {"-c, --color", "Use VT100 color codes in log."},
        {"-s, --saveConf", "Saves effective configuration file in the specified file."},
        {"-f, --config <filename>", "Specifies configuration file (default is ./other.conf"},
    };
    // The library wraps long lines: compare with runs of blanks folded.
    const QString folded = help.simplified();
    int previous = -1;
    for (const auto &option : options) {
        const int at = folded.indexOf(option.first + ' ' + option.second);
        QVERIFY2(at > previous, qPrintable(option.first + " missing or out of order in\n" + help));
        previous = at;
    }
    // The library's own help and version options are not there: -h and -V stand for them.
    QVERIFY(!help.contains(QStringLiteral("-?")) && !help.contains(QStringLiteral("--help-all")));
}

QTEST_GUILESS_MAIN(tst_CLI)
#include "tst_cli.moc"

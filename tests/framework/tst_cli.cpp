#include "framework/cli.h"

#include "support/childrun.h"

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

} // namespace

class tst_CLI : public QObject
{
    Q_OBJECT
private slots:
    void runs_data();
    void runs();
    void helpListsEveryOption();
};

void tst_CLI::runs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output"); // lines of standard output: the overrides, their types, help
    QTest::addColumn<QStringList>("logged"); // after the banner, in order

    const QString usage = QStringLiteral("Usage: " HARNESS_PATH " [options]");
    QTest::newRow("none") << QStringList{} << 0 << QStringList{"{}"} << QStringList{};
    // The value types matter to the controller: an int level, bool flags, a text file name.
    QTest::newRow("everything") << QStringList{"-v", "3", "--stderr", "--color", "-s", "-f", "x.conf"} << 0
                                << QStringList{R"({"color":true,"conf":"x.conf","level":3,"save":true,"stderr":true})",
                                               "color=bool conf=QString level=int save=bool stderr=bool"}
                                << QStringList{"[CLI] Log level overridden from user: 3",
                                               "[CLI] Log to stderr overridden from user to true",
                                               "[CLI] Log with color overridden from user to true"};
    QTest::newRow("help-before-bad-verbose") << QStringList{"-v", "x", "-h"} << 0 << QStringList{usage} << QStringList{};
    QTest::newRow("version-before-bad-verbose") << QStringList{"--version", "-v", "x"} << 0
                                                << QStringList{"zub v1.2.18"} << QStringList{};
    QTest::newRow("verbose-trailing-junk") << QStringList{"--verbose", "3x"} << 1 << QStringList{usage}
                                           << QStringList{"[CLI] Can not parse given (3x) verbose level."};
    // -s takes no value: its file name is a stray word, and stray words and errors win over help.
    QTest::newRow("stray-word-beats-help") << QStringList{"-h", "-s", "out.conf"} << 1 << QStringList{usage}
                                           << QStringList{"[CLI] No positional arguments expected."};
    QTest::newRow("error-beats-help") << QStringList{"-h", "--nope"} << 1 << QStringList{usage}
                                      << QStringList{"[CLI] Unknown option 'nope'."};
}

void tst_CLI::runs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QFETCH(QStringList, logged);
    const ChildRun run = runCli(arguments);
    QVERIFY2(run.finished() && !run.crashed(), qPrintable(run.describe()));
    QCOMPARE(run.exitCode(), exitCode);
    const QStringList lines = QString::fromUtf8(run.standardOutput()).split('\n');
    for (const QString &line : output)
        QVERIFY2(lines.contains(line), qPrintable(line + " missing in\n" + run.describe()));
    QCOMPARE(loggedAfterBanner(run), logged);
}

void tst_CLI::helpListsEveryOption()
{
    const ChildRun run = runCli({QStringLiteral("-h")}, QStringLiteral("other"));
    QVERIFY2(run.finished() && run.exitCode() == 0, qPrintable(run.describe()));
    const QString banner = run.errorLines().value(0);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\[CLI\\] Starting 'other v1\\.2\\.18 "
                                               "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} "
                                               "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]' ")
                                + QRegularExpression::escape(HARNESS_PATH " -h") + '$')
                 .match(banner.mid(banner.indexOf("] ") + 2))
                 .hasMatch(),
             qPrintable(banner));
    QVERIFY(banner.contains(QStringLiteral(__DATE__).left(6))); // the build moment is the compiler's
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

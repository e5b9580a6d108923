#include "framework/cli.h"

#include "support/childrun.h"
#include "support/goldenfile.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// The harness parses its command line and writes the overrides as JSON, then their value
// types, to standard output; it logs through the logger to standard error: "[  s.mmm] text"
// per line, the first the banner. Exit codes, outputs and lines after the banner are in
// data/cli.expected.json, the harness's path written as <harness>.
QJsonObject run(const QString &, const QJsonValue &value)
{
    const QJsonObject c = value.toObject();
    const ChildRun child(QStringLiteral(HARNESS_PATH), c["args"].toVariant().toStringList(),
                         {{"ZUB_HARNESS", "cli"}, {"ZUB_HARNESS_NAME", c["name"].toString()}});
    QStringList logged;
    for (const QString &line : child.errorLines())
        logged.append(line.mid(line.indexOf(QLatin1String("] ")) + 2));
    const bool banner = !logged.isEmpty() && logged.takeFirst().startsWith(QStringLiteral("[CLI] Starting '"));
    const QString out = QString::fromUtf8(child.standardOutput()).replace(QStringLiteral(HARNESS_PATH), "<harness>");
    return {{"finished", child.finished() && !child.crashed() && banner}, {"exitCode", child.exitCode()},
            {"output", QJsonArray::fromStringList(out.split('\n'))}, {"logged", QJsonArray::fromStringList(logged)}};
}

} // namespace

class tst_CLI : public QObject
{
    Q_OBJECT
private slots:
    void runs_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/cli.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/cli"), run);
    }
    void runs()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(run({}, testCase), expected);
    }
    void banner()
    {
        const ChildRun run(QStringLiteral(HARNESS_PATH), {QStringLiteral("-h")},
                           {{"ZUB_HARNESS", "cli"}, {"ZUB_HARNESS_NAME", "other"}});
        const QString banner = run.errorLines().value(0);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[CLI\\] Starting 'other v1\\.2\\.18 "
                                                   "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} "
                                                   "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]' ")
                                    + QRegularExpression::escape(HARNESS_PATH " -h") + '$')
                     .match(banner.mid(banner.indexOf("] ") + 2))
                     .hasMatch(),
                 qPrintable(banner));
        QVERIFY(banner.contains(QStringLiteral(__DATE__).left(6))); // the build moment is the compiler's
    }
};

QTEST_GUILESS_MAIN(tst_CLI)
#include "tst_cli.moc"

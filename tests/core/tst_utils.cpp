#include "core/utils.h"

#include <QtTest>

#include <sstream>
#include <unistd.h>

class tst_Utils : public QObject
{
    Q_OBJECT
private slots:
    void pathText_data();
    void pathText();
    void match_data();
    void match();
    void filesAndFolders();
    void makePathCreatesLevelsWithoutAShell();
    void readSymlinkUsesReturnedLength();
    void bcdAndHexDump();
};

void tst_Utils::pathText_data()
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
}

void tst_Utils::pathText()
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
                                                        : Utils::changeFileExt(x, y);
    QCOMPARE(QString::fromStdString(result), expected);
}

void tst_Utils::match_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("expected");
    QTest::newRow("star-ext") << "a.txt" << "*.txt" << true;
    QTest::newRow("star-ext-longer") << "a.txt.bak" << "*.txt" << false;
    QTest::newRow("question") << "abc" << "a?c" << true;
    QTest::newRow("question-needs-one") << "ac" << "a?c" << false;
    QTest::newRow("text-ends-at-star") << "abc" << "abc*d" << true;
    QTest::newRow("two-stars") << "xay" << "*a*" << true;
    QTest::newRow("empty-pattern") << "a" << "" << false;
    QTest::newRow("prefix-only") << "abcd" << "abc" << false;
}

void tst_Utils::match()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, expected);
    QCOMPARE(Utils::match(text.toStdString(), pattern.toStdString()), expected);
}

void tst_Utils::filesAndFolders()
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

void tst_Utils::makePathCreatesLevelsWithoutAShell()
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

void tst_Utils::readSymlinkUsesReturnedLength()
{
    QTemporaryDir dir;
    const std::string link = dir.path().toStdString() + "/link";
    QVERIFY(symlink("short-target", link.c_str()) == 0);
    QVERIFY(Utils::isSymlink(link) && !Utils::isSymlink(dir.path().toStdString()));
    QCOMPARE(Utils::readSymlink(link), std::string("short-target"));
    QCOMPARE(Utils::readSymlink(link + "x"), link + "x");
}

void tst_Utils::bcdAndHexDump()
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

QTEST_GUILESS_MAIN(tst_Utils)
#include "tst_utils.moc"

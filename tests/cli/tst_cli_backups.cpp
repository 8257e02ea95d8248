#include "OrvikVersion.h"

#include "common/CliRunner.h"
#include "common/TestFiles.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <tuple>

namespace {
const QString kRoot = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec");

// A folder as the listing shows it: with the platform's separators, escaped as every field.
QByteArray Shown(const QString &path)
{
    return QDir::toNativeSeparators(path).toUtf8().replace("\\", "\\\\");
}
} // namespace

class TestCliBackups : public QObject
{
    Q_OBJECT

private slots:
    void listsTheSampleRoot();
    void rootFromSettingsBesideTheProgram();
    void addedDirectoriesFollowInOrder();
    void fieldsAreEscaped();
    void usageErrors_data();
    void usageErrors();
    void helpVersionAndCompletion();
    void outputThatCannotBeWrittenFails_data();
    void outputThatCannotBeWrittenFails();
};

void TestCliBackups::listsTheSampleRoot()
{
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult r = cli.run({"backups", "--root", kRoot});
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> lines = r.lines();
    QCOMPARE(lines.size(), 3);
    QStringList seen;
    for (int i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        QCOMPARE(f.size(), 5);
        QCOMPARE(f[0], QByteArray::number(i + 1));
        QCOMPARE(f[4], Shown(kRoot + "/" + QString::fromUtf8(f[1]) + "/"));
        seen << QString::fromUtf8(f[1]);
        if (f[1] == "2009-12") {
            QCOMPARE(f[2], QByteArray("2009-12-01 00:00:00"));
            QCOMPARE(f[3], QByteArray("2009-12-31 23:59:59"));
        }
    }
    // By name, as Windows lists the folders, whatever order the file system keeps them in.
    QCOMPARE(seen, (QStringList{"2009-12", "2010-01", "odd-types"}));

    QTemporaryDir mixed;
    for (const char *name : {"b-2", "A-1", "c-3", "_z", "10", "9"}) {
        QVERIFY(TestFiles::write(mixed.filePath(QString::fromLatin1(name) + "/config.ini"), "[base]\n"));
        QVERIFY(TestFiles::write(mixed.filePath(QString::fromLatin1(name) + "/dbR.mdb"), ""));
    }
    const CliResult byName = cli.run({"backups", "--root", mixed.path()});
    QCOMPARE(byName.exitCode, 0);
    QStringList names;
    for (const QByteArray &line : byName.lines())
        names << QString::fromUtf8(line.split('\t').value(1));
    QCOMPARE(names, (QStringList{"10", "9", "A-1", "b-2", "c-3", "_z"}));
}

void TestCliBackups::rootFromSettingsBesideTheProgram()
{
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    QVERIFY(TestFiles::write(prog.filePath("config.ini"),
                             "[config]\r\nm_language=0\r\nm_BackDir=" + kRoot.toUtf8() + "\r\n"));
    const CliResult fromSettings = cli.run({"backups"});
    QCOMPARE(fromSettings.exitCode, 0);
    QCOMPARE(fromSettings.out, cli.run({"backups", "--root", kRoot}).out);
    // The Chinese UI reads the GBK config.ini of 2010-01 right.
    QVERIFY(fromSettings.out.contains("2010年01月01日 00:00:00\t2010年01月31日 23:59:59"));
}

void TestCliBackups::addedDirectoriesFollowInOrder()
{
    // The root's backups, then those of each --add in order; a backup listed already is not
    // listed again.
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult r = cli.run(
        {"backups", "--root", kRoot + "/2009-12", "--add", kRoot + "/nested/deep", "--add", kRoot + "/2009-12/"});
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> lines = r.lines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith("1\t2009-12\t"));
    QVERIFY(lines[1].startsWith("2\tdeep\t2009-09-15 00:00:00\t2009-09-15 23:59:59\t"));

    // One backup however its path is written, or reached through a link: listed once and
    // searched once.
    QTemporaryDir tmp;
    const QString g03 = tmp.filePath("many/g03");
    QVERIFY(QDir().mkpath(tmp.filePath("many")));
    QVERIFY(TestFiles::copyTree(kRoot + "/2009-12", g03));
    const QString relative = QDir::current().relativeFilePath(g03);
    QStringList spellings = {"--root", tmp.filePath("many"), "--add", g03};
    // (A temporary folder on another drive than the current folder has no relative path.)
    if (QDir::isRelativePath(relative))
        spellings << "--add" << relative << "--add" << relative + "/"
                  << "--add"
                  << "./" + relative;
#ifndef _WIN32
    QVERIFY(QFile::link(g03, tmp.filePath("alias")));
    spellings << "--add" << tmp.filePath("alias");
#endif
    const CliResult once = cli.run(QStringList{"backups"} + spellings);
    QCOMPARE(once.exitCode, 0);
    QCOMPARE(once.lines().size(), 1);
    QCOMPARE(once.lines()[0].split('\t').value(4), Shown(tmp.filePath("many/g03/")));
    const CliResult searched = cli.run(QStringList{"search"} + spellings);
    QCOMPARE(searched.exitCode, 0);
    QCOMPARE(searched.lines().size(), cli.run({"query", g03}).lines().size());

    // A folder that is not there, or no folder, lists nothing: said, and a usage error.
    QVERIFY(TestFiles::write(tmp.filePath("file"), "x"));
    const QString absent = tmp.filePath("nonexistent");
    const struct
    {
        QStringList args;
        QString said;
    } wrong[] = {
        {{"backups", "--root", absent}, "--root: the folder " + absent + " does not exist"},
        {{"search", "--root", absent}, "--root: the folder " + absent + " does not exist"},
        {{"backups", "--root", g03, "--add", absent}, "--add: the folder " + absent + " does not exist"},
        {{"search", "--add", absent, "--root", g03}, "--add: the folder " + absent + " does not exist"},
        {{"backups", "--root", tmp.filePath("file")}, "--root: " + tmp.filePath("file") + " is not a folder"},
    };
    for (const auto &[args, said] : wrong) {
        const CliResult refused = cli.run(args);
        QCOMPARE(refused.exitCode, 2);
        QVERIFY(refused.out.isEmpty());
        QCOMPARE(QString::fromUtf8(refused.err).section(u'\n', 0, 0), said);
    }
}

void TestCliBackups::fieldsAreEscaped()
{
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    QTemporaryDir tmp;
#ifdef _WIN32
    // No tab, line break or "\\" can be part of a folder's name there: only the settings'
    // text carries them.
    const QString name = QStringLiteral("a b");
    const QByteArray escaped = "a b";
#else
    const QString name = QStringLiteral("a\tb\\c\nd\re");
    const QByteArray escaped = "a\\tb\\\\c\\nd\\re";
#endif
    QVERIFY(TestFiles::write(tmp.path() + "/" + name + "/config.ini", "[base]\ndt_start=x\\y\tz\n"));
    QVERIFY(TestFiles::write(tmp.path() + "/" + name + "/dbR.mdb", ""));
    const CliResult r = cli.run({"backups", "--root", tmp.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, "1\t" + escaped + "\tx\\\\y\\tz\t\t" + Shown(tmp.path() + "/") + escaped + Shown("/") + "\n");
    // Its database is empty: search names it on one line of stderr, the name escaped alike.
    const CliResult search = cli.run({"search", "--root", tmp.path()});
    QCOMPARE(search.exitCode, 5);
    QVERIFY(search.out.isEmpty());
    QCOMPARE(search.err.count('\n'), 1);
    QVERIFY2(search.err.startsWith(Shown(tmp.path() + "/") + escaped + Shown("/") + ": "), search.err.constData());
}

void TestCliBackups::usageErrors_data()
{
    // What was wrong (the first line on stderr), then the usage line of the command.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("usage");
    const QString db = kRoot + "/2009-12/dbR.mdb";
    const QString all = "usage: orvik-cli COMMAND [ARGUMENTS], COMMAND one of: backups, query, search, export, stats, "
                        "delete, sql, check";
    QTest::newRow("no command") << QStringList{} << "no command given" << all;
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "no such command: frobnicate" << all;
    QTest::newRow("help on an unknown command") << QStringList{"help", "nosuch"} << "no such command: nosuch" << all;
    QTest::newRow("version with an argument") << QStringList{"--version", "x"} << "--version takes no arguments" << all;
    QTest::newRow("unknown option") << QStringList{"backups", "--bogus"} << "Unknown option 'bogus'."
                                    << "usage: orvik-cli backups [--root DIR] [--add DIR]...";
    QTest::newRow("missing value") << QStringList{"backups", "--root"} << "Missing value after '--root'."
                                   << "usage: orvik-cli backups ";
    QTest::newRow("stray argument") << QStringList{"backups", "extra"} << "unexpected argument: extra"
                                    << "usage: orvik-cli backups ";
    QTest::newRow("query without a backup") << QStringList{"query"} << "no backup directory given"
                                            << "usage: orvik-cli query DIR [FILTERS]";
    QTest::newRow("unknown format") << QStringList{"query", kRoot, "--format", "xml"}
                                    << "unknown format (tsv, csv or json): xml"
                                    << "usage: orvik-cli query ";
    QTest::newRow("BOM without CSV") << QStringList{"sql", db, "select * from record", "--bom"}
                                     << "--bom goes with --format csv only"
                                     << "usage: orvik-cli sql ";
    QTest::newRow("statement with JSON") << QStringList{"query", kRoot, "--sql", "--format", "json"}
                                         << "--sql goes with --format tsv only"
                                         << "usage: orvik-cli query ";
    QTest::newRow("sql without a statement") << QStringList{"sql", db} << "a database and one statement are needed"
                                             << "usage: orvik-cli sql DB \"STATEMENT\"";
    QTest::newRow("export without output") << QStringList{"export", kRoot} << "--output FILE.xlsx is needed"
                                           << "usage: orvik-cli export ";
    QTest::newRow("delete without an id")
        << QStringList{"delete", kRoot} << "a backup directory and a record id are needed"
        << "usage: orvik-cli delete ";
    QTest::newRow("check without a database") << QStringList{"check"} << "no database given"
                                              << "usage: orvik-cli check DB [TABLE]";
}

void TestCliBackups::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, what);
    QFETCH(QString, usage);
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult r = cli.run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    const QStringList lines = QString::fromUtf8(r.err).split(u'\n');
    QCOMPARE(lines.value(0), what);
    QVERIFY2(lines.value(1).startsWith(usage), qPrintable(lines.value(1)));
    QCOMPARE(lines.size(), 4); // then where the options are described, and the last line feed
}

void TestCliBackups::helpVersionAndCompletion()
{
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult version = cli.run({"--version"});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QByteArray("orvik-cli ") + kOrvikVersion + "\n");
    QVERIFY(version.err.isEmpty());

    const CliResult help = cli.run({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.err.isEmpty());
    QVERIFY(help.out.contains("exit codes:"));
    // Every exit code, each with the commands that give it; the filters' wildcards.
    const QString codes = QString::fromUtf8(help.out.mid(help.out.indexOf("exit codes:")));
    for (int code = 0; code <= 6; ++code)
        QVERIFY2(codes.contains(QStringLiteral("\n  %1  ").arg(code)), qPrintable(codes));
    QVERIFY(codes.section(QStringLiteral("\n  5  "), 1).section(u'\n', 0, 0).contains("(search)"));
    QVERIFY(codes.section(QStringLiteral("\n  6  "), 1).section(u'\n', 0, 0).contains("search)"));
    QVERIFY(help.out.contains("% stands for any run of characters and _ for any one"));
    QCOMPARE(cli.run({"-h"}).out, help.out);
    QCOMPARE(cli.run({"help"}).out, help.out);

    // The commands the overview lists, each with its own help, asked for in three ways.
    const QString overview = QString::fromUtf8(help.out);
    const qsizetype listStart = overview.indexOf("commands:\n") + 10;
    QStringList commands;
    for (const QString &line : overview.mid(listStart, overview.indexOf("\n\n", listStart) - listStart).split(u'\n'))
        commands << line.section(u' ', 2, 2);
    QCOMPARE(commands, (QStringList{"backups", "query", "search", "export", "stats", "delete", "sql", "check"}));
    QMap<QString, QStringList> options;
    const QRegularExpression optionLine(QStringLiteral("^  (?:-\\w, )?(--[a-z]+)"),
                                        QRegularExpression::MultilineOption);
    for (const QString &command : commands) {
        const CliResult r = cli.run({command, "--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty());
        QVERIFY(r.out.startsWith("usage: orvik-cli " + command.toUtf8() + " "));
        QCOMPARE(cli.run({command, "-h"}).out, r.out);
        QCOMPARE(cli.run({"help", command}).out, r.out);
        const QString text = QString::fromUtf8(r.out);
        for (auto it = optionLine.globalMatch(text.mid(text.indexOf("options:"))); it.hasNext();)
            options[command] << it.next().captured(1);
        QVERIFY(options[command].contains("--help"));
    }
    QVERIFY(options["query"].contains("--format") && options["sql"].contains("--bom"));

    // The bash completion offers the same commands and, for each, the options its help lists.
    const QString bash = QStandardPaths::findExecutable("bash");
    if (bash.isEmpty())
        QSKIP("no bash here");
    const auto complete = [&](const QStringList &words) {
        QProcess p;
        p.start(bash, QStringList{"--norc", "--noprofile", "-c",
                                  "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                  "_orvik_cli; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                  QStringLiteral(ORVIK_SOURCE_DIR "/src/cli/orvik-cli.bash")}
                          + words);
        p.waitForFinished(30000);
        QStringList offered = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    };
    QStringList expected = commands + QStringList{"--help", "--version", "help"};
    expected.sort();
    QCOMPARE(complete({"orvik-cli", ""}), expected);
    for (const QString &command : commands) {
        options[command].sort();
        QCOMPARE(complete({"orvik-cli", command, "--"}), options[command]);
    }
    QCOMPARE(complete({"orvik-cli", "query", kRoot, "--format", ""}), (QStringList{"csv", "json", "tsv"}));
    QCOMPARE(complete({"orvik-cli", "stats", kRoot, "--by", "w"}), (QStringList{"week", "weekday"}));
}

void TestCliBackups::outputThatCannotBeWrittenFails_data()
{
    // `part`: the share of what the command reads when its output goes nowhere that it may
    // read when the output fails at the first block (0: not measured).
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<double>("part");
    const QString big = QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000");
    QTest::newRow("backups") << QStringList{"backups", "--root", kRoot} << 0.0;
    QTest::newRow("sql") << QStringList{"sql", big + "/dbR.mdb", "select * from record"} << 0.75;
    QTest::newRow("query") << QStringList{"query", big} << 0.9;
    QTest::newRow("query as JSON") << QStringList{"query", big, "--format", "json"} << 0.9;
    QTest::newRow("search") << QStringList{"search", "--root", big} << 0.0;
}

void TestCliBackups::outputThatCannotBeWrittenFails()
{
    // A full disk must not look like a complete listing to a script, and the listing stops
    // at the first block the disk refuses instead of reading every row for nothing.
    QFETCH(QStringList, args);
    QFETCH(double, part);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full here");
    QTemporaryDir prog;
    const CliResult r = CliRunner(prog.path()).run(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());

    // Run to its end by Python, which reads what the ended process read (its /proc entry
    // stays until it is waited for): the exit code, then the bytes it read.
    const auto run = [&](const char *output) {
        QProcess p;
        p.start(
            QStringLiteral(ORVIK_TEST_PYTHON),
            QStringList{"-c",
                        "import os, subprocess, sys\n"
                        "p = subprocess.Popen(sys.argv[2:], stdout=open(sys.argv[1], 'wb'), stderr=subprocess.PIPE)\n"
                        "err = p.stderr.read()\n"
                        "os.waitid(os.P_PID, p.pid, os.WEXITED | os.WNOWAIT)\n"
                        "io = open('/proc/%d/io' % p.pid).read()\n"
                        "p.wait()\n"
                        "read = [l.split()[1] for l in io.splitlines() if l.startswith('rchar')][0]\n"
                        "sys.stdout.write('%d %s\\n' % (p.returncode, read))\n"
                        "sys.stdout.flush()\n"
                        "sys.stdout.buffer.write(err)\n",
                        output, prog.path() + "/orvik-cli" ORVIK_EXE}
                + args);
        p.waitForFinished(120000);
        const QByteArray said = p.readAllStandardOutput();
        const QList<QByteArray> first = said.left(said.indexOf('\n')).split(' ');
        return std::tuple{first.value(0).toInt(), first.value(1).toLongLong(), said.mid(said.indexOf('\n') + 1)};
    };
    const auto [fine, readWhole, quiet] = run("/dev/null");
    QCOMPARE(fine, 0);
    const auto [code, readCut, said] = run("/dev/full");
    QCOMPARE(code, 1);
    QCOMPARE(said, QByteArray("cannot write the output: ") + std::strerror(ENOSPC) + "\n");
    if (part > 0)
        QVERIFY2(readCut < part * readWhole, qPrintable(QStringLiteral("%1 of %2").arg(readCut).arg(readWhole)));
}

QTEST_GUILESS_MAIN(TestCliBackups)
#include "tst_cli_backups.moc"

#include "common/CliRunner.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kRoot = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec");
}

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
        QCOMPARE(QString::fromUtf8(f[4]), kRoot + "/" + QString::fromUtf8(f[1]) + "/");
        seen << QString::fromUtf8(f[1]);
        if (f[1] == "2009-12") {
            QCOMPARE(f[2], QByteArray("2009-12-01 00:00:00"));
            QCOMPARE(f[3], QByteArray("2009-12-31 23:59:59"));
        }
    }
    seen.sort();
    QCOMPARE(seen, (QStringList{"2009-12", "2010-01", "odd-types"}));
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
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult r = cli.run(
        {"backups", "--root", kRoot + "/2009-12", "--add", kRoot + "/nested/deep", "--add", kRoot + "/2009-12/"});
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> lines = r.lines();
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("1\t2009-12\t"));
    QVERIFY(lines[1].startsWith("2\tdeep\t2009-09-15 00:00:00\t2009-09-15 23:59:59\t"));
    QVERIFY(lines[2].startsWith("3\t2009-12\t"));
}

void TestCliBackups::fieldsAreEscaped()
{
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    QTemporaryDir tmp;
    const QString name = QStringLiteral("a\tb\\c\nd\re");
    QVERIFY(TestFiles::write(tmp.path() + "/" + name + "/config.ini", "[base]\ndt_start=x\\y\tz\n"));
    QVERIFY(TestFiles::write(tmp.path() + "/" + name + "/dbR.mdb", ""));
    const CliResult r = cli.run({"backups", "--root", tmp.path()});
    QCOMPARE(r.exitCode, 0);
    const QByteArray escaped = "a\\tb\\\\c\\nd\\re";
    QCOMPARE(r.out, "1\t" + escaped + "\tx\\\\y\\tz\t\t" + tmp.path().toUtf8() + "/" + escaped + "/\n");
}

void TestCliBackups::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("unknown option") << QStringList{"backups", "--bogus"};
    QTest::newRow("missing value") << QStringList{"backups", "--root"};
    QTest::newRow("stray argument") << QStringList{"backups", "extra"};
}

void TestCliBackups::usageErrors()
{
    QFETCH(QStringList, args);
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    const CliResult r = cli.run(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.contains("usage"));
}

void TestCliBackups::outputThatCannotBeWrittenFails_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("backups") << QStringList{"backups", "--root", kRoot};
    QTest::newRow("sql") << QStringList{"sql", kRoot + "/2009-12/dbR.mdb", "select * from record"};
}

void TestCliBackups::outputThatCannotBeWrittenFails()
{
    // A full disk must not look like a complete listing to a script.
    QFETCH(QStringList, args);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full here");
    QTemporaryDir prog;
    const CliRunner cli(prog.path());
    QCOMPARE(cli.run(args).exitCode, 0);
    QProcess p;
    p.setStandardOutputFile("/dev/full");
    p.start(cli.program(), args);
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(!p.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliBackups)
#include "tst_cli_backups.moc"

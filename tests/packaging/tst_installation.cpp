// The installed program: `cmake --install` into a staging folder (DESTDIR) under a prefix
// of its own, the desktop entry and AppStream metadata checked by their validators, and the
// installed orvik-cli run from there with per-user settings, so that everything it reads
// comes from the installation and the user's folders, and nothing is written into the
// installation.
#include "common/TestFiles.h"

#include "TestPaths.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run RunProgram(const QString &program, const QStringList &args, const QProcessEnvironment &env = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// Every file below `dir` with its size and modification time.
QStringList Snapshot(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files << QStringLiteral("%1 %2 %3")
                     .arg(info.filePath())
                     .arg(info.size())
                     .arg(info.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

} // namespace

class InstallationTest : public QObject
{
    Q_OBJECT

private slots:
    void installedProgramReadsItsOwnFiles();
};

void InstallationTest::installedProgramReadsItsOwnFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stage = dir.path() + "/stage";
    // A prefix that is not where the files end up: the program finds its files relative to
    // itself.
    const QString prefix = stage + "/opt/orvik";
    QProcessEnvironment installEnv = QProcessEnvironment::systemEnvironment();
    installEnv.insert("DESTDIR", stage);
    const Run install = RunProgram(ORVIK_CMAKE, {"--install", ORVIK_BUILD_DIR, "--prefix", "/opt/orvik"}, installEnv);
    QVERIFY2(install.exitCode == 0, install.err.constData());

    for (const char *file :
         {"bin/orvik", "bin/orvik-cli", "share/orvik/language/Menu_Chinese.xml",
          "share/orvik/language/Menu_English.xml", "share/orvik/language/Menu_Turkish.xml", "share/orvik/sample.xlsx",
          "share/applications/org.orvik.Orvik.desktop", "share/metainfo/org.orvik.Orvik.metainfo.xml",
          "share/icons/hicolor/scalable/apps/org.orvik.Orvik.svg", "share/icons/hicolor/48x48/apps/org.orvik.Orvik.png",
          "share/icons/hicolor/128x128/apps/org.orvik.Orvik.png",
          "share/icons/hicolor/256x256/apps/org.orvik.Orvik.png", "share/man/man1/orvik.1",
          "share/man/man1/orvik-cli.1", "share/doc/orvik/LICENSE"})
        QVERIFY2(QFileInfo::exists(prefix + '/' + file), file);
    // The manual page's synopsis is the program's own usage text.
    QVERIFY(TestFiles::read(prefix + "/share/man/man1/orvik-cli.1").contains("orvik\\-cli help [COMMAND]"));

    const Run desktopCheck =
        RunProgram(ORVIK_DESKTOP_FILE_VALIDATE, {prefix + "/share/applications/org.orvik.Orvik.desktop"});
    QVERIFY2(desktopCheck.exitCode == 0 && desktopCheck.out.isEmpty(), desktopCheck.out + desktopCheck.err);
    const Run metainfoCheck = RunProgram(
        ORVIK_APPSTREAMCLI, {"validate", "--no-net", prefix + "/share/metainfo/org.orvik.Orvik.metainfo.xml"});
    QVERIFY2(metainfoCheck.exitCode == 0, metainfoCheck.out + metainfoCheck.err);

    // A text changed in the installed language file shows that file is the one read.
    const QString english = prefix + "/share/orvik/language/Menu_English.xml";
    QByteArray xml = TestFiles::read(english);
    QVERIFY(xml.contains("name=\"Incoming\""));
    QVERIFY(TestFiles::write(english, xml.replace("name=\"Incoming\"", "name=\"Incoming (installed)\"")));

    // The user's settings live in their configuration folder, the editable template in their
    // data folder.
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec"), dir.path() + "/Rec"));
    QVERIFY(TestFiles::write(dir.path() + "/config/orvik/config.ini",
                             "[config]\nm_language=3\nm_BackDir=" + dir.path().toUtf8() + "/Rec\n"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    env.insert("XDG_DATA_HOME", dir.path() + "/data");
    const QStringList installed = Snapshot(stage);
    const QString cli = prefix + "/bin/orvik-cli";

    const Run backups = RunProgram(cli, {"backups"}, env);
    QCOMPARE(backups.exitCode, 0);
    QCOMPARE(backups.out.count('\n'), 3);
    QVERIFY2(backups.out.contains(dir.path().toUtf8() + "/Rec/2009-12/"), backups.out.constData());

    const QString backup = dir.path() + "/Rec/2009-12";
    const Run query = RunProgram(cli, {"query", backup, "--language", "1"}, env);
    QCOMPARE(query.exitCode, 0);
    QVERIFY2(query.out.contains("\tIncoming (installed)\t"), query.out.left(400).constData());
    // Turkish, as the user's settings say, from the installed Turkish file.
    const Run turkish = RunProgram(cli, {"query", backup}, env);
    QCOMPARE(turkish.exitCode, 0);
    QVERIFY2(turkish.out.contains("\tGelen\t"), turkish.out.left(400).constData());

    const Run exported = RunProgram(cli, {"export", backup, "--output", dir.path() + "/calls.xlsx"}, env);
    QVERIFY2(exported.exitCode == 0, exported.err.constData());
    QVERIFY(QFileInfo::exists(dir.path() + "/calls.xlsx"));
    QCOMPARE(TestFiles::read(dir.path() + "/data/orvik/sample.xlsx"),
             TestFiles::read(prefix + "/share/orvik/sample.xlsx"));

    QCOMPARE(Snapshot(stage), installed);
}

QTEST_MAIN(InstallationTest)
#include "tst_installation.moc"

// One Orvik per user: real orvik processes started from a program folder of the test's own,
// with a runtime folder of the test's own, so that nothing outside the test is involved.
#include "GuiTestSupport.h"
#include "OrvikVersion.h"
#include "ScriptedDesktop.h"
#include "app/OrvikApp.h"
#include "app/OrvikDlg.h"
#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTableWidget>

#include <memory>

using namespace GuiTest;

namespace {

// An orvik executable installed in a folder with its own config.ini and language files.
class Installation
{
public:
    Installation(const QString &folder, int language, const QString &backupRoot) : m_folder(folder)
    {
        QDir().mkpath(folder + "/language");
        QFile::copy(QStringLiteral(ORVIK_BIN_DIR "/orvik" ORVIK_EXE), folder + "/orvik" ORVIK_EXE);
        const QDir languages(QStringLiteral(ORVIK_LANGUAGE_DIR));
        for (const QString &f : languages.entryList({"*.xml"}, QDir::Files))
            QFile::copy(languages.filePath(f), folder + "/language/" + f);
        TestFiles::write(folder + "/config.ini", "[config]\nm_language=" + QByteArray::number(language)
                                                     + "\nm_BackDir=" + backupRoot.toUtf8() + "\n");
    }
    QString Program() const { return m_folder + "/orvik" ORVIK_EXE; }

private:
    QString m_folder;
};

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_runtime;
    std::unique_ptr<Installation> m_english;
    std::unique_ptr<Installation> m_chinese;
    QList<QProcess *> m_processes;

    // Starts orvik with the test's runtime folder (and the offscreen platform).
    QProcess *Start(const Installation &installation, const QStringList &arguments = {},
                    const QString &workingDirectory = QString())
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_runtime);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(workingDirectory);
        p->start(installation.Program(), arguments);
        m_processes << p;
        return p;
    }
    QString LockPath() const { return SingleInstance(m_runtime).LockPath(); }
    QString ServerPath() const { return SingleInstance(m_runtime).ServerPath(); }

    // A first instance is up once its socket takes connections (a socket file left by a
    // killed process takes none).
    bool WaitUntilListening(QProcess *first)
    {
        if (!first->waitForStarted())
            return false;
        const QDeadlineTimer deadline(10000);
        while (first->state() == QProcess::Running && !deadline.hasExpired()) {
            QLocalSocket probe;
            probe.connectToServer(ServerPath());
            if (probe.waitForConnected(100))
                return QFileInfo::exists(LockPath());
            QTest::qWait(25);
        }
        return false;
    }

    // Runs a second start to its end: exit code and what it said.
    std::pair<int, QString> RunSecond(const Installation &installation, const QStringList &arguments = {},
                                      const QString &workingDirectory = QString())
    {
        QProcess *second = Start(installation, arguments, workingDirectory);
        // The event loop keeps running meanwhile: the first instance may be this process.
        const QDeadlineTimer deadline(15000);
        while (second->state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        if (second->state() != QProcess::NotRunning)
            return {-1, QStringLiteral("still running: it opened a window of its own")};
        const int code = second->exitStatus() == QProcess::NormalExit ? second->exitCode() : -2;
        return {code, QString::fromUtf8(second->readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFileInfo::exists(ORVIK_BIN_DIR "/orvik" ORVIK_EXE));
#ifdef _WIN32
        // No variable moves the folder there: the instances meet in the user's usual one.
        m_runtime = SingleInstance::DefaultDirectory();
#else
        m_runtime = m_dir.path() + "/runtime";
        QVERIFY(QDir().mkpath(m_runtime));
        QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
        QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec"), m_dir.path() + "/Rec"));
        m_english = std::make_unique<Installation>(m_dir.path() + "/english", 1, m_dir.path() + "/Rec");
        m_chinese = std::make_unique<Installation>(m_dir.path() + "/chinese", 0, m_dir.path() + "/Rec");
    }
    void cleanup()
    {
        for (QProcess *p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        qDeleteAll(m_processes);
        m_processes.clear();
        QFile::remove(LockPath());
        QFile::remove(ServerPath());
    }

    void secondStartHandsOverAndEnds();
    void staleLockDoesNotBlock();
    void firstWindowComesForwardAsItIs();
    void folderIsHandedToTheRunningWindow();
    void commandLineOptions();
};

void SingleInstanceTest::secondStartHandsOverAndEnds()
{
    // The first runs in Chinese, the later ones in English: captions play no part.
    QProcess *first = Start(*m_chinese);
    QVERIFY(first->waitForStarted());
    QVERIFY(WaitUntilListening(first));

    for (int i = 0; i < 2; ++i) {
        const auto [code, said] = RunSecond(*m_english);
        QCOMPARE(code, 0);
        QVERIFY2(said.contains("brought forward (shown)"), qPrintable(said));
        QCOMPARE(first->state(), QProcess::Running);
    }

    // When the first has gone, the next start is a first one again.
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QProcess *next = Start(*m_english);
    QVERIFY(WaitUntilListening(next));
    const auto [code, said] = RunSecond(*m_chinese);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("brought forward"), qPrintable(said));
}

void SingleInstanceTest::staleLockDoesNotBlock()
{
    // A first instance killed outright leaves its lock file and socket behind.
    QProcess *crashed = Start(*m_english);
    QVERIFY(WaitUntilListening(crashed));
    crashed->kill();
    QVERIFY(crashed->waitForFinished(5000));
    QVERIFY(QFileInfo::exists(LockPath()));
#ifndef _WIN32 // a local server is a named pipe there, which ends with its process
    QVERIFY(QFileInfo::exists(ServerPath()));
#endif

    // The next start takes over: it runs its window, and a later start finds it.
    QProcess *next = Start(*m_english);
    QVERIFY(WaitUntilListening(next));
    const auto [code, said] = RunSecond(*m_english);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("brought forward (shown)"), qPrintable(said));
    QCOMPARE(next->state(), QProcess::Running);

    // A lock file naming a process that no longer exists: the one left behind, its process
    // id changed by hand. The host name stays as written (on Windows the lock file holds the
    // computer's name, which need not be QSysInfo's host name).
    next->kill();
    QVERIFY(next->waitForFinished(5000));
    QFile::remove(ServerPath());
    QList<QByteArray> lockLines = TestFiles::read(LockPath()).split('\n');
    QVERIFY(lockLines.size() >= 3);
    lockLines[0] = "999999999";
    QVERIFY(TestFiles::write(LockPath(), lockLines.join('\n')));
    QProcess *again = Start(*m_english);
    QVERIFY(WaitUntilListening(again));
    QCOMPARE(again->state(), QProcess::Running);
}

void SingleInstanceTest::firstWindowComesForwardAsItIs()
{
    // This test process is the first instance; a real orvik is the second.
    SingleInstance instance(m_runtime);
    QVERIFY(instance.Acquire());
    QVERIFY(instance.IsListening());
    QDialog window;
    window.setWindowTitle("any caption at all");
    int handOvers = 0;
    instance.SetActivateHandler([&](const QString &) {
        ++handOvers;
        return COrvikApp::BringToFront(&window);
    });

    // A minimised window stays minimised.
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    auto [code, said] = RunSecond(*m_english);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("(minimised)"), qPrintable(said));
    QCOMPARE(handOvers, 1);
    QVERIFY(window.isMinimized());
    QVERIFY(window.isVisible());

    // A hidden one is shown (activation is the window system's part; the offscreen
    // platform of the tests does not activate a window shown again).
    window.hide();
    window.setWindowState(Qt::WindowNoState);
    std::tie(code, said) = RunSecond(*m_english);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("(shown)"), qPrintable(said));
    QVERIFY(window.isVisible());
    QVERIFY(!window.isMinimized());
    QCOMPARE(handOvers, 2);
}

void SingleInstanceTest::folderIsHandedToTheRunningWindow()
{
    // This test process runs the main window; real orvik processes are the second starts.
    ProgramFolder program;
    QVERIFY(program.SetUp(1));
    ScriptedDesktop desktop;
    // Started with a backup: only that one is listed, not the settings' root.
    COrvikDlg dlg(nullptr, program.Root() + "2010-01");
    QCOMPARE(dlg.List()->rowCount(), 1);
    dlg.show();
    SingleInstance instance(m_runtime);
    QVERIFY(instance.Acquire());
    instance.SetActivateHandler([&](const QString &folder) { return COrvikApp::TakeHandOver(&dlg, folder); });
    QStringList opened;
    WindowWatcher<CDlgQuery> queryWindows([&](CDlgQuery *query) {
        opened << query->BackupDir();
        query->reject();
    });

    // A folder of backups: the ones not listed yet are added.
    auto [code, said] = RunSecond(*m_english, {program.Root()});
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("has been handed to it (listed)"), qPrintable(said));
    QCOMPARE(g_backups.GetCount(), 3);
    QCOMPARE(dlg.List()->rowCount(), 3);

    // A backup, named relative to the second start's working folder: its query window opens.
    std::tie(code, said) = RunSecond(*m_english, {"2009-12"}, program.Root());
    QVERIFY2(said.contains(program.Root() + "2009-12 has been handed to it (opened)"), qPrintable(said));
    QTRY_COMPARE(opened, QStringList{program.Root() + "2009-12/"});
    QCOMPARE(g_backups.GetCount(), 3);

    // While another window of the program is open the backup is only listed.
    QDialog question(&dlg);
    question.setWindowModality(Qt::ApplicationModal);
    question.show();
    std::tie(code, said) = RunSecond(*m_english, {program.Root() + "odd-types/dbR.mdb"});
    QVERIFY2(said.contains("(busy)"), qPrintable(said));
    question.hide();
    QTest::qWait(50);
    QCOMPARE(opened.size(), 1);

    // A folder without a backup: the running window says so.
    std::tie(code, said) = RunSecond(*m_english, {program.Path("nothing here")});
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("(no backups)"), qPrintable(said));
    QTRY_COMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, "There is no backup in " + program.Path("nothing here") + ".");
    QCOMPARE(dlg.List()->rowCount(), 3);
}

void SingleInstanceTest::commandLineOptions()
{
    // --version and --help need no window system: no display here.
    QProcess orvik;
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.insert("QT_QPA_PLATFORM", "xcb");
    noDisplay.remove("DISPLAY");
    noDisplay.remove("WAYLAND_DISPLAY");
    orvik.setProcessEnvironment(noDisplay);
    orvik.start(m_english->Program(), {"--version"});
    QVERIFY(orvik.waitForFinished(10000));
    QCOMPARE(orvik.exitCode(), 0);
    QByteArray version = orvik.readAllStandardOutput();
#ifdef _WIN32
    version.replace("\r\n", "\n"); // a console program's text lines there
#endif
    QCOMPARE(version, QByteArray("orvik ") + kOrvikVersion + "\n");
    orvik.start(m_english->Program(), {"--help"});
    QVERIFY(orvik.waitForFinished(10000));
    QCOMPARE(orvik.exitCode(), 0);
    QVERIFY(orvik.readAllStandardOutput().contains("[folder]"));
    orvik.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    orvik.start(m_english->Program(), {"one", "two"});
    QVERIFY(orvik.waitForFinished(10000));
    QCOMPARE(orvik.exitCode(), 2);
    QVERIFY(orvik.readAllStandardError().contains("only one folder"));
}

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"

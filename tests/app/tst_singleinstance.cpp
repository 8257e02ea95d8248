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
#include <QStandardPaths>
#include <QTableWidget>

#include <cstring>
#include <memory>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

    // A start that must open a window of its own: it is still running once it has said
    // why, and what it said is returned (a start that ends returns "ended: " and its words).
    QString StartsOnItsOwn(QProcess *start, const char *because)
    {
        QByteArray said;
        const QDeadlineTimer deadline(15000);
        while (!said.contains(because) && start->state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QTest::qWait(50);
            said += start->readAllStandardError();
        }
        said += start->readAllStandardError();
        if (start->state() == QProcess::NotRunning)
            return "ended: " + QString::fromUtf8(said);
        QTest::qWait(300); // and it stays
        return start->state() == QProcess::Running ? QString::fromUtf8(said) : "ended: " + QString::fromUtf8(said);
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
    void anotherUserIsHandedNothing();
    void floodsDoNotWedgeTheFirst();
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

// Another user of the machine takes the names the user's Orvik uses, as far as the system
// lets it: the private folder itself when the runtime folder is the shared temporary one
// (no XDG_RUNTIME_DIR), or, where the folder is the user's own, a socket bound in it while it
// stood open. Orvik hands it nothing, neither a request nor a folder, and opens its own
// window. And a process of another user that reaches the user's server is not served.
void SingleInstanceTest::anotherUserIsHandedNothing()
{
#ifdef _WIN32
    QSKIP("needs a second user and setpriv");
#else
    if (::getuid() != 0)
        QSKIP("runs the other user with setpriv, which needs root; the test runs as another user");
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    // The system's Python, which every user may run (not one kept in root's home).
    const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin", "/bin"});
    if (setpriv.isEmpty() || python.isEmpty())
        QSKIP("needs setpriv and python3 to act as another user");
    constexpr int kOther = 65534; // nobody

    // The shared temporary folder everybody may write in, as /tmp is (the test's folder
    // above it let through).
    const QString shared = m_dir.path() + "/tmp";
    QVERIFY(QDir().mkpath(shared));
    QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0711) == 0);
    QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", shared);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // The other user takes the folder Qt falls back to without XDG_RUNTIME_DIR first (a
    // fixed name in the temporary folder, runtime-<user>), so that it cannot be used.
    const QString qtFallback = shared + "/runtime-" + QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);
    QCOMPARE(QProcess::execute(setpriv, {"--reuid=" + QString::number(kOther), "--regid=" + QString::number(kOther),
                                         "--clear-groups", "mkdir", "-m", "700", qtFallback}),
             0);
    // Where this build puts its lock and socket when started so.
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(shared));
    const SingleInstance names(SingleInstance::DefaultDirectory());
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    savedTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTmp);
    QCOMPARE(names.LockPath().left(shared.size()), shared);

    // The other user: a lock of a process elsewhere (never stale here) and a socket anyone
    // may connect to, answering every request and keeping what it was sent.
    const QString received = shared + "/received";
    const char *impostor = "import os, socket, sys\n"
                           "lock, path, received = sys.argv[1:4]\n"
                           "os.makedirs(os.path.dirname(lock), mode=0o777, exist_ok=True)\n"
                           "open(lock, 'w').write('1\\norvik\\nsomewhere-else\\n')\n"
                           "server = socket.socket(socket.AF_UNIX)\n"
                           "server.bind(path)\n"
                           "os.chmod(path, 0o777)\n"
                           "server.listen(8)\n"
                           "print('listening', flush=True)\n"
                           "while True:\n"
                           "    c, _ = server.accept()\n"
                           "    data = c.recv(65536)\n"
                           "    open(received, 'ab').write(data)\n"
                           "    c.sendall(b'shown\\n')\n";
    const auto startImpostor = [&] {
        auto *other = new QProcess(this);
        m_processes << other;
        other->start(setpriv,
                     {"--reuid=" + QString::number(kOther), "--regid=" + QString::number(kOther), "--clear-groups",
                      python, "-c", impostor, names.LockPath(), names.ServerPath(), received});
        const bool listening = other->waitForReadyRead(10000) && other->readAllStandardOutput().startsWith("listening");
        if (!listening)
            qWarning("the other user's process: %s", other->readAllStandardError().constData());
        return listening;
    };
    const auto startOrvik = [&] {
        auto *p = new QProcess(this);
        p->setProcessEnvironment(env);
        p->start(m_english->Program(), {m_dir.path() + "/Rec"});
        m_processes << p;
        return p;
    };

    // 1. The other user made the private folder's name its own.
    QVERIFY(startImpostor());
    QProcess *mine = startOrvik();
    QString said = StartsOnItsOwn(mine, "without its one-window rule");
    QVERIFY2(said.contains(QStringLiteral("%1 cannot be used: it belongs to user %2").arg(names.Folder()).arg(kOther)),
             qPrintable(said));
    QCOMPARE(TestFiles::read(received), QByteArray()); // not a byte, though it may connect
    cleanup();
    QProcess::execute("rm", {"-rf", names.Folder()});

    // 2. The folder is the user's own and private, but the other user bound a socket in it
    // while it stood open to everybody.
    QVERIFY(QDir().mkpath(names.Folder()));
    QVERIFY(::chmod(QFile::encodeName(names.Folder()).constData(), 0777) == 0);
    QVERIFY(startImpostor());
    QVERIFY(::chmod(QFile::encodeName(names.Folder()).constData(), 0700) == 0);
    mine = startOrvik();
    said = StartsOnItsOwn(mine, "starting anyway");
    QVERIFY2(said.contains("is not this user's"), qPrintable(said));
    QCOMPARE(TestFiles::read(received), QByteArray()); // not a byte, though it may connect
    cleanup();
    QProcess::execute("rm", {"-rf", names.Folder()});

    // 3. The user's Orvik runs; a process of the other user reaches its socket (the folder
    // opened to everybody by mistake) and asks it to open a folder: it is not served.
    QProcess *first = startOrvik();
    QVERIFY(first->waitForStarted());
    QDeadlineTimer listening(10000);
    while (!QFileInfo::exists(names.ServerPath()) && !listening.hasExpired())
        QTest::qWait(25);
    QVERIFY(QFileInfo::exists(names.ServerPath()));
    QVERIFY(::chmod(QFile::encodeName(names.Folder()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(names.ServerPath()).constData(), 0777) == 0);
    QProcess asking;
    asking.start(setpriv, {"--reuid=" + QString::number(kOther), "--regid=" + QString::number(kOther), "--clear-groups",
                           python, "-c",
                           "import socket, sys\n"
                           "c = socket.socket(socket.AF_UNIX)\n"
                           "c.connect(sys.argv[1])\n"
                           "c.settimeout(5)\n"
                           "try:\n"
                           "    c.sendall(b'open %2Fetc\\n')\n"
                           "    answer = c.recv(100)\n"
                           "except OSError:\n" // reset: dropped with the request unread
                           "    answer = b''\n"
                           "print(repr(answer))\n",
                           names.ServerPath()});
    QVERIFY(asking.waitForFinished(15000));
    QCOMPARE(asking.readAllStandardOutput().trimmed(), QByteArray("b''")); // dropped, unanswered
    QVERIFY(::chmod(QFile::encodeName(names.Folder()).constData(), 0700) == 0);
    // The user's own second start is still served.
    QProcess *second = startOrvik();
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(second->readAllStandardError().contains("has been handed to it"));
#endif
}

// The user's own processes flood the first one: a thousand connections that never finish
// their request, one request of 64 MB without a line end, the socket file removed, and a
// first process that does not answer at all. The first keeps answering later starts, with
// little memory; a start that gets no answer opens its own window.
void SingleInstanceTest::floodsDoNotWedgeTheFirst()
{
#ifdef _WIN32
    QSKIP("floods a Unix domain socket");
#else
    // The first with the descriptors a desktop session gives a process (1024), this test
    // with more, to hold its connections.
    rlimit files{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &files) == 0);
    const rlimit saved = files;
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 1024);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &files) == 0);
    QProcess *first = Start(*m_english);
    QVERIFY(WaitUntilListening(first));
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &files) == 0);
    const auto residentKb = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(first->processId()));
        if (!status.open(QIODevice::ReadOnly))
            return qint64(-1);
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return qint64(-1);
    };
    const QByteArray path = QFile::encodeName(ServerPath());
    const auto connectRaw = [&] {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    };

    // 1100 connections that send half a request and wait: more than the first has
    // descriptors.
    std::vector<int> halfSent;
    for (int i = 0; i < 1100; ++i) {
        const int fd = connectRaw();
        if (fd < 0) {
            QTest::qWait(5); // the backlog is full: let the first take some
            continue;
        }
        ::send(fd, "sho", 3, MSG_NOSIGNAL);
        halfSent.push_back(fd);
    }
    QVERIFY(halfSent.size() > 1014);
    auto [code, said] = RunSecond(*m_english);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("brought forward (shown)"), qPrintable(said));
    for (const int fd : halfSent)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);

    // 64 MB without a line end: dropped after the longest request, not kept.
    const qint64 before = residentKb();
    const int flood = connectRaw();
    QVERIFY(flood >= 0);
    ::fcntl(flood, F_SETFL, ::fcntl(flood, F_GETFL) & ~O_NONBLOCK);
    const QByteArray block(1 << 20, 'x');
    qint64 sent = 0;
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::send(flood, block.constData(), size_t(block.size()), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::close(flood);
    QVERIFY2(sent < (16 << 20), qPrintable(QString::number(sent)));
    std::tie(code, said) = RunSecond(*m_english);
    QVERIFY2(said.contains("brought forward (shown)"), qPrintable(said));
    QVERIFY2(residentKb() - before < 16 * 1024,
             qPrintable(QStringLiteral("%1 KB, then %2 KB").arg(before).arg(residentKb())));

    // The socket file removed: the first listens again.
    QVERIFY(QFile::remove(ServerPath()));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ServerPath()), 5000);
    std::tie(code, said) = RunSecond(*m_english);
    QCOMPARE(code, 0);
    QVERIFY2(said.contains("brought forward (shown)"), qPrintable(said));

    // A first process that answers nothing (stopped): the next start opens its own window.
    ::kill(pid_t(first->processId()), SIGSTOP);
    const QString alone = StartsOnItsOwn(Start(*m_english), "starting anyway");
    ::kill(pid_t(first->processId()), SIGCONT);
    QVERIFY2(alone.contains("did not answer"), qPrintable(alone));
#endif
}

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"

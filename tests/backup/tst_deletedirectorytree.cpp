#include "backup/DeleteDirectoryTree.h"

#include "common/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Makes a folder read-only the way a copy from a CD or a read-only share leaves it.
bool makeFolderReadOnly(const QString &path)
{
#ifdef _WIN32
    return SetFileAttributesW(QDir::toNativeSeparators(path).toStdWString().c_str(), FILE_ATTRIBUTE_READONLY);
#else
    return ::chmod(QFile::encodeName(path).constData(), 0555) == 0;
#endif
}

#ifndef _WIN32
// A backup folder at `root`: a file at its top and one in its folder "a", which a refused
// deletion must leave (the tests of mounts, which Windows has not).
bool writeSmallBackup(const QString &root)
{
    return TestFiles::write(root + "/config.ini", "[base]") && TestFiles::write(root + "/a/first", "1");
}
#endif

#ifdef _WIN32
// A junction at `link` (a new folder) to the folder `target`: the folder link Windows makes
// without any privilege. The reparse data holds the target's NT path, then an empty
// display name, each ending in a NUL.
bool makeJunction(const QString &target, const QString &link)
{
    const std::wstring linkPath = QDir::toNativeSeparators(link).toStdWString();
    if (!CreateDirectoryW(linkPath.c_str(), nullptr))
        return false;
    const std::wstring substitute = L"\\??\\" + QDir::toNativeSeparators(target).toStdWString();
    const WORD nameBytes = WORD(substitute.size() * sizeof(wchar_t));
    const WORD fields[] = {0, nameBytes, WORD(nameBytes + sizeof(wchar_t)), 0}; // offsets, lengths
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD dataLength = WORD(sizeof fields + nameBytes + 2 * sizeof(wchar_t));
    std::vector<char> data(8 + dataLength, '\0');
    std::memcpy(data.data(), &tag, 4);
    std::memcpy(data.data() + 4, &dataLength, 2);
    std::memcpy(data.data() + 8, fields, sizeof fields);
    std::memcpy(data.data() + 8 + sizeof fields, substitute.c_str(), nameBytes);
    const HANDLE h = CreateFileW(linkPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD returned = 0;
    const bool made =
        h != INVALID_HANDLE_VALUE
        && DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, data.data(), DWORD(data.size()), nullptr, 0, &returned, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!made)
        RemoveDirectoryW(linkPath.c_str());
    return made;
}
#endif

// A link at `link` to `target` that the file system itself follows. On Windows: a junction
// for a folder, a symbolic link for a file (which needs the developer mode or an
// administrator); false when the system makes none (Wine 8 makes neither).
bool makeLink(const QString &target, const QString &link)
{
#ifdef _WIN32
    if (QFileInfo(target).isDir())
        return makeJunction(target, link);
    const std::wstring linkPath = QDir::toNativeSeparators(link).toStdWString();
    CreateSymbolicLinkW(linkPath.c_str(), QDir::toNativeSeparators(target).toStdWString().c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    // Wine reports success without making anything: what is there tells.
    const DWORD attributes = GetFileAttributesW(linkPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    return QFile::link(target, link);
#endif
}

} // namespace

constexpr char kNoLinks[] = "this system makes no links (Wine has neither junctions nor symbolic links)";

// Makes the link `link` to `target`, or skips the test where the system makes none.
#define MAKE_LINK_OR_SKIP(target, link) \
    do { \
        if (!makeLink(target, link)) \
            QSKIP(kNoLinks); \
    } while (false)

class TestDeleteDirectoryTree : public QObject
{
    Q_OBJECT

private slots:
    void deletesNestedTreeWithReadOnlyParts();
    void linksAreRemovedNotFollowed();
    void pathThatIsALinkRemovesOnlyTheLink();
    void refusesWhatIsNotADirectory();
    void refusesPathsThroughALink();
    void folderSwappedForALinkWhileDeletingLeavesOutsideAlone();
    void refusesTreeReachingIntoAnotherFileSystem();
    void refusesTreeHoldingABindMount();
    void refusesTreeHoldingABindMountedFile();
};

void TestDeleteDirectoryTree::deletesNestedTreeWithReadOnlyParts()
{
    QTemporaryDir tmp;
    const QString root = tmp.filePath("backup");
    QVERIFY(TestFiles::write(root + "/config.ini", "[base]"));
    QVERIFY(TestFiles::write(root + "/voice/a.wav", "RIFF"));
    QVERIFY(TestFiles::write(root + "/voice/.hidden", ""));
    QVERIFY(TestFiles::write(root + "/deep/er/still/file", "x"));
    QVERIFY(QFile::setPermissions(root + "/config.ini", QFile::ReadOwner));
    QVERIFY(makeFolderReadOnly(root + "/voice"));

    QVERIFY(DeleteDirectoryTree(root + "/")); // with the trailing separator the catalogue uses
    QVERIFY(!QFileInfo::exists(root));
    QVERIFY(QFileInfo::exists(tmp.path()));
}

void TestDeleteDirectoryTree::linksAreRemovedNotFollowed()
{
    QTemporaryDir tmp;
    const QString outside = tmp.filePath("outside");
    QVERIFY(TestFiles::write(outside + "/precious.wav", "keep me"));
    QVERIFY(TestFiles::write(outside + "/sub/more", "and me"));
    const QString root = tmp.filePath("backup");
    QVERIFY(TestFiles::write(root + "/voice/a.wav", "RIFF"));
    MAKE_LINK_OR_SKIP(outside, root + "/voice/link-to-folder");
    MAKE_LINK_OR_SKIP(outside + "/precious.wav", root + "/link-to-file");
    MAKE_LINK_OR_SKIP(tmp.filePath("nowhere"), root + "/dangling");

    QVERIFY(DeleteDirectoryTree(root));
    QVERIFY(!QFileInfo::exists(root));
    QCOMPARE(TestFiles::read(outside + "/precious.wav"), QByteArray("keep me"));
    QCOMPARE(TestFiles::read(outside + "/sub/more"), QByteArray("and me"));
}

void TestDeleteDirectoryTree::pathThatIsALinkRemovesOnlyTheLink()
{
    QTemporaryDir tmp;
    const QString target = tmp.filePath("real");
    QVERIFY(TestFiles::write(target + "/dbR.mdb", "data"));
    MAKE_LINK_OR_SKIP(target, tmp.filePath("alias"));
    QVERIFY(DeleteDirectoryTree(tmp.filePath("alias") + "/"));
    QVERIFY(!QFileInfo::exists(tmp.filePath("alias")));
    QCOMPARE(TestFiles::read(target + "/dbR.mdb"), QByteArray("data"));
}

void TestDeleteDirectoryTree::refusesWhatIsNotADirectory()
{
    QTemporaryDir tmp;
    QVERIFY(TestFiles::write(tmp.filePath("file"), "x"));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("file")));
    QVERIFY(QFileInfo::exists(tmp.filePath("file")));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("missing")));
    QVERIFY(!DeleteDirectoryTree(QString()));
    // A last name of "." or ".." is refused, not resolved to the folder it stands for.
    QVERIFY(TestFiles::write(tmp.filePath("sub/kept"), "x"));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("sub/.")));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("sub/x/..")));
    QVERIFY(QFileInfo::exists(tmp.filePath("sub/kept")));
}

void TestDeleteDirectoryTree::refusesPathsThroughALink()
{
    QTemporaryDir tmp;
    const QString target = tmp.filePath("real");
    QVERIFY(TestFiles::write(target + "/sub/dbR.mdb", "data"));
    MAKE_LINK_OR_SKIP(target, tmp.filePath("alias"));

    QVERIFY(!DeleteDirectoryTree(tmp.filePath("alias") + "/."));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("alias") + "/sub/"));
    QVERIFY(!DeleteDirectoryTree(target + "/sub/.."));
    QCOMPARE(TestFiles::read(target + "/sub/dbR.mdb"), QByteArray("data"));
    QCOMPARE(TestFiles::read(tmp.filePath("alias") + "/sub/dbR.mdb"), QByteArray("data"));
}

void TestDeleteDirectoryTree::folderSwappedForALinkWhileDeletingLeavesOutsideAlone()
{
    // Another process exchanges a folder of the backup with a link to an outside folder, over
    // and over, while the backup is deleted: whatever the timing, nothing outside may go.
#ifdef _WIN32
    QSKIP("exchanging two names in one step is Linux's renameat2");
#else
    QTemporaryDir tmp;
    const QString outside = tmp.filePath("outside");
    const int files = 40;
    for (int i = 0; i < files; ++i)
        QVERIFY(TestFiles::write(outside + QStringLiteral("/keep%1.wav").arg(i), "keep me"));
    for (int round = 0; round < 100; ++round) {
        const QString root = tmp.filePath(QStringLiteral("backup%1").arg(round));
        for (int i = 0; i < files; ++i)
            QVERIFY(TestFiles::write(root + QStringLiteral("/voice/keep%1.wav").arg(i), "RIFF"));
        QVERIFY(QFile::link(outside, root + "/swap"));
        const QByteArray folder = QFile::encodeName(root + "/voice");
        const QByteArray link = QFile::encodeName(root + "/swap");
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            while (!stop)
                ::renameat2(AT_FDCWD, folder.constData(), AT_FDCWD, link.constData(), RENAME_EXCHANGE);
        });
        DeleteDirectoryTree(root); // refused or done, both are fine
        stop = true;
        swapper.join();
        QCOMPARE(QDir(outside).entryList(QDir::Files).size(), files);
    }
#endif
}

void TestDeleteDirectoryTree::refusesTreeReachingIntoAnotherFileSystem()
{
#ifdef _WIN32
    QSKIP("Windows mounts volumes as reparse points, removed as links");
#else
    QTemporaryDir tmp;
    const QString root = tmp.filePath("backup");
    QVERIFY(writeSmallBackup(root));
    const QString mountPoint = root + "/z/mounted";
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"-t", "tmpfs", "orvik-test", mountPoint}) != 0)
        QSKIP("cannot mount a tmpfs here (needs root)");
    QVERIFY(TestFiles::write(mountPoint + "/on-other-fs", "keep"));
    // A read-only backup keeps its permissions when it is refused.
    QVERIFY(::chmod(QFile::encodeName(root).constData(), 0500) == 0);

    const bool deleted = DeleteDirectoryTree(root);
    const QByteArray survivor = TestFiles::read(mountPoint + "/on-other-fs");
    const bool firstKept = QFileInfo::exists(root + "/a/first");
    struct stat st
    {};
    QVERIFY(::stat(QFile::encodeName(root).constData(), &st) == 0);
    QProcess::execute("umount", {mountPoint});

    QVERIFY(!deleted);
    QCOMPARE(survivor, QByteArray("keep"));
    // The mount point is found before anything is changed.
    QVERIFY(firstKept);
    QCOMPARE(st.st_mode & 0777, 0500u);
#endif
}

void TestDeleteDirectoryTree::refusesTreeHoldingABindMount()
{
#ifdef _WIN32
    QSKIP("Windows mounts volumes as reparse points, removed as links");
#else
    // A bind mount of a folder from the same file system has the same device number as
    // the tree around it; only the mount itself tells it apart.
    QTemporaryDir tmp;
    const QString outside = tmp.filePath("outside");
    QVERIFY(TestFiles::write(outside + "/precious.wav", "keep me"));
    const QString root = tmp.filePath("backup");
    QVERIFY(writeSmallBackup(root));
    const QString mountPoint = root + "/voice";
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"--bind", outside, mountPoint}) != 0)
        QSKIP("cannot bind-mount here (needs root)");

    const bool deleted = DeleteDirectoryTree(root);
    const bool firstKept = QFileInfo::exists(root + "/a/first");
    QProcess::execute("umount", {mountPoint});

    QVERIFY(!deleted);
    QCOMPARE(TestFiles::read(outside + "/precious.wav"), QByteArray("keep me"));
    QVERIFY(firstKept);
#endif
}

void TestDeleteDirectoryTree::refusesTreeHoldingABindMountedFile()
{
#ifdef _WIN32
    QSKIP("Windows mounts volumes as reparse points, removed as links");
#else
    // A file mounted over a name in the tree cannot be unlinked; the tree is refused before
    // anything is deleted rather than half deleted, whatever the listing order.
    QTemporaryDir tmp;
    QVERIFY(TestFiles::write(tmp.filePath("outside.wav"), "keep me"));
    const QString root = tmp.filePath("backup");
    const QString mounted = root + "/voice/mounted.wav";
    QVERIFY(TestFiles::write(mounted, ""));
    for (int i = 0; i < 16; ++i)
        QVERIFY(TestFiles::write(root + QStringLiteral("/voice/call%1.wav").arg(i), "RIFF"));
    if (QProcess::execute("mount", {"--bind", tmp.filePath("outside.wav"), mounted}) != 0)
        QSKIP("cannot bind-mount here (needs root)");

    const bool deleted = DeleteDirectoryTree(root);
    const int left = QDir(root + "/voice").entryList(QDir::Files).size();
    QProcess::execute("umount", {mounted});

    QVERIFY(!deleted);
    QCOMPARE(TestFiles::read(tmp.filePath("outside.wav")), QByteArray("keep me"));
    QCOMPARE(left, 17);
#endif
}

QTEST_GUILESS_MAIN(TestDeleteDirectoryTree)
#include "tst_deletedirectorytree.moc"

#include "backup/DeleteDirectoryTree.h"

#include "common/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // A read-only directory, as a copy from a CD or a read-only share leaves it.
    QVERIFY(::chmod(QFile::encodeName(root + "/voice").constData(), 0555) == 0);

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
    QVERIFY(QFile::link(outside, root + "/voice/link-to-folder"));
    QVERIFY(QFile::link(outside + "/precious.wav", root + "/link-to-file"));
    QVERIFY(QFile::link(tmp.filePath("nowhere"), root + "/dangling"));

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
    QVERIFY(QFile::link(target, tmp.filePath("alias")));
    QVERIFY(DeleteDirectoryTree(tmp.filePath("alias") + "/"));
    QVERIFY(!QFileInfo(tmp.filePath("alias")).isSymLink());
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
}

void TestDeleteDirectoryTree::refusesPathsThroughALink()
{
    QTemporaryDir tmp;
    const QString target = tmp.filePath("real");
    QVERIFY(TestFiles::write(target + "/sub/dbR.mdb", "data"));
    QVERIFY(QFile::link(target, tmp.filePath("alias")));

    QVERIFY(!DeleteDirectoryTree(tmp.filePath("alias") + "/."));
    QVERIFY(!DeleteDirectoryTree(tmp.filePath("alias") + "/sub/"));
    QVERIFY(!DeleteDirectoryTree(target + "/sub/.."));
    QCOMPARE(TestFiles::read(target + "/sub/dbR.mdb"), QByteArray("data"));
    QVERIFY(QFileInfo(tmp.filePath("alias")).isSymLink());
}

void TestDeleteDirectoryTree::folderSwappedForALinkWhileDeletingLeavesOutsideAlone()
{
    // Another process exchanges a folder of the backup with a link to an outside folder, over
    // and over, while the backup is deleted: whatever the timing, nothing outside may go.
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
}

void TestDeleteDirectoryTree::refusesTreeReachingIntoAnotherFileSystem()
{
    QTemporaryDir tmp;
    const QString root = tmp.filePath("backup");
    QVERIFY(TestFiles::write(root + "/config.ini", "[base]"));
    QVERIFY(TestFiles::write(root + "/a/first", "1"));
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
}

void TestDeleteDirectoryTree::refusesTreeHoldingABindMount()
{
    // A bind mount of a folder from the same file system has the same device number as
    // the tree around it; only the mount itself tells it apart.
    QTemporaryDir tmp;
    const QString outside = tmp.filePath("outside");
    QVERIFY(TestFiles::write(outside + "/precious.wav", "keep me"));
    const QString root = tmp.filePath("backup");
    QVERIFY(TestFiles::write(root + "/config.ini", "[base]"));
    QVERIFY(TestFiles::write(root + "/a/first", "1"));
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
}

void TestDeleteDirectoryTree::refusesTreeHoldingABindMountedFile()
{
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
}

QTEST_GUILESS_MAIN(TestDeleteDirectoryTree)
#include "tst_deletedirectorytree.moc"

// The rollback journal: a delete interrupted after any number of its page writes is undone
// byte for byte by recovery; a journal that never became complete is discarded without
// touching the database; a leftover journal blocks further changes; recovery needs a
// writable file and restores the file length.

#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/Journal.h"
#include "db/jet/PageBatch.h"
#include "db/jet/RowDeleter.h"

#include "JetDeleteSupport.h"

#include <QRandomGenerator>
#include <QtTest>

using jet::Journal;
using jet::PageBatch;
using jet::RowId;

class TestJetJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pathIsBesideTheDatabase();
    void crashThenRecoverRestoresEveryByte_data();
    void crashThenRecoverRestoresEveryByte();
    void completeJournalIsRolledBack();
    void incompleteJournalIsDiscarded_data();
    void incompleteJournalIsDiscarded();
    void leftoverJournalBlocksDeletes();
    void readOnlyFileCannotRollBack();
    void journalOfAnotherDatabaseIsNotApplied();
    void tornPageIsRolledBack();
    void crashUnderAnotherNameIsRolledBack();

private:
    // Opens `path`, deletes m_rows and "dies" after `pageWrites` page writes, leaving the
    // journal and a half-written file behind.
    static void crashingDelete(const QString &path, const std::vector<RowId> &rows, int pageWrites);
    // Opens `path` in `mode` and expects recovery to refuse with a message containing
    // `why`, leaving the database as `before` and the journal as `journal`.
    static void expectRecoveryRefused(const QString &path, jet::PageFile::OpenMode mode, const QString &why,
                                      const QByteArray &before, const QByteArray &journal);

    // 300 rows of the 3000-row backup chosen at random: one transaction over most of its
    // data pages and many index pages.
    std::vector<RowId> m_rows;
    int m_pagesWritten = 0;
};

namespace {

// A journal for pages 3 and 10 of `file` whose saved "originals" are filler bytes, so that
// applying it visibly changes the file; the bytes it says were written are the file's own,
// as after a transaction that wrote them.
std::vector<PageBatch::Change> fillerChanges(int pageSize, const QByteArray &file)
{
    std::vector<PageBatch::Change> changes;
    for (const std::uint32_t page : {3u, 10u})
        changes.push_back(
            PageBatch::Change{page, QByteArray(pageSize, char(0xAB)), file.mid(page * pageSize, pageSize)});
    return changes;
}

} // namespace

void TestJetJournal::crashingDelete(const QString &path, const std::vector<RowId> &rows, int pageWrites)
{
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    const auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    deleter.setCrashAfterPageWrites(pageWrites);
    QVERIFY(!deleter.deleteRows(rows, &error));
    QVERIFY2(error.contains(QLatin1String("simulated crash")), qPrintable(error));
}

void TestJetJournal::expectRecoveryRefused(const QString &path, jet::PageFile::OpenMode mode, const QString &why,
                                           const QByteArray &before, const QByteArray &journal)
{
    jet::PageFile file;
    QString error;
    QVERIFY2(file.open(path, mode, &error), qPrintable(error));
    QVERIFY(!Journal::recover(file, &error));
    QVERIFY2(error.contains(why), qPrintable(error));
    QCOMPARE(TestFiles::read(path), before);
    QCOMPARE(TestFiles::read(Journal::pathFor(path)), journal);
}

void TestJetJournal::initTestCase()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    const auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    std::vector<RowId> all = JetDelete::liveRows(db.file(), *def);
    QRandomGenerator rng(7);
    std::shuffle(all.begin(), all.end(), rng);
    m_rows.assign(all.begin(), all.begin() + 300);
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY2(deleter.deleteRows(m_rows, &error), qPrintable(error));
    m_pagesWritten = deleter.stats().pagesWritten;
    QVERIFY(m_pagesWritten > 20);
}

void TestJetJournal::pathIsBesideTheDatabase()
{
    QCOMPARE(Journal::pathFor(QStringLiteral("/backups/Rec/2009-12/dbR.mdb")),
             QStringLiteral("/backups/Rec/2009-12/dbR.mdb-journal"));
}

void TestJetJournal::crashThenRecoverRestoresEveryByte_data()
{
    QTest::addColumn<int>("writes");
    const int n = m_pagesWritten;
    QTest::newRow("before the first page") << 0;
    QTest::newRow("after one page") << 1;
    QTest::newRow("after two pages") << 2;
    QTest::newRow("half way") << n / 2;
    QTest::newRow("one page short") << n - 1;
    QTest::newRow("every page, not yet flushed") << n;
}

void TestJetJournal::crashThenRecoverRestoresEveryByte()
{
    QFETCH(int, writes);
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    const QByteArray before = TestFiles::read(path);
    QString error;
    crashingDelete(path, m_rows, writes);
    if (QTest::currentTestFailed())
        return;
    // The process "died" here: the journal is left, and the file is half written.
    QVERIFY(Journal::exists(path));
    if (writes > 0)
        QVERIFY(TestFiles::read(path) != before);

    jet::Database db;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(db.file(), &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QCOMPARE(TestFiles::read(path), before);
    QVERIFY2(Journal::recover(db.file(), &error), qPrintable(error)); // nothing left to do

    // The restored file takes the same delete.
    QVERIFY2(db.reload(&error), qPrintable(error));
    auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY2(deleter.deleteRows(m_rows, &error), qPrintable(error));
    def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    QCOMPARE(def->rowCount(), 2700u);
    const QStringList problems = jet::Checker::checkTable(db.file(), *def);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
}

void TestJetJournal::completeJournalIsRolledBack()
{
    // A complete journal is applied: its saved pages replace the file's, and a file that
    // grew during the transaction gets its old length back.
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    QByteArray before = TestFiles::read(path);
    const int ps = 4096;
    QVERIFY(TestFiles::write(Journal::pathFor(path),
                             Journal::build(ps, std::uint64_t(before.size()), fillerChanges(ps, before))));
    QVERIFY(TestFiles::write(path, before + QByteArray(ps, 'x')));

    jet::PageFile file;
    QString error;
    QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(file, &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QCOMPARE(file.pageCount(), std::uint32_t(before.size() / ps));
    before.replace(3 * ps, ps, QByteArray(ps, char(0xAB)));
    before.replace(10 * ps, ps, QByteArray(ps, char(0xAB)));
    QCOMPARE(TestFiles::read(path), before);
}

void TestJetJournal::incompleteJournalIsDiscarded_data()
{
    QTest::addColumn<int>("cut");      // bytes kept, -1 = all
    QTest::addColumn<int>("flip");     // byte to invert, -1 = none
    QTest::addColumn<int>("pageSize"); // page size written into the journal
    const int full = 24 + 2 * (4 + 2 * 4096) + 32;
    QTest::newRow("empty") << 0 << -1 << 4096;
    QTest::newRow("cut inside the header") << 10 << -1 << 4096;
    QTest::newRow("cut inside a page") << 24 + 4 + 100 << -1 << 4096;
    QTest::newRow("checksum missing") << full - 32 << -1 << 4096;
    QTest::newRow("checksum one byte short") << full - 1 << -1 << 4096;
    QTest::newRow("a page byte changed") << -1 << 24 + 4 + 17 << 4096;
    QTest::newRow("magic changed") << -1 << 0 << 4096;
    QTest::newRow("another page size") << -1 << -1 << 2048;
}

void TestJetJournal::incompleteJournalIsDiscarded()
{
    QFETCH(int, cut);
    QFETCH(int, flip);
    QFETCH(int, pageSize);
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    QByteArray journal = Journal::build(pageSize, std::uint64_t(before.size()), fillerChanges(pageSize, before));
    if (cut >= 0)
        journal.truncate(cut);
    if (flip >= 0)
        journal[flip] = char(~std::uint8_t(journal[flip]));
    QVERIFY(TestFiles::write(Journal::pathFor(path), journal));

    jet::PageFile file;
    QString error;
    QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(file, &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QCOMPARE(TestFiles::read(path), before);
}

void TestJetJournal::leftoverJournalBlocksDeletes()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    const QByteArray journal = Journal::build(4096, std::uint64_t(before.size()), fillerChanges(4096, before));
    QVERIFY(TestFiles::write(Journal::pathFor(path), journal));

    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    const auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY(!deleter.deleteRows({RowId{29, 0}}, &error));
    QVERIFY2(error.contains(QLatin1String("interrupted")), qPrintable(error));
    QCOMPARE(TestFiles::read(path), before);
    QCOMPARE(TestFiles::read(Journal::pathFor(path)), journal);
}

void TestJetJournal::readOnlyFileCannotRollBack()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    const QByteArray journal = Journal::build(4096, std::uint64_t(before.size()), fillerChanges(4096, before));
    QVERIFY(TestFiles::write(Journal::pathFor(path), journal));

    expectRecoveryRefused(path, jet::PageFile::OpenMode::ReadOnly, QStringLiteral("opened for writing"), before,
                          journal);
}

// The journal a crashed delete left beside one database, found beside another one of the
// same page size (the file was replaced by another backup under the same name): its pages
// belong to the other file, so nothing may be written, and the journal stays.
void TestJetJournal::journalOfAnotherDatabaseIsNotApplied()
{
    QTemporaryDir crashed;
    const QString crashedPath = JetDelete::copyFixture(crashed, JetTest::multipage());
    crashingDelete(crashedPath, m_rows, 1);
    if (QTest::currentTestFailed())
        return;
    const QByteArray journal = TestFiles::read(Journal::pathFor(crashedPath));
    QVERIFY(!journal.isEmpty());

    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    QVERIFY(TestFiles::write(Journal::pathFor(path), journal));

    expectRecoveryRefused(path, jet::PageFile::OpenMode::ReadWrite, QStringLiteral("does not belong"), before, journal);
}

// A crash in the middle of a page write can leave the page part new, part old (the disk
// writes sectors, not pages); such a page still belongs to the journal and is restored.
void TestJetJournal::tornPageIsRolledBack()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    const QByteArray before = TestFiles::read(path);
    QString error;
    crashingDelete(path, m_rows, m_pagesWritten);
    if (QTest::currentTestFailed())
        return;
    // Every page was written; give the pages back their old second halves, sector by
    // sector where they differ, as a torn write would leave them.
    QByteArray torn = TestFiles::read(path);
    const int ps = 4096;
    int tornPages = 0;
    for (qsizetype at = 0; at < torn.size(); at += ps) {
        if (torn.mid(at, ps) == before.mid(at, ps))
            continue;
        torn.replace(at + ps / 2, ps / 2, before.mid(at + ps / 2, ps / 2));
        ++tornPages;
    }
    QVERIFY(tornPages > 0);
    QVERIFY(torn != before);
    QVERIFY(TestFiles::write(path, torn));

    jet::PageFile file;
    QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(file, &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QCOMPARE(TestFiles::read(path), before);
}

// A database reached through a symbolic link (to the file, or to a folder above it) is the
// same file under another name: a delete that crashed under one name must be rolled back
// when the database is next opened under the other, not left half written.
void TestJetJournal::crashUnderAnotherNameIsRolledBack()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    const QString link = dir.filePath(QStringLiteral("link.mdb"));
#ifdef _WIN32
    QSKIP("QFile::link makes a shortcut on Windows, not a link the file system follows");
#endif
    QVERIFY(QFile::link(path, link));
    const QByteArray before = TestFiles::read(path);
    QString error;
    crashingDelete(link, m_rows, m_pagesWritten / 2);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(TestFiles::read(path) != before);
    QVERIFY(Journal::exists(link));
    QVERIFY(Journal::exists(path));

    jet::PageFile file;
    QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(file, &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QVERIFY(!Journal::exists(link));
    QCOMPARE(TestFiles::read(path), before);
}

QTEST_GUILESS_MAIN(TestJetJournal)
#include "tst_jetjournal.moc"

// The rollback journal: a delete interrupted after any number of its page writes is undone
// byte for byte by recovery; a journal that never became complete is discarded without
// touching the database; a leftover journal blocks further changes; recovery needs a
// writable file and restores the file length.

#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/Journal.h"
#include "db/jet/PageBatch.h"
#include "db/jet/RowDeleter.h"
#include "platform/RandomAccessFile.h"

#include "JetDeleteSupport.h"
#include "common/TestFiles.h"

#include <QRandomGenerator>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
    void damagedJournalIsLeftAlone_data();
    void damagedJournalIsLeftAlone();
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

// The "record" table of `db` opened for writing at `path`; none, with `error` saying why,
// when the database does not open or the table cannot be read.
std::optional<jet::TableDef> recordTable(jet::Database &db, const QString &path, QString *error)
{
    if (!db.open(path, jet::PageFile::OpenMode::ReadWrite, error))
        return std::nullopt;
    return db.table(QStringLiteral("record"), error);
}

// A copy of the December backup's database (`before`: its bytes) and beside it a complete
// journal of filler pages (fillerChanges), `written` when that worked.
struct CopyWithJournal
{
    QTemporaryDir dir;
    QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    QByteArray before = TestFiles::read(path);
    QByteArray journal = Journal::build(4096, std::uint64_t(before.size()), fillerChanges(4096, before));
    bool written = TestFiles::write(Journal::pathFor(path), journal);
};

// Opens `path` for writing into `file` and expects recovery to apply the journal and remove
// it, leaving the database as `expected`.
void expectRecovered(jet::PageFile &file, const QString &path, const QByteArray &expected)
{
    QString error;
    QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    QVERIFY2(Journal::recover(file, &error), qPrintable(error));
    QVERIFY(!Journal::exists(path));
    QCOMPARE(TestFiles::read(path), expected);
}

} // namespace

void TestJetJournal::crashingDelete(const QString &path, const std::vector<RowId> &rows, int pageWrites)
{
    jet::Database db;
    QString error;
    const auto def = recordTable(db, path, &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    // The journal is written in one write, then the pages one write each: the process
    // "dies" after `pageWrites` of them, and nothing after reaches the disk (neither the
    // rollback nor the journal's removal).
    RandomAccessFile::crashAfterWrites(1 + pageWrites);
    const bool deleted = deleter.deleteRows(rows, &error);
    RandomAccessFile::crashAfterWrites(-1);
    QVERIFY(!deleted);
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
    const auto def = recordTable(db, path, &error);
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
    const QByteArray before = TestFiles::read(path);
    const int ps = 4096;
    QVERIFY(TestFiles::write(Journal::pathFor(path),
                             Journal::build(ps, std::uint64_t(before.size()), fillerChanges(ps, before))));
    QVERIFY(TestFiles::write(path, before + QByteArray(ps, 'x')));

    QByteArray expected = before;
    expected.replace(3 * ps, ps, QByteArray(ps, char(0xAB)));
    expected.replace(10 * ps, ps, QByteArray(ps, char(0xAB)));
    jet::PageFile file;
    expectRecovered(file, path, expected);
    QCOMPARE(file.pageCount(), std::uint32_t(before.size() / ps));
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
    expectRecovered(file, path, before);
}

void TestJetJournal::leftoverJournalBlocksDeletes()
{
    const CopyWithJournal copy;
    QVERIFY(copy.written);

    jet::Database db;
    QString error;
    const auto def = recordTable(db, copy.path, &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY(!deleter.deleteRows({RowId{29, 0}}, &error));
    QVERIFY2(error.contains(QLatin1String("interrupted")), qPrintable(error));
    QCOMPARE(TestFiles::read(copy.path), copy.before);
    QCOMPARE(TestFiles::read(Journal::pathFor(copy.path)), copy.journal);
}

void TestJetJournal::readOnlyFileCannotRollBack()
{
    const CopyWithJournal copy;
    QVERIFY(copy.written);
    expectRecoveryRefused(copy.path, jet::PageFile::OpenMode::ReadOnly, QStringLiteral("opened for writing"),
                          copy.before, copy.journal);
}

// The journal a crashed delete left beside one database, found beside another one of the
// same page size (the file was replaced by another backup under the same name): its pages
// belong to the other file, so nothing may be written, and the journal stays. One of a
// larger database claims more pages than this one has, and is left alone as damaged; one
// within its length fails the open, as its pages hold neither their saved nor their
// written bytes.
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
    {
        jet::PageFile file;
        QString error;
        QString leftAlone;
        QVERIFY2(file.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
        QVERIFY2(Journal::recover(file, &error, &leftAlone), qPrintable(error));
        QVERIFY2(leftAlone.contains(QLatin1String("is damaged: it claims")), qPrintable(leftAlone));
        QCOMPARE(TestFiles::read(path), before);
        QCOMPARE(TestFiles::read(Journal::pathFor(path)), journal);
    }

    const int ps = 4096;
    std::vector<PageBatch::Change> foreign = fillerChanges(ps, before);
    for (PageBatch::Change &change : foreign)
        change.current = QByteArray(ps, char(0xCD));
    const QByteArray within = Journal::build(ps, std::uint64_t(before.size()), foreign);
    QVERIFY(TestFiles::write(Journal::pathFor(path), within));
    expectRecoveryRefused(path, jet::PageFile::OpenMode::ReadWrite, QStringLiteral("does not belong"), before, within);
}

void TestJetJournal::damagedJournalIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("why"); // part of the note that names it
    QTest::newRow("a named pipe") << "fifo"
                                  << "is not a regular file (a named pipe)";
    QTest::newRow("a link to /dev/zero") << "zero"
                                         << "is not a regular file (a character device)";
    QTest::newRow("a sparse 6 GB journal") << "huge"
                                           << "claims 800000 saved pages";
    QTest::newRow("a saved length of 2^32 pages") << "length"
                                                  << "claims 2 saved pages of a database of 4294967296 pages";
    QTest::newRow("page 0 saved") << "header"
                                  << "saves page 0";
    QTest::newRow("a page saved twice") << "twice"
                                        << "saves page 3 out of order";
}

// Something under the journal's name that no transaction of this database wrote: it is
// never applied, never removed, and read no further than its header says and the
// database's length allows; the database is read as it is, the thing named, and deletes
// refused while it lies there.
void TestJetJournal::damagedJournalIsLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);
#ifdef _WIN32
    if (kind == QLatin1String("fifo") || kind == QLatin1String("zero"))
        QSKIP("no named pipes or devices in the file system here");
#endif
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QString journalPath = Journal::pathFor(path);
    const QByteArray before = TestFiles::read(path);
    const int ps = 4096;
    const auto page = [&](std::uint32_t number) { return before.mid(qsizetype(number) * ps, ps); };
    const auto saving = [&](std::initializer_list<std::uint32_t> pages) {
        std::vector<PageBatch::Change> changes;
        for (const std::uint32_t number : pages)
            changes.push_back(PageBatch::Change{number, QByteArray(ps, char(0xAB)), page(number)});
        return changes;
    };
    if (kind == QLatin1String("fifo")) {
#ifndef _WIN32
        QVERIFY(::mkfifo(QFile::encodeName(journalPath).constData(), 0600) == 0);
#endif
    } else if (kind == QLatin1String("zero")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), journalPath));
    } else if (kind == QLatin1String("huge")) {
        // A complete journal by its length, which takes no room on the disk.
        QByteArray header = Journal::build(ps, std::uint64_t(before.size()), {}).left(24);
        header[20] = char(0x00), header[21] = char(0x35), header[22] = char(0x0C); // 800000
        QFile huge(journalPath);
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(header) == 24);
        QVERIFY(huge.resize(24 + qint64(800000) * (4 + 2 * ps) + 32));
    } else if (kind == QLatin1String("length")) {
        QVERIFY(TestFiles::write(journalPath, Journal::build(ps, (std::uint64_t(1) << 32) * ps, saving({3, 10}))));
    } else if (kind == QLatin1String("header")) {
        QVERIFY(TestFiles::write(journalPath, Journal::build(ps, std::uint64_t(before.size()), saving({0, 3}))));
    } else if (kind == QLatin1String("twice")) {
        QVERIFY(TestFiles::write(journalPath, Journal::build(ps, std::uint64_t(before.size()), saving({3, 3}))));
    }
    // What lies there, as far as a test may look (its first MiB; a pipe or a device not at all).
    const bool special = kind == QLatin1String("fifo") || kind == QLatin1String("zero");
    const auto head = [&] {
        QFile file(journalPath);
        return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray();
    };
    const QByteArray journal = special ? QByteArray() : head();
    const qint64 journalSize = QFileInfo(journalPath).size();
    const auto leftAsItWas = [&] {
        QCOMPARE(TestFiles::read(path), before);
        if (special) {
            QVERIFY(QFileInfo(journalPath).isSymLink() || QFileInfo(journalPath).exists());
        } else {
            QCOMPARE(QFileInfo(journalPath).size(), journalSize);
            QCOMPARE(head(), journal);
        }
    };
    const qint64 readBefore = TestFiles::bytesReadSoFar();

    // Read-only: read as it is, never as rolled back.
    {
        jet::Database db;
        QString error;
        QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
        bool applied = true;
        QString leftAlone;
        QVERIFY2(Journal::readAsRolledBack(db.file(), &applied, &error, &leftAlone), qPrintable(error));
        QVERIFY(!applied);
        QVERIFY(!db.file().readsThroughSavedPages());
        QVERIFY2(leftAlone.startsWith(journalPath) && leftAlone.contains(why), qPrintable(leftAlone));
        QVERIFY2(leftAlone.contains(QLatin1String("left alone, and the database is read as it is")),
                 qPrintable(leftAlone));
        QCOMPARE(db.table(QStringLiteral("record"), &error)->rowCount(), 60u);
    }
    leftAsItWas();
    // Read-write: neither applied nor removed; a delete is refused, naming it.
    {
        jet::Database db;
        QString error;
        QString leftAlone;
        QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
        QVERIFY2(Journal::recover(db.file(), &error, &leftAlone), qPrintable(error));
        QVERIFY2(leftAlone.contains(why), qPrintable(leftAlone));
        const auto def = db.table(QStringLiteral("record"), &error);
        QVERIFY2(def, qPrintable(error));
        jet::RowDeleter deleter(db.file(), *def);
        QVERIFY(!deleter.deleteRows({RowId{29, 0}}, &error));
        QVERIFY2(error.contains(why) && error.contains(QLatin1String("nothing is changed while it lies beside")),
                 qPrintable(error));
    }
    leftAsItWas();
    // Only headers were read, not what lies behind them (6 GB of the sparse one): the
    // database a few times over and the test's own looks at the journal's first MiB.
    if (readBefore >= 0) {
        const qint64 read = TestFiles::bytesReadSoFar() - readBefore;
        QVERIFY2(read < 8 * before.size() + (4 << 20), qPrintable(QString::number(read)));
    }
}

// A crash in the middle of a page write can leave the page part new, part old (the disk
// writes sectors, not pages); such a page still belongs to the journal and is restored.
void TestJetJournal::tornPageIsRolledBack()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    const QByteArray before = TestFiles::read(path);
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
    expectRecovered(file, path, before);
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
    crashingDelete(link, m_rows, m_pagesWritten / 2);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(TestFiles::read(path) != before);
    QVERIFY(Journal::exists(link));
    QVERIFY(Journal::exists(path));

    jet::PageFile file;
    expectRecovered(file, path, before);
    QVERIFY(!Journal::exists(link));
}

QTEST_GUILESS_MAIN(TestJetJournal)
#include "tst_jetjournal.moc"

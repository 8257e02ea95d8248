// orvik-cli sql, check and delete on copies of real databases: result rows and their text
// forms, refused statements, the checker's verdicts, and deleting a call record with and
// without confirmation.
#include "db/jet/Database.h"
#include "db/jet/RowDeleter.h"
#include "platform/FileLocks.h"
#include "platform/RandomAccessFile.h"

#include "common/CliRunner.h"
#include "common/ReadOnlyFolder.h"
#include "common/TestFiles.h"
#include "db/jet/JetDeleteSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

struct BackupCopy
{
    QTemporaryDir dir;
    QString path;
    explicit BackupCopy(const QString &name = QStringLiteral("2009-12"))
    {
        path = dir.filePath(name);
        TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + name, path);
    }
    QString database() const { return path + "/dbR.mdb"; }
};

} // namespace

class TestCliDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sqlPrintsRows();
    void sqlFailures();
    void checkVerdicts();
    void deleteOneRecord();
    void deleteAskedOnTheTerminal();
    void deleteFailures();
    void readOnlyCopyWithAnUnfinishedDelete();
    void journalThatIsNoJournal_data();
    void journalThatIsNoJournal();
    void databaseThatIsNoFile();

private:
    QTemporaryDir m_program;
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliDatabase::initTestCase()
{
    m_cli = std::make_unique<CliRunner>(m_program.path());
    QVERIFY(TestFiles::write(m_program.filePath("config.ini"), "[config]\r\nm_language=1\r\n"));
}

void TestCliDatabase::sqlPrintsRows()
{
    BackupCopy backup(QStringLiteral("odd-types"));
    const CliResult r =
        m_cli->run({"sql", backup.database(), "select * from Record where id >= 9 and id <= 11 order by id"});
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> lines = r.lines();
    QCOMPARE(lines.size(), 4);
    const QList<QByteArray> header = lines[0].split('\t');
    QCOMPARE(header.first(), QByteArray("id"));
    QVERIFY(header.contains("note"));
    QVERIFY(!header.contains("dtmf"));
    const int start = int(header.indexOf("record_time_start"));
    const int fsk = int(header.indexOf("fsk"));
    const int note = int(header.indexOf("note"));
    const QList<QByteArray> id9 = lines[1].split('\t');
    const QList<QByteArray> id10 = lines[2].split('\t');
    const QList<QByteArray> id11 = lines[3].split('\t');
    QCOMPARE(id9[0], QByteArray("9"));
    QCOMPARE(id9[start], QByteArray("\\N"));
    QCOMPARE(id10[fsk], QByteArray("\\N"));
    QCOMPARE(id10[start], QByteArray("2009-11-23 09:00:00")); // 40140.375 in the reference dump
    QVERIFY(id11[note].size() > 6000);                        // the memo on long-value pages, whole

    const CliResult deleted = m_cli->run({"sql", backup.database(), "delete from Record where id = 12"});
    QCOMPARE(deleted.exitCode, 0);
    QVERIFY(deleted.out.isEmpty());
    QCOMPARE(m_cli->run({"sql", backup.database(), "select * from Record where id = 12"}).lines().size(), 1);
    QCOMPARE(m_cli->run({"check", backup.database()}).exitCode, 0);
}

void TestCliDatabase::sqlFailures()
{
    BackupCopy backup;
    const QByteArray before = TestFiles::read(backup.database());
    const CliResult refused = m_cli->run({"sql", backup.database(), "delete from record where id = 1 or"});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY(refused.out.isEmpty());
    QVERIFY(refused.err.contains("Syntax error (missing operator) in query expression 'id = 1 or'."));
    QCOMPARE(m_cli->run({"sql", backup.database(), "select * from nosuch"}).exitCode, 3);
    QCOMPARE(TestFiles::read(backup.database()), before);

    QTemporaryDir dir;
    const CliResult missing = m_cli->run({"sql", dir.filePath("none.mdb"), "select * from record"});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(missing.err.contains("Could not find file"));
    QVERIFY(TestFiles::write(dir.filePath("junk.mdb"), QByteArray(8192, 'j')));
    QCOMPARE(m_cli->run({"sql", dir.filePath("junk.mdb"), "select * from record"}).exitCode, 2);
    QCOMPARE(m_cli->run({"sql", backup.database()}).exitCode, 2);
}

void TestCliDatabase::checkVerdicts()
{
    BackupCopy backup;
    QCOMPARE(m_cli->run({"check", backup.database()}).exitCode, 0);
    QCOMPARE(m_cli->run({"check", backup.database(), "RECORD"}).exitCode, 0);
    QCOMPARE(m_cli->run({"check", backup.database(), "nosuch"}).exitCode, 2);

    // A wrong row count in the table definition is a problem the checker names.
    jet::Database db;
    QVERIFY(db.open(backup.database(), jet::PageFile::OpenMode::ReadOnly));
    const quint64 offset = db.table("record")->rowCountFileOffset().value();
    db.close();
    QByteArray bytes = TestFiles::read(backup.database());
    bytes[qsizetype(offset)] = char(bytes[qsizetype(offset)] + 1);
    QVERIFY(TestFiles::write(backup.database(), bytes));
    const CliResult damaged = m_cli->run({"check", backup.database()});
    QCOMPARE(damaged.exitCode, 1);
    QVERIFY(!damaged.lines().isEmpty());
    QVERIFY(damaged.out.contains("61") && damaged.out.contains("60"));
    // Listing it prints the rows that could be read, then says what is missing (exit 6).
    const CliResult listed = m_cli->run({"sql", backup.database(), "select * from record"});
    QCOMPARE(listed.exitCode, 6);
    QCOMPARE(listed.lines().size(), 61); // the header and 60 rows
    QVERIFY(listed.err.contains("table record counts 61 rows, 60 could be read"));
    QCOMPARE(m_cli->run({"query", backup.path}).exitCode, 6);

    // A file cut short by whole pages loses the rows on the pages past its end.
    QTemporaryDir cut;
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), cut.path()));
    // Whole, its rows come batch after batch, in order: numbered 1 to 3000, by start time.
    const QList<QByteArray> whole = m_cli->run({"query", cut.path()}).lines();
    QCOMPARE(whole.size(), 3000);
    for (int i = 0; i < whole.size(); ++i) {
        const QList<QByteArray> cells = whole[i].split('\t');
        QCOMPARE(cells.value(0).toInt(), i + 1);
        if (i > 0)
            QVERIFY2(whole[i - 1].split('\t').value(4) <= cells.value(4), whole[i].constData());
    }
    QFile file(cut.filePath("dbR.mdb"));
    QVERIFY(file.resize(file.size() / 2 / 4096 * 4096));
    QTemporaryDir out;
    for (const QStringList &command :
         {QStringList{"query", cut.path()}, QStringList{"export", cut.path(), "--output", out.filePath("x.xlsx")}}) {
        const CliResult partial = m_cli->run(command);
        QCOMPARE(partial.exitCode, 6);
        QVERIFY2(partial.err.contains("lie past the end of the file"), partial.err.constData());
        QVERIFY(partial.lines().size() < 3000);
    }

    // A journal beside the database: a delete was cut short and is rolled back on the next
    // read-write open.
    QVERIFY(TestFiles::write(backup.database() + "-journal", "interrupted"));
    const CliResult journal = m_cli->run({"check", backup.database()});
    QCOMPARE(journal.exitCode, 1);
    QVERIFY(journal.out.contains("dbR.mdb-journal lies beside the database"));

    QTemporaryDir dir;
    QCOMPARE(m_cli->run({"check", dir.filePath("none.mdb")}).exitCode, 2);
}

void TestCliDatabase::deleteOneRecord()
{
    BackupCopy backup;
    const QString file = backup.path + "/voice/20091201093713_4_0123456.wav";
    QVERIFY(QFileInfo::exists(file));
    const CliResult r = m_cli->run({"delete", backup.path, "2", "--yes"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(m_cli->run({"query", backup.path}).lines().size(), 59);
    QCOMPARE(m_cli->run({"check", backup.database()}).exitCode, 0);
    // Deleted once, it is gone: the same id is not found again.
    QCOMPARE(m_cli->run({"delete", backup.path, "2", "--yes"}).exitCode, 4);

    // A "DEL" record: the record goes, no file is touched.
    const QStringList voiceBefore = QDir(backup.path + "/voice").entryList(QDir::Files);
    QCOMPARE(m_cli->run({"delete", backup.path, "11", "--yes"}).exitCode, 0);
    QCOMPARE(QDir(backup.path + "/voice").entryList(QDir::Files), voiceBefore);
    // A record whose file is missing: deleted, and the user told about the file.
    const CliResult missing = m_cli->run({"delete", backup.path, "42", "--yes"});
    QCOMPARE(missing.exitCode, 0);
    QVERIFY(missing.err.contains("Del File ") && missing.err.contains(" Fail!"));
    QCOMPARE(m_cli->run({"check", backup.database()}).exitCode, 0);

    // A recording that stays: a link to a file outside the backup (kept, as every file
    // outside is), and a folder under a recording's name (it cannot be removed). The record
    // goes; the command names the file that is still there and ends with 1.
#ifndef _WIN32
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.filePath("precious.wav"), "keep"));
    const QString linked = backup.path + "/voice/20091202092128_4_110.wav";
    QVERIFY(QFile::remove(linked) && QFile::link(outside.filePath("precious.wav"), linked));
    const CliResult kept = m_cli->run({"delete", backup.path, "3", "--yes"});
    QCOMPARE(kept.exitCode, 1);
    QVERIFY2(kept.err.contains("lies outside the backup's voice folder and has been kept"), kept.err.constData());
    QVERIFY2(kept.err.contains("record 3 was deleted, but its recording " + linked.toUtf8() + " is still there"),
             kept.err.constData());
    QCOMPARE(TestFiles::read(outside.filePath("precious.wav")), QByteArray("keep"));
#endif
    const QString folder = backup.path + "/voice/20091202140351_2_4008208820.wav";
    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    const CliResult stayed = m_cli->run({"delete", backup.path, "4", "--yes"});
    QCOMPARE(stayed.exitCode, 1);
    QVERIFY2(stayed.err.contains("Del File "), stayed.err.constData());
    QVERIFY2(stayed.err.contains("record 4 was deleted, but its recording " + QDir::toNativeSeparators(folder).toUtf8()
                                 + " is still there"),
             stayed.err.constData());
    QCOMPARE(m_cli->run({"delete", backup.path, "4", "--yes"}).exitCode, 4);
    QCOMPARE(m_cli->run({"check", backup.database()}).exitCode, 0);
}

void TestCliDatabase::deleteAskedOnTheTerminal()
{
    BackupCopy backup;
    const QByteArray before = TestFiles::read(backup.database());
    const CliResult no = m_cli->run({"delete", backup.path, "3"}, "n\n");
    QCOMPARE(no.exitCode, 1);
    QVERIFY(no.err.contains("[y/N]"));
    QCOMPARE(TestFiles::read(backup.database()), before);
    const CliResult closedInput = m_cli->run({"delete", backup.path, "3"});
    QCOMPARE(closedInput.exitCode, 1);
    QCOMPARE(TestFiles::read(backup.database()), before);
    QCOMPARE(m_cli->run({"delete", backup.path, "3"}, "y\n").exitCode, 0);
    QCOMPARE(m_cli->run({"query", backup.path}).lines().size(), 59);
}

void TestCliDatabase::deleteFailures()
{
    BackupCopy backup;
    QCOMPARE(m_cli->run({"delete", backup.path, "999", "--yes"}).exitCode, 4);
    QCOMPARE(m_cli->run({"delete", backup.path, "abc", "--yes"}).exitCode, 2);
    QTemporaryDir empty;
    QCOMPARE(m_cli->run({"delete", empty.path(), "1", "--yes"}).exitCode, 2);
    // The database refuses: another process holds it exclusively.
    jet::PageFile holder;
    QVERIFY(holder.open(backup.database(), jet::PageFile::OpenMode::ReadOnly));
    QVERIFY(FileLocks::lockOpen(holder.handle(), true));
    QCOMPARE(m_cli->run({"delete", backup.path, "1", "--yes"}).exitCode, 2);
}

void TestCliDatabase::readOnlyCopyWithAnUnfinishedDelete()
{
    // A backup whose delete was cut short (journal left, pages half written) copied to a
    // read-only disk: read as if the delete had been rolled back, checked that way, and
    // deletes refused before anything is tried.
    QTemporaryDir dir;
    ReadOnlyFolder disk(dir.filePath("disk"));
    if (!disk.usable())
        QSKIP(ReadOnlyFolder::whyNot());
    const QString backup = disk.path() + "/2009-12";
    const QString database = backup + "/dbR.mdb";
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), backup));
    const CliResult before = m_cli->run({"query", backup});
    QCOMPARE(before.exitCode, 0);
    QVERIFY(before.lines().size() > 20);
    {
        jet::Database db;
        QString error;
        QVERIFY2(db.open(database, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
        const auto table = db.table(QStringLiteral("record"), &error);
        QVERIFY2(table, qPrintable(error));
        std::vector<jet::RowId> rows = JetDelete::liveRows(db.file(), *table);
        rows.resize(20);
        jet::RowDeleter deleter(db.file(), *table);
        // The journal's write and two pages reach the disk, then the process "dies".
        RandomAccessFile::crashAfterWrites(3);
        const bool deleted = deleter.deleteRows(rows, &error);
        RandomAccessFile::crashAfterWrites(-1);
        QVERIFY(!deleted);
    }
    const QByteArray halfDone = TestFiles::read(database);
    const QByteArray journal = TestFiles::read(database + "-journal");
    QVERIFY(!journal.isEmpty());
    QVERIFY(disk.seal());

    const CliResult after = m_cli->run({"query", backup}, {}, {"ORVIK_TRACE=stderr"});
    QCOMPARE(after.exitCode, 0);
    QCOMPARE(after.out, before.out);
    QVERIFY2(after.err.contains("read as rolled back: " + database.toUtf8() + "-journal holds a delete"),
             after.err.constData());
    QVERIFY2(after.err.contains("dbR.mdb-journal holds a delete that did not finish and cannot be rolled back "
                                "here (the database cannot be written): it is read as if that delete had been "
                                "rolled back"),
             after.err.constData());
    // The checker sees the rolled-back pages sound; the journal itself is named.
    const CliResult check = m_cli->run({"check", database});
    QCOMPARE(check.exitCode, 1);
    QCOMPARE(check.lines().size(), 1);
    QVERIFY(check.out.contains("dbR.mdb-journal lies beside the database"));
    QVERIFY2(check.err.contains("checked as if it had been rolled back"), check.err.constData());

    // A delete is refused at once, with the reason.
    const CliResult refused = m_cli->run({"delete", backup, "2", "--yes"});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY2(refused.err.contains("cannot be written"), refused.err.constData());
    QVERIFY(QFileInfo::exists(backup + "/voice/20091201093713_4_0123456.wav"));
    QCOMPARE(TestFiles::read(database), halfDone);
    QCOMPARE(TestFiles::read(database + "-journal"), journal);
}

void TestCliDatabase::journalThatIsNoJournal_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("what");
    QTest::newRow("a named pipe") << "fifo"
                                  << "a named pipe";
    QTest::newRow("a link to /dev/zero") << "zero"
                                         << "a character device";
}

// A named pipe or a device under the journal's name: every command ends, at once, reads the
// database as it is and names the thing; a delete is refused while it lies there; a search
// of a read-only root (where the journal of a delete would be read) ends too.
void TestCliDatabase::journalThatIsNoJournal()
{
    QFETCH(QString, kind);
    QFETCH(QString, what);
#ifdef _WIN32
    QSKIP("no named pipes or devices in the file system here");
#else
    const auto place = [&](const QString &journal) {
        if (kind == QLatin1String("fifo"))
            return ::mkfifo(QFile::encodeName(journal).constData(), 0600) == 0;
        return QFile::link(QStringLiteral("/dev/zero"), journal);
    };
    // Should a command wait for a writer or read for ever, it is killed after this long.
    constexpr int kEnoughMs = 30000;
    BackupCopy backup;
    const QString journal = backup.database() + "-journal";
    QVERIFY(place(journal));
    const QByteArray named = journal.toUtf8() + " is not a regular file (" + what.toUtf8() + ")";

    const CliResult query = m_cli->run({"query", backup.path}, {}, {}, kEnoughMs);
    QCOMPARE(query.exitCode, 0);
    QCOMPARE(query.lines().size(), 60);
    QVERIFY2(query.err.contains("warning: " + named + "; it was left alone, and the database is read as it is"),
             query.err.constData());

    const CliResult sql = m_cli->run({"sql", backup.database(), "select * from record"}, {}, {}, kEnoughMs);
    QCOMPARE(sql.exitCode, 0);
    QCOMPARE(sql.lines().size(), 61);
    QVERIFY2(sql.err.contains(named), sql.err.constData());

    const CliResult check = m_cli->run({"check", backup.database()}, {}, {}, kEnoughMs);
    QCOMPARE(check.exitCode, 1);
    QCOMPARE(check.lines().size(), 1);
    QVERIFY2(check.out.contains(named) && check.out.contains("deletes are refused until it is removed"),
             check.out.constData());

    const QString recording = backup.path + "/voice/20091201093713_4_0123456.wav";
    const QByteArray before = TestFiles::read(backup.database());
    const CliResult refused = m_cli->run({"delete", backup.path, "2", "--yes"}, {}, {}, kEnoughMs);
    QCOMPARE(refused.exitCode, 3);
    QVERIFY2(refused.err.contains(named + "; nothing is changed while it lies beside the database"),
             refused.err.constData());
    QVERIFY(QFileInfo::exists(recording));
    QCOMPARE(TestFiles::read(backup.database()), before);
    QVERIFY(QFileInfo(journal).isSymLink() || QFileInfo(journal).exists());

    // On a read-only disk, where the journal of an unfinished delete is read through.
    QTemporaryDir dir;
    ReadOnlyFolder disk(dir.filePath("disk"));
    if (!disk.usable())
        QSKIP(ReadOnlyFolder::whyNot());
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), disk.path() + "/2009-12"));
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2010-01"), disk.path() + "/2010-01"));
    QVERIFY(place(disk.path() + "/2009-12/dbR.mdb-journal"));
    QVERIFY(disk.seal());
    const CliResult readOnly = m_cli->run({"query", disk.path() + "/2009-12"}, {}, {}, kEnoughMs);
    QCOMPARE(readOnly.exitCode, 0);
    QCOMPARE(readOnly.lines().size(), 60);
    QVERIFY2(readOnly.err.contains(" is not a regular file (" + what.toUtf8() + "); it was left alone"),
             readOnly.err.constData());
    const CliResult search = m_cli->run({"search", "--root", disk.path()}, {}, {}, kEnoughMs);
    QCOMPARE(search.exitCode, 0);
    QCOMPARE(search.lines().size(), 60 + m_cli->run({"query", disk.path() + "/2010-01"}).lines().size());
#endif
}

// A database name that is a folder, a named pipe or a device is named for what it is.
void TestCliDatabase::databaseThatIsNoFile()
{
#ifdef _WIN32
    QSKIP("no named pipes or devices in the file system here");
#else
    BackupCopy backup;
    QVERIFY(QFile::remove(backup.database()));
    const auto expect = [&](const QString &what) {
        const QByteArray named = "'" + backup.database().toUtf8() + "' is not a regular file but " + what.toUtf8()
                                 + ": it cannot be a database.";
        for (const QStringList &command : {QStringList{"query", backup.path}, QStringList{"delete", backup.path, "2"},
                                           QStringList{"sql", backup.database(), "select * from record"}}) {
            const CliResult r = m_cli->run(command, {}, {}, 30000);
            QCOMPARE(r.exitCode, 2);
            QVERIFY2(r.err.contains(named), r.err.constData());
        }
        const CliResult check = m_cli->run({"check", backup.database()}, {}, {}, 30000);
        QCOMPARE(check.exitCode, 2);
        QVERIFY2(check.err.contains("is not a regular file (" + what.toUtf8() + ")"), check.err.constData());
    };
    QVERIFY(QDir().mkdir(backup.database()));
    expect(QStringLiteral("a folder"));
    QVERIFY(QDir().rmdir(backup.database()));
    QVERIFY(::mkfifo(QFile::encodeName(backup.database()).constData(), 0600) == 0);
    expect(QStringLiteral("a named pipe"));
    QVERIFY(QFile::remove(backup.database()));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), backup.database()));
    expect(QStringLiteral("a character device"));
#endif
}

QTEST_GUILESS_MAIN(TestCliDatabase)
#include "tst_cli_database.moc"

// The connection: the two open attempts with their locks and messages, the password, the
// trace lines, statements on a connection that is not open, and deletes that must either
// complete or change nothing.
#include "db/ado/AdoDb.h"
#include "db/exec/DebugTrace.h"
#include "db/exec/JetConnection.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include "TestPaths.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDesktop.h"
#include "common/TestFiles.h"
#include "db/jet/JetTestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

const QString kClosed = QStringLiteral("Operation is not allowed when the object is closed.");

// Collects the trace lines written while it lives.
class TraceCapture
{
public:
    TraceCapture()
    {
        m_path = m_dir.filePath("trace.log");
        qputenv("ORVIK_TRACE", QFile::encodeName(m_path));
    }
    ~TraceCapture() { qunsetenv("ORVIK_TRACE"); }
    QStringList lines() const
    {
        QStringList l = QString::fromUtf8(TestFiles::read(m_path)).split(u'\n');
        l.removeAll(QString());
        return l;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QString copyOfSample(const QTemporaryDir &dir, const QString &backup = QStringLiteral("2009-12"))
{
    const QString path = dir.filePath("dbR.mdb");
    QFile::copy(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + backup + "/dbR.mdb", path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QStringList checkerProblems(const QString &path)
{
    jet::Database db;
    if (!db.open(path, jet::PageFile::OpenMode::ReadOnly))
        return {"does not open"};
    return jet::Checker::checkDatabase(db);
}

// A copy of the December sample (`before`: its bytes) with the lock file Access keeps beside
// the database while it has it open, `locked` when that was written.
struct CopyLockedByAccess
{
    QTemporaryDir dir;
    QString path = copyOfSample(dir);
    QByteArray before = TestFiles::read(path);
    QString lockFile = QFileInfo(path).absolutePath() + "/dbR.ldb";
    bool locked = TestFiles::write(lockFile, QByteArray(64, '\0'));
};

// Runs `statements` on a connection to `path`, closed afterwards, each to be accepted or
// (`accepted` false) refused; the file must be as it was before.
void expectFileUnchanged(const QString &path, bool accepted, const QStringList &statements)
{
    const QByteArray before = TestFiles::read(path);
    {
        CAdoDb db;
        QVERIFY(db.OpenAccessDatabase(path, QString()));
        for (const QString &statement : statements)
            QVERIFY2(db.SqlExecute(statement) == accepted, qPrintable(statement));
    }
    QCOMPARE(TestFiles::read(path), before);
}

} // namespace

class TestAdoDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readWriteOpenAtOnce();
    void fallbackToExclusiveReadOnly();
    void refusedByBothAttempts();
    void missingDatabase();
    void wrongPassword();
    void connectionStringsQuoteTheirValues();
    void statementsOnAFailedOpen();
    void statementsAndTheirTraceLines();
    void deleteThatMatchesNothingSucceeds();
    void refusedStatementChangesNothing();
    void deleteOnReadOnlyConnection();
    void deleteWhileAnotherJetProgramHoldsTheFile();
    void deleteThroughALinkWhileAnotherJetProgramHoldsTheFile();
    void longTraceLinesAreCut();

private:
    ScriptedDesktop *m_desktop = nullptr;
};

void TestAdoDb::initTestCase()
{
    QCOMPARE(g_language.LoadFile(QStringLiteral(ORVIK_LANGUAGE_DIR "/Menu_English.xml")), 0);
}

void TestAdoDb::readWriteOpenAtOnce()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    TraceCapture trace;
    CAdoDb db;
    QVERIFY(db.OpenAccessDatabase(path, QString()));
    QCOMPARE(db.LastConnectionString(), "Provider = Microsoft.Jet.OLEDB.4.0;Data Source = " + path
                                            + ";Jet OLEDB:Database Password='';Mode=Read|Write");
    // A fresh connection is closed first, which the trace reports.
    QCOMPARE(trace.lines(), QStringList{"CAdoDb::Close() error [" + kClosed + "] "});
    QVERIFY(desktop.messages.isEmpty());
    QVERIFY(db.m_pConnection->isOpen());
    QCOMPARE(db.m_pConnection->mode(), JetConnection::Mode::ReadWrite);
}

void TestAdoDb::fallbackToExclusiveReadOnly()
{
    // A file that cannot be opened for writing, as on a read-only disk.
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath("ro");
    ReadOnlyFolder readOnly(mountPoint);
    if (!readOnly.usable())
        QSKIP(ReadOnlyFolder::whyNot());
    QVERIFY(QFile::copy(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12/dbR.mdb"), mountPoint + "/dbR.mdb"));
    QVERIFY(readOnly.seal());
    const QString path = mountPoint + "/dbR.mdb";
    {
        ScriptedDesktop desktop;
        TraceCapture trace;
        CAdoDb db;
        QVERIFY(db.OpenAccessDatabase(path, QString()));
        QVERIFY(db.LastConnectionString().endsWith("Mode=Read|Share Deny Write|Share Exclusive"));
        const QStringList lines = trace.lines();
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[1].startsWith("OpenAccessDatabase " + path
                                    + " error [The Microsoft Jet database engine cannot open"));
        QCOMPARE(lines[2], "CAdoDb::Close() error [" + kClosed + "] ");
        // The notice Ids::TxtOpenedReadOnly, as an information box with the application's caption.
        QCOMPARE(desktop.messages.size(), 1);
        QCOMPARE(desktop.messages[0].text, GetDialogText(Ids::TxtOpenedReadOnly));
        QVERIFY(!desktop.messages[0].text.isEmpty());
        QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Information);
        QCOMPARE(desktop.messages[0].caption, QString());

        // The exclusive open keeps everybody else out: a second connection fails both ways.
        CAdoDb other;
        QVERIFY(!other.OpenAccessDatabase(path, QString()));
        // Reading works, deleting is refused without touching the file.
        QVERIFY(db.SqlExecute(QStringLiteral("select * from record where id = 1")));
        QVERIFY(!db.SqlExecute(QStringLiteral("delete from record where id = 1")));
        QCOMPARE(db.LastError(), QStringLiteral("Cannot update. Database or object is read-only."));
    }
}

void TestAdoDb::refusedByBothAttempts()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    JetConnection holder;
    sql::SqlError error;
    QVERIFY(holder.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error));

    TraceCapture trace;
    CAdoDb db;
    QVERIFY(!db.OpenAccessDatabase(path, QString()));
    const QStringList lines = trace.lines();
    QCOMPARE(lines.size(), 5);
    for (int i : {1, 3}) {
        QVERIFY(lines[i].startsWith("OpenAccessDatabase " + path + " error ["));
        QVERIFY(lines[i].contains("already opened exclusively by another user"));
        QCOMPARE(lines[i + 1], "CAdoDb::Close() error [" + kClosed + "] ");
    }
    QVERIFY(desktop.messages.isEmpty());

    // Once the holder lets go, the database opens read-write again.
    QVERIFY(holder.close(&error));
    QVERIFY(db.OpenAccessDatabase(path, QString()));
    // Read-write opens share the file.
    CAdoDb second;
    QVERIFY(second.OpenAccessDatabase(path, QString()));
    QCOMPARE(second.m_pConnection->mode(), JetConnection::Mode::ReadWrite);
}

void TestAdoDb::missingDatabase()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    TraceCapture trace;
    CAdoDb db;
    const QString path = dir.filePath("dbR.mdb");
    QVERIFY(!db.OpenAccessDatabase(path, QString()));
    const QStringList lines = trace.lines();
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[1], "OpenAccessDatabase " + path + " error [Could not find file '" + path + "'.] ");
    QCOMPARE(lines[3], lines[1]);
    QVERIFY(desktop.messages.isEmpty());
}

void TestAdoDb::wrongPassword()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    JetTest::setPassword(path, QStringLiteral("s3cr'et"));
    CAdoDb db;
    QVERIFY(!db.OpenAccessDatabase(path, QString()));
    QCOMPARE(db.LastError(), QStringLiteral("Not a valid password."));
    QVERIFY(!db.OpenAccessDatabase(path, QStringLiteral("S3CR'ET")));
    QVERIFY(db.OpenAccessDatabase(path, QStringLiteral("s3cr'et")));
    QVERIFY(desktop.messages.isEmpty());
    QVERIFY(db.SqlExecute(QStringLiteral("select * from record")));
}

void TestAdoDb::connectionStringsQuoteTheirValues()
{
    QCOMPARE(
        CAdoDb::ConnectionString(1, "/b/dbR.mdb", ""),
        QStringLiteral("Provider = Microsoft.Jet.OLEDB.4.0;Data Source = /b/dbR.mdb;Jet OLEDB:Database Password='';"
                       "Mode=Read|Write"));
    QCOMPARE(
        CAdoDb::ConnectionString(2, "/b/dbR.mdb", ""),
        QStringLiteral("Provider = Microsoft.Jet.OLEDB.4.0;Data Source = /b/dbR.mdb;Jet OLEDB:Database Password='';"
                       "Mode=Read|Share Deny Write|Share Exclusive"));
    // A semicolon or a quote in the path, an apostrophe in the password: each stays inside
    // its own value.
    const QString s = CAdoDb::ConnectionString(1, "/x;Mode=Share Exclusive/\"a\"/dbR.mdb", "it's");
    QVERIFY(s.contains("Data Source = \"/x;Mode=Share Exclusive/\"\"a\"\"/dbR.mdb\";"));
    QVERIFY(s.contains("Password='it''s';"));
    QVERIFY(s.endsWith(";Mode=Read|Write"));

    // Such a path opens like any other.
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("a;b 'c'")));
    const QString path = dir.filePath("a;b 'c'/dbR.mdb");
    QVERIFY(QFile::copy(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12/dbR.mdb"), path));
    CAdoDb db;
    QVERIFY(db.OpenAccessDatabase(path, QString()));
}

void TestAdoDb::statementsOnAFailedOpen()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    CAdoDb db;
    QVERIFY(!db.OpenAccessDatabase(dir.filePath("missing.mdb"), QString()));
    TraceCapture trace;
    QVERIFY(!db.SqlExecute(QStringLiteral("delete from record where id = 1")));
    std::shared_ptr<JetRecordset> cursor;
    QVERIFY(!db.SqlExecute(cursor, QStringLiteral("select * from record")));
    QVERIFY(!cursor);
    QCOMPARE(trace.lines(),
             (QStringList{"sql execute 0 [delete from record where id = 1]",
                          "CAdoDb::SqlExecute error [800a0e78][" + kClosed + "] ",
                          "sql execute 1 [select * from record]", "CAdoDb::SqlExecute error [" + kClosed + "] "}));
    // A connection that never existed fails the same way.
    CAdoDb never;
    QVERIFY(!never.SqlExecute(QStringLiteral("select * from record")));
}

void TestAdoDb::statementsAndTheirTraceLines()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    CAdoDb db;
    QVERIFY(db.OpenAccessDatabase(path, QString()));
    TraceCapture trace;
    std::shared_ptr<JetRecordset> cursor;
    QVERIFY(db.SqlExecute(cursor, QStringLiteral("select * from Record where name LIKE '%李%'")));
    QVERIFY(cursor);
    const auto kept = cursor;
    QVERIFY(!db.SqlExecute(cursor, QStringLiteral("select * from Nowhere")));
    QCOMPARE(cursor, kept); // a failed statement leaves the cursor as it was
    QVERIFY(!db.SqlExecute(QStringLiteral("delete from record where nosuch = 1")));
    QCOMPARE(trace.lines(),
             (QStringList{
                 "sql execute 1 [select * from Record where name LIKE '%李%']", "sql execute 1 [select * from Nowhere]",
                 "CAdoDb::SqlExecute error [The Microsoft Jet database engine cannot find the input table or "
                 "query 'Nowhere'.  Make sure it exists and that its name is spelled correctly.] ",
                 "sql execute 0 [delete from record where nosuch = 1]",
                 "CAdoDb::SqlExecute error [80040e10][No value given for one or more required parameters.] "}));
}

void TestAdoDb::deleteThatMatchesNothingSucceeds()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    // Record 8 was deleted before.
    expectFileUnchanged(path, true, {"delete from record where id = 999", "delete from record where id = 8"});
    QVERIFY(!QFileInfo::exists(path + "-journal"));
}

void TestAdoDb::refusedStatementChangesNothing()
{
    ScriptedDesktop desktop;
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    expectFileUnchanged(path, false,
                        {"delete from record where id = 5 or", "delete from record where id = '5'",
                         "delete from record where id = 5; delete from record where id = 6",
                         "update record set name = 'x' where id = 5", "delete from nosuch where id = 5"});

    // A delete that runs removes exactly its row and leaves the database sound.
    {
        CAdoDb db;
        QVERIFY(db.OpenAccessDatabase(path, QString()));
        QVERIFY2(db.SqlExecute(QStringLiteral("delete from record where id = 5")), qPrintable(db.LastError()));
        std::shared_ptr<JetRecordset> cursor;
        QVERIFY(db.SqlExecute(cursor, QStringLiteral("select * from record where id >= 4 and id <= 6")));
        QCOMPARE(cursor->rowCount(), size_t(2));
    }
    QCOMPARE(checkerProblems(path), QStringList());
}

void TestAdoDb::deleteOnReadOnlyConnection()
{
    QTemporaryDir dir;
    const QString path = copyOfSample(dir);
    const QByteArray before = TestFiles::read(path);
    JetConnection connection;
    sql::SqlError error;
    QVERIFY(connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error));
    QVERIFY(!connection.execute(QStringLiteral("delete from record where id = 1"), nullptr, &error));
    QCOMPARE(error.message, QStringLiteral("Cannot update. Database or object is read-only."));
    QCOMPARE(TestFiles::read(path), before);
}

void TestAdoDb::deleteWhileAnotherJetProgramHoldsTheFile()
{
    const CopyLockedByAccess copy;
    QVERIFY(copy.locked);
    // Access keeps its lock file open while it has the database open (on Windows one that
    // nobody holds is known to be stale).
    QFile held(copy.lockFile);
    QVERIFY(held.open(QIODevice::ReadWrite));

    JetConnection connection;
    sql::SqlError error;
    QVERIFY(connection.open(copy.path, QString(), JetConnection::Mode::ReadWrite, &error));
    // Reading goes on; writing pages under Access is refused and leaves the file as it was.
    QVERIFY(connection.execute(QStringLiteral("select * from record where id = 1"), nullptr, &error));
    QVERIFY(!connection.execute(QStringLiteral("delete from record where id = 1"), nullptr, &error));
    QVERIFY2(error.message.startsWith("Could not update; currently locked"), qPrintable(error.message));
    QVERIFY(error.message.contains(copy.lockFile));
    QCOMPARE(TestFiles::read(copy.path), copy.before);

    // Once the other program has closed the file, the same connection deletes.
    held.close();
    QVERIFY(QFile::remove(copy.lockFile));
    QVERIFY2(connection.execute(QStringLiteral("delete from record where id = 1"), nullptr, &error),
             qPrintable(error.message));
    QVERIFY(TestFiles::read(copy.path) != copy.before);
    QCOMPARE(checkerProblems(copy.path), QStringList());
}

// Access keeps its lock file beside the database file itself; opened through a symbolic
// link in another folder, under another name, the file is still Access's.
void TestAdoDb::deleteThroughALinkWhileAnotherJetProgramHoldsTheFile()
{
    const CopyLockedByAccess copy;
    QVERIFY(copy.locked);
    QVERIFY(QDir(copy.dir.path()).mkdir(QStringLiteral("view")));
    const QString link = copy.dir.filePath(QStringLiteral("view/calls.mdb"));
#ifdef _WIN32
    QSKIP("QFile::link makes a shortcut on Windows, not a link the file system follows");
#endif
    QVERIFY(QFile::link(copy.path, link));

    JetConnection connection;
    sql::SqlError error;
    QVERIFY(connection.open(link, QString(), JetConnection::Mode::ReadWrite, &error));
    QVERIFY(!connection.execute(QStringLiteral("delete from record where id = 1"), nullptr, &error));
    QVERIFY2(error.message.startsWith("Could not update; currently locked"), qPrintable(error.message));
    QCOMPARE(TestFiles::read(copy.path), copy.before);
}

void TestAdoDb::longTraceLinesAreCut()
{
    ScriptedDesktop desktop;
    TraceCapture trace;
    CAdoDb db;
    const QString longStatement = "select * from record where name LIKE '%" + QString(5000, u'x') + "%'";
    QVERIFY(!db.SqlExecute(longStatement));
    const QStringList lines = trace.lines();
    QCOMPARE(lines.size(), 2);
    // The shared buffer holds the line, its line feed and the terminator: cut, not overrun.
    QCOMPARE(lines[0].toUtf8().size(), kTraceBufferSize - 2);
    QVERIFY(lines[0].startsWith("sql execute 0 [select * from record where name LIKE '%xxx"));
    QVERIFY(lines[1].startsWith("CAdoDb::SqlExecute error [800a0e78]"));

    // A cut never splits a character.
    const QString wide = "select * from record where name LIKE '%" + QString(3000, QChar(0x674E)) + "%'";
    QVERIFY(!db.SqlExecute(wide));
    const QByteArray third = trace.lines().at(2).toUtf8();
    QVERIFY(third.size() <= kTraceBufferSize - 2);
    QCOMPARE(QString::fromUtf8(third).toUtf8(), third);
    QVERIFY(!QString::fromUtf8(third).contains(QChar::ReplacementCharacter));
}

QTEST_GUILESS_MAIN(TestAdoDb)
#include "tst_adodb.moc"

#include "db/exec/JetConnection.h"

#include "config/FolderNames.h"
#include "db/exec/JetLockFile.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Database.h"
#include "db/jet/Journal.h"
#include "db/jet/RowDeleter.h"
#include "db/sql/SqlStatement.h"
#include "platform/FileLocks.h"
#include "platform/RandomAccessFile.h"

#include <QFileInfo>
#include <QStringList>

namespace {

sql::SqlType sqlTypeOf(const jet::Column &c)
{
    switch (c.type()) {
    case jet::ColumnType::Boolean:
        return sql::SqlType::Boolean;
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long:
    case jet::ColumnType::Currency:
    case jet::ColumnType::Single:
    case jet::ColumnType::Double:
    case jet::ColumnType::Decimal:
        return sql::SqlType::Number;
    case jet::ColumnType::DateTime:
        return sql::SqlType::Date;
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
        return sql::SqlType::Text;
    default:
        return sql::SqlType::Binary;
    }
}

} // namespace

JetConnection::JetConnection() : m_paths(RowCollector::pathsFromEnvironment()) {}

JetConnection::~JetConnection()
{
    sql::SqlError ignored;
    if (isOpen())
        close(&ignored);
}

sql::SqlError JetConnection::closedError()
{
    // ADO's adErrObjectClosed.
    return {QStringLiteral("Operation is not allowed when the object is closed."), 0x800A0E78u};
}

sql::SqlError JetConnection::damaged(const QString &detail) const
{
    return sql::SqlError::general(
        QStringLiteral("The database '%1' needs to be repaired or isn't a database file. (%2)").arg(m_path, detail));
}

bool JetConnection::isOpen() const
{
    return m_db && m_db->isOpen();
}

bool JetConnection::writable(const QString &path)
{
    // The same tests the file system makes at the open for writing and at the journal's
    // creation (a read-only mount fails them for every user), asked before anything is written.
    return QFileInfo(path).isWritable()
           && QFileInfo(QFileInfo(jet::Journal::pathFor(path)).absolutePath()).isWritable();
}

bool JetConnection::canWrite() const
{
    return isOpen() && m_mode == Mode::ReadWrite && writable(m_path);
}

bool JetConnection::open(const QString &path, const QString &password, Mode mode, sql::SqlError *error)
{
    sql::SqlError ignored;
    if (isOpen())
        close(&ignored);
    m_path = path;
    m_mode = mode;
    m_readsRolledBack = false;
    m_journalLeftAlone.clear();

    // A folder, a named pipe or a device is named for what it is; the open below refuses it
    // too, should it be swapped in only now.
    if (const QString kind = RandomAccessFile::describeKind(path); !kind.isEmpty()) {
        *error = sql::SqlError::general(
            QStringLiteral("'%1' is not a regular file but %2: it cannot be a database.").arg(path, kind));
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        *error = sql::SqlError::general(QStringLiteral("Could not find file '%1'.").arg(path));
        return false;
    }
    const sql::SqlError cannotOpen = sql::SqlError::general(
        QStringLiteral("The Microsoft Jet database engine cannot open the file '%1'.  It is already opened "
                       "exclusively by another user, or you need permission to view its data.")
            .arg(path));

    auto db = std::make_shared<jet::Database>();
    QString detail;
    const auto fileMode =
        mode == Mode::ReadWrite ? jet::PageFile::OpenMode::ReadWrite : jet::PageFile::OpenMode::ReadOnly;
    if (!db->file().open(path, fileMode, &detail)) {
        // A file that opens read-only but not read-write is a permission problem; anything
        // else that the file layer refuses is not a database we can read.
        jet::PageFile probe;
        QString probeDetail;
        if (mode == Mode::ReadWrite && probe.open(path, jet::PageFile::OpenMode::ReadOnly, &probeDetail))
            *error = cannotOpen;
        else if (!QFileInfo(path).isReadable())
            *error = cannotOpen;
        else
            *error =
                sql::SqlError::general(QStringLiteral("Unrecognized database format '%1'. (%2)").arg(path, detail));
        return false;
    }
    const RandomAccessFile &file = db->file().handle();
    if (!FileLocks::lockOpen(file, mode == Mode::ReadOnlyExclusive)) {
        *error = cannotOpen;
        return false;
    }
    if (mode == Mode::ReadWrite) {
        // A journal left by a crash is rolled back before anything is read, unless another
        // process is writing right now (then the journal is its own).
        FileLocks::StatementLock writeLock(file, true);
        if (writeLock.locked() && !jet::Journal::recover(db->file(), &detail, &m_journalLeftAlone)) {
            *error = damaged(detail);
            return false;
        }
    } else if (mode == Mode::ReadOnlyExclusive || !writable(path)) {
        // A copy that cannot be written (a read-only disk or share) may hold the journal of
        // a delete that was cut short before it was copied: it is read as the rollback
        // would leave it, through the journal's saved pages, instead of half deleted. A
        // shared reader of a writable file does not: the journal may be a running delete's,
        // gone a moment later.
        if (!jet::Journal::readAsRolledBack(db->file(), &m_readsRolledBack, &detail, &m_journalLeftAlone)) {
            *error = damaged(detail);
            return false;
        }
    }
    if (!db->reload(&detail)) {
        *error = damaged(detail);
        return false;
    }
    if (db->file().password() != password) {
        *error = sql::SqlError::general(QStringLiteral("Not a valid password."));
        return false;
    }
    m_db = std::move(db);
    return true;
}

bool JetConnection::close(sql::SqlError *error)
{
    if (!isOpen()) {
        *error = closedError();
        return false;
    }
    FileLocks::unlockOpen(m_db->file().handle());
    // Recordsets still reading keep their own reference to the database.
    m_db.reset();
    return true;
}

bool JetConnection::execute(const QString &text, std::shared_ptr<JetRecordset> *recordset, sql::SqlError *error)
{
    if (!isOpen()) {
        *error = closedError();
        return false;
    }
    sql::Statement statement;
    if (!sql::parse(text, &statement, error))
        return false;
    if (statement.kind == sql::Statement::Kind::Select)
        return runSelect(statement, recordset, error);
    return runDelete(statement, error);
}

bool JetConnection::prepare(const FileLocks::StatementLock &lock, sql::Statement &statement,
                            std::optional<jet::TableDef> *table, std::vector<sql::SqlType> *types, sql::SqlError *error)
{
    if (!lock.locked()) {
        *error = sql::SqlError::general(lock.forWriting() ? QStringLiteral("Could not update; currently locked.")
                                                          : QStringLiteral("Could not read; currently locked."));
        return false;
    }
    QString detail;
    // Another process may have deleted rows since the last statement.
    if (!m_db->reload(&detail)) {
        *error = damaged(detail);
        return false;
    }
    *table = m_db->table(statement.table, &detail);
    if (!*table) {
        *error = m_db->catalog().find(statement.table) ? damaged(detail) : sql::SqlError::noSuchTable(statement.table);
        return false;
    }
    std::vector<sql::ColumnInfo> columns;
    for (const jet::Column &c : (*table)->columns()) {
        columns.push_back({c.name, sqlTypeOf(c)});
        types->push_back(sqlTypeOf(c));
    }
    return statement.bind(columns, error);
}

bool JetConnection::collect(const sql::Statement &statement, const jet::TableDef &table,
                            const std::vector<sql::SqlType> &types, std::vector<jet::RowId> *rows, sql::SqlError *error,
                            ScanReport *report)
{
    RowCollector collector(m_db->file(), table, statement, types);
    collector.setPaths(m_paths);
    QString detail;
    if (!collector.collect(rows, &detail)) {
        *error = damaged(detail);
        return false;
    }
    m_lastRoad = collector.road();
    if (report)
        *report = collector.report();
    return true;
}

bool JetConnection::runSelect(sql::Statement &statement, std::shared_ptr<JetRecordset> *recordset, sql::SqlError *error)
{
    const FileLocks::StatementLock lock(m_db->file().handle(), false);
    std::optional<jet::TableDef> table;
    std::vector<sql::SqlType> types;
    if (!prepare(lock, statement, &table, &types, error))
        return false;
    std::vector<jet::RowId> rows;
    ScanReport report;
    if (!collect(statement, *table, types, &rows, error, &report))
        return false;
    if (recordset)
        *recordset = std::make_shared<JetRecordset>(m_db, *table, std::move(rows), std::move(report));
    return true;
}

bool JetConnection::runDelete(sql::Statement &statement, sql::SqlError *error)
{
    if (!canWrite()) {
        *error = sql::SqlError::general(QStringLiteral("Cannot update. Database or object is read-only."));
        return false;
    }
    const QString jetLock = heldJetLockFile(m_path);
    if (!jetLock.isEmpty()) {
        *error = sql::SqlError::general(
            QStringLiteral("Could not update; currently locked by another program (%1 exists).").arg(jetLock));
        return false;
    }
    const FileLocks::StatementLock lock(m_db->file().handle(), true);
    std::optional<jet::TableDef> table;
    std::vector<sql::SqlType> types;
    if (!prepare(lock, statement, &table, &types, error))
        return false;
    std::vector<jet::RowId> rows;
    if (!collect(statement, *table, types, &rows, error))
        return false;
    if (rows.empty())
        return true; // a delete that matches nothing succeeds
    QString detail;
    jet::RowDeleter deleter(m_db->file(), *table);
    if (!deleter.deleteRows(rows, &detail)) {
        *error = sql::SqlError::general(detail);
        return false;
    }
    return true;
}

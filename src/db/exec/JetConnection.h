#pragma once

#include "db/sql/SqlError.h"

#include <QString>

#include "db/exec/RowCollector.h"
#include "db/exec/ScanReport.h"
#include "db/jet/RowId.h"
#include "db/jet/TableDef.h"
#include "db/sql/SqlValue.h"
#include "platform/FileLocks.h"

#include <memory>
#include <optional>
#include <vector>

class JetRecordset;
namespace jet {
class Database;
}
namespace sql {
struct Statement;
}

// A connection to one Access database through Orvik's own Jet engine: opening in one of
// the two access modes, the password test, statement execution and the locks that keep
// other processes from seeing a delete half done.
class JetConnection
{
public:
    enum class Mode {
        ReadWrite,         // needs a writable file; shares it with other read-write opens
        ReadOnlyExclusive, // opens read-only and keeps everybody else out
        ReadOnlyShared,    // opens read-only beside other readers and writers (a search)
    };

    JetConnection();
    ~JetConnection();
    JetConnection(const JetConnection &) = delete;
    JetConnection &operator=(const JetConnection &) = delete;

    // Fails with the provider's messages: a missing file, a file that is locked or may not
    // be opened in this mode, a wrong password, a file that is not a Jet 3 or Jet 4 database;
    // and with what it is, when the name is not a regular file (a folder, a named pipe, a
    // device).
    bool open(const QString &path, const QString &password, Mode mode, sql::SqlError *error);
    // False (with the error of a closed connection) when the connection was not open.
    bool close(sql::SqlError *error);
    bool isOpen() const;
    Mode mode() const { return m_mode; }
    // True when the database, open read-only, holds the journal of an unfinished delete and
    // is read as if it had been rolled back (see jet::Journal::readAsRolledBack).
    bool readsRolledBack() const { return m_readsRolledBack; }
    // When something lies beside the database under its journal's name that is no journal
    // of it (a named pipe, a device, a crafted or damaged file), what it is: it was left
    // alone, and the database is read as it is (see jet::Journal::recover). Empty otherwise.
    const QString &journalLeftAlone() const { return m_journalLeftAlone; }
    // Whether a delete can be tried at all: the connection is read-write and the folder
    // that takes the journal beside the database can be written.
    bool canWrite() const;

    // Runs one statement. A SELECT gives its rows in `recordset` (which may be null for
    // callers that only want to know whether it runs); a DELETE removes its rows in one
    // step that either completes or leaves the file unchanged. A statement that is refused
    // changes nothing.
    bool execute(const QString &statement, std::shared_ptr<JetRecordset> *recordset, sql::SqlError *error);

    // The message for a statement run on a closed connection.
    static sql::SqlError closedError();

    // Which roads statements may take to their rows: the environment's choice
    // (ORVIK_FORCE_SCAN) until set.
    void setPaths(RowCollector::Paths paths) { m_paths = paths; }
    // How the last statement found its rows (RowCollector::road()).
    const QString &lastRoad() const { return m_lastRoad; }

private:
    // With the statement lock held: reloads the catalog (another process may have changed
    // the file), finds the statement's table and binds the statement to it.
    bool prepare(const FileLocks::StatementLock &lock, sql::Statement &statement, std::optional<jet::TableDef> *table,
                 std::vector<sql::SqlType> *types, sql::SqlError *error);
    // The rows of `table` that the statement selects, in its order (RowCollector), and in
    // `report` (when given) how much of the table could be read.
    bool collect(const sql::Statement &statement, const jet::TableDef &table, const std::vector<sql::SqlType> &types,
                 std::vector<jet::RowId> *rows, sql::SqlError *error, ScanReport *report = nullptr);
    bool runSelect(sql::Statement &statement, std::shared_ptr<JetRecordset> *recordset, sql::SqlError *error);
    bool runDelete(sql::Statement &statement, sql::SqlError *error);
    // Whether the file and the folder that takes its journal can be written.
    static bool writable(const QString &path);
    sql::SqlError damaged(const QString &detail) const;

    std::shared_ptr<jet::Database> m_db;
    Mode m_mode = Mode::ReadWrite;
    QString m_path;
    bool m_readsRolledBack = false;
    QString m_journalLeftAlone;
    RowCollector::Paths m_paths;
    QString m_lastRoad;
};

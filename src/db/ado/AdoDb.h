#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class JetConnection;
class JetRecordset;

// The connection through which a query window works on the recording database of one
// backup. It never lets an engine error reach the user: every failure becomes a false
// result plus one line on the diagnostic trace, and the caller decides what to show.
class CAdoDb
{
public:
    CAdoDb();
    virtual ~CAdoDb();
    CAdoDb(const CAdoDb &) = delete;
    CAdoDb &operator=(const CAdoDb &) = delete;

    // Opens the database read-write (shared) or, when that fails, read-only with
    // everybody else kept out; the second way is announced to the user with Ids::TxtOpenedReadOnly.
    bool OpenAccessDatabase(const QString &path, const QString &password);
    // Opens the database read-only beside other readers and writers, in one attempt and
    // without any message (a search on a worker thread; LastError() says why it failed).
    bool OpenForReading(const QString &path, const QString &password);
    void Close();
    bool IsOpen() const;
    // Whether a delete can be tried: open read-write, beside a folder that can be written.
    bool CanWrite() const;
    // Whether the database, open read-only, is read as if the unfinished delete its journal
    // holds had been rolled back (traced at the open).
    bool ReadsRolledBack() const;
    // What lies beside the open database under its journal's name and is no journal of it
    // (a named pipe, a device, a damaged file): left alone, the database read as it is
    // (traced at the open). Empty when there is none.
    QString JournalLeftAlone() const;
    // A statement without rows (a delete).
    bool SqlExecute(const QString &sql);
    // A row-returning statement; on success `cursor` holds its result.
    bool SqlExecute(std::shared_ptr<JetRecordset> &cursor, const QString &sql);

    // The connection string of each open attempt, as the provider would be given it.
    static QString ConnectionString(int attempt, const QString &path, const QString &password);
    // The connection string of the latest open attempt.
    QString LastConnectionString() const { return m_lastConnectionString; }
    // The provider's message of the latest failed open or statement (the command line
    // shows it; the windows only trace it).
    QString LastError() const { return m_lastError; }

    std::shared_ptr<JetConnection> m_pConnection;

private:
    // The connection string of an open in `mode` ("Read|Write", ...).
    static QString connectionString(const QString &path, const QString &password, const QString &mode);
    // The trace line of an open that reads through a journal (see ReadsRolledBack) or
    // leaves a damaged one alone (see JournalLeftAlone).
    void TraceRolledBack(const char *operation, const QString &path) const;

    QString m_lastConnectionString;
    QString m_lastError;
};

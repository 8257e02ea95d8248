#pragma once

#include "db/exec/ScanReport.h"
#include "query/RecordingFolder.h"
#include "query/ResultRows.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>

class CAdoDb;
class CAdoRecordR;

// Reads the call records one statement selects into the call list's compact storage, a
// batch at a time: the query window's fill, orvik-cli and the search over many backups all
// read their rows through it, on whichever thread. Each row gets its number (1, 2, ... in
// the statement's order), its recording's name as it is spelt on disk and the recording's
// size.
class RowReader
{
public:
    // `backupDir` ends in "/". The texts of the call types are taken from the language now.
    RowReader(CAdoDb &db, const QString &backupDir);
    ~RowReader();
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    // Runs the statement; false when it fails (the database's LastError() says why).
    bool Open(const QString &statement);
    // How many rows the statement selected (-1 before Open), for showing progress.
    qint64 ExpectedRowCount() const { return m_expectedRows; }
    // Whether rows remain to be read.
    bool HasMore() const;
    // A new, empty storage for the rows of this statement.
    std::shared_ptr<ResultRows> NewStorage() const;
    // Reads up to `maxRows` rows into `rows` (made by NewStorage). A row that another
    // program deleted meanwhile, or that cannot be decoded, is left out.
    void ReadInto(ResultRows &rows, int maxRows);
    // How completely the database could be read so far.
    ScanReport Report() const;
    // Ends the read; how completely the database could be read.
    ScanReport Close();

    RecordingFolder &Recordings() { return m_recordings; }

private:
    CAdoDb &m_db;
    RecordingFolder m_recordings;
    std::array<QByteArray, 3> m_typeTexts;
    QByteArray m_voiceDirUtf8;
    std::unique_ptr<CAdoRecordR> m_cursor;
    qint64 m_expectedRows = -1;
    int m_nextNumber = 1;
};

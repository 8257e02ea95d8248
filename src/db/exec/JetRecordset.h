#pragma once

#include "db/exec/ScanReport.h"
#include "db/jet/Database.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowId.h"
#include "db/jet/TableDef.h"
#include "db/jet/Value.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The rows a SELECT found, in their final order, read one at a time: the recordset keeps
// only the row ids and decodes the current row when a value is asked for, so a result of
// a million rows costs a few bytes per row.
//
// A row that another process deleted after the statement ran is left out when the cursor
// reaches it; a row that is still there but cannot be decoded stays a current row without
// values (currentRow() is null) and is counted in the scan report.
class JetRecordset
{
public:
    JetRecordset(std::shared_ptr<jet::Database> db, jet::TableDef table, std::vector<jet::RowId> rows,
                 ScanReport report = ScanReport());
    // The fetcher refers to the recordset's own table definition: a copy or a move would
    // leave it pointing into the original.
    JetRecordset(const JetRecordset &) = delete;
    JetRecordset &operator=(const JetRecordset &) = delete;

    bool isOpen() const { return m_open; }
    bool isEof() const { return !m_open || m_position >= m_rows.size(); }
    // The rows the statement found (some may be left out later, see above).
    size_t rowCount() const { return m_rows.size(); }
    // How completely the table could be read, rows that could not be decoded so far included.
    const ScanReport &scanReport() const { return m_report; }
    size_t position() const { return m_position; }

    // False (with the provider's message, when `error` is given) when the recordset is
    // closed or at its end.
    bool moveNext(QString *error);
    void close();

    const jet::TableDef &table() const { return m_table; }
    QStringList columnNames() const;
    // Position of a column by name, without regard to case; -1 when there is none.
    int columnIndex(const QString &name) const { return m_table.columnIndex(name); }

    // The value of a column of the current row; false when there is no current row or the
    // row cannot be decoded.
    bool value(int column, jet::Value *out);
    // The decoded current row, or null.
    const jet::RowView *currentRow();

private:
    // Reads the row at the position, moving past rows that are gone.
    void settle();
    bool fetchAgainUnderLock(jet::RowId id);

    std::shared_ptr<jet::Database> m_db; // keeps the file open while the recordset lives
    jet::TableDef m_table;
    std::vector<jet::RowId> m_rows;
    size_t m_position = 0;
    bool m_open = true;
    jet::RowFetcher m_fetcher;
    size_t m_fetchedPosition = SIZE_MAX;
    bool m_fetchedOk = false;
    ScanReport m_report;
};

#pragma once

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
class JetRecordset
{
public:
    JetRecordset(std::shared_ptr<jet::Database> db, jet::TableDef table, std::vector<jet::RowId> rows);

    bool isOpen() const { return m_open; }
    bool isEof() const { return !m_open || m_position >= m_rows.size(); }
    size_t rowCount() const { return m_rows.size(); }
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
    // row can no longer be read (it was deleted by another process, say).
    bool value(int column, jet::Value *out);
    // The decoded current row, or null.
    const jet::RowView *currentRow();

private:
    std::shared_ptr<jet::Database> m_db; // keeps the file open while the recordset lives
    jet::TableDef m_table;
    std::vector<jet::RowId> m_rows;
    size_t m_position = 0;
    bool m_open = true;
    jet::RowFetcher m_fetcher;
    size_t m_fetchedPosition = SIZE_MAX;
    bool m_fetchedOk = false;
};

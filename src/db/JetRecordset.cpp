#include "db/JetRecordset.h"

JetRecordset::JetRecordset(std::shared_ptr<jet::Database> db, jet::TableDef table, std::vector<jet::RowId> rows)
    : m_db(std::move(db))
    , m_table(std::move(table))
    , m_rows(std::move(rows))
    , m_fetcher(m_db->file(), m_table)
{}

bool JetRecordset::moveNext(QString *error)
{
    if (!m_open) {
        if (error)
            *error = QStringLiteral("Operation is not allowed when the object is closed.");
        return false;
    }
    if (m_position >= m_rows.size()) {
        if (error)
            *error = QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                    "Requested operation requires a current record.");
        return false;
    }
    ++m_position;
    return true;
}

void JetRecordset::close()
{
    m_open = false;
}

QStringList JetRecordset::columnNames() const
{
    QStringList names;
    for (const jet::Column &c : m_table.columns())
        names << c.name;
    return names;
}

const jet::RowView *JetRecordset::currentRow()
{
    if (isEof())
        return nullptr;
    if (m_fetchedPosition != m_position) {
        m_fetchedPosition = m_position;
        m_fetchedOk = m_fetcher.fetch(m_rows[m_position]);
    }
    return m_fetchedOk ? &m_fetcher.row() : nullptr;
}

bool JetRecordset::value(int column, jet::Value *out)
{
    const jet::RowView *row = currentRow();
    if (!row || column < 0 || column >= m_table.columnCount())
        return false;
    *out = row->value(column);
    return !out->isError();
}

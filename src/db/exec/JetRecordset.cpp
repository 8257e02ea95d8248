#include "db/exec/JetRecordset.h"

#include "platform/FileLocks.h"

JetRecordset::JetRecordset(std::shared_ptr<jet::Database> db, jet::TableDef table, std::vector<jet::RowId> rows,
                           ScanReport report)
    : m_db(std::move(db))
    , m_table(std::move(table))
    , m_rows(std::move(rows))
    , m_fetcher(m_db->file(), m_table)
    , m_report(std::move(report))
{
    settle();
}

bool JetRecordset::fetchAgainUnderLock(jet::RowId id)
{
    // The first read may have met a page while another process was changing it: read it
    // again from the file as it is now, while no delete can run.
    const FileLocks::StatementLock lock(m_db->file().handle(), false);
    m_fetcher.invalidate();
    return m_fetcher.fetch(id);
}

void JetRecordset::settle()
{
    while (m_open && m_position < m_rows.size()) {
        m_fetchedPosition = m_position;
        m_fetchedOk = m_fetcher.fetch(m_rows[m_position]) || fetchAgainUnderLock(m_rows[m_position]);
        if (m_fetchedOk)
            return;
        if (!m_fetcher.rowGone()) {
            m_report.addUnreadableRow();
            return;
        }
        ++m_position; // deleted since the statement ran: it is not part of the result any more
    }
}

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
    settle();
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
    if (isEof() || m_fetchedPosition != m_position)
        return nullptr;
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

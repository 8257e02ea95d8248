#include "db/jet/RowFetcher.h"

#include "db/jet/DataPage.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowLocator.h"
#include "db/jet/TableDef.h"

namespace jet {

RowFetcher::RowFetcher(const PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

bool RowFetcher::fetch(RowId id)
{
    m_error.clear();
    m_gone = false;
    m_row = RowView();
    if (!m_cached || m_cachedPage != id.page || m_generation != m_file.generation()) {
        m_cached = false;
        m_page.resize(std::size_t(m_file.pageSize()));
        if (!m_file.readPage(id.page, m_page.data(), &m_error))
            return false;
        m_cached = true;
        m_cachedPage = id.page;
        m_generation = m_file.generation();
    }
    const DataPage dp(m_file.layout(), m_page.data());
    m_gone = true;
    if (!dp.isDataPage() || dp.owner() != m_table.firstPage()) {
        m_error = QStringLiteral("row %1: page %2 is not a data page of this table").arg(id.toString()).arg(id.page);
        return false;
    }
    if (!dp.slotTableFits() || int(id.slot) >= dp.slotCount()) {
        m_error = QStringLiteral("row %1 does not exist").arg(id.toString());
        return false;
    }
    if (dp.slotEntry(int(id.slot)) & DataPage::kDeleted) {
        m_error = QStringLiteral("row %1 is deleted").arg(id.toString());
        return false;
    }
    m_gone = false;
    const std::uint8_t *row = nullptr;
    int length = 0;
    if (!RowLocator::locate(m_file, m_table, m_page.data(), id.page, int(id.slot), m_scratch, &row, &length, &m_error))
        return false;
    return m_row.attach(m_table, row, length, id, &m_file, &m_error);
}

} // namespace jet

#include "db/jet/RowFetcher.h"

#include "db/jet/DataPage.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowLocator.h"
#include "db/jet/TableDef.h"

#include <algorithm>

namespace jet {

RowFetcher::RowFetcher(const PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

const std::uint8_t *RowFetcher::keptPage(std::uint32_t page)
{
    const std::size_t pageSize = std::size_t(m_file.pageSize());
    if (m_cached && m_generation == m_file.generation() && page >= m_cachedFirst
        && page - m_cachedFirst < m_cachedCount)
        return m_pages.data() + (page - m_cachedFirst) * pageSize;
    // The page right after the kept ones: the rows are coming in page order.
    const bool inOrder = m_cached && m_generation == m_file.generation() && page == m_cachedFirst + m_cachedCount;
    m_cached = false;
    // The window doubles while the pages keep following each other, so that rows spread
    // thinly over the table (one page in five) do not each pay for a full window.
    m_window = inOrder ? std::min(kReadAhead, m_window * 2) : 1;
    std::uint32_t count = 1;
    if (page < m_file.pageCount())
        count = std::min(m_window, m_file.pageCount() - page);
    // Sized once for the largest read: growing it again and again would zero it each time.
    if (m_pages.size() < kReadAhead * pageSize)
        m_pages.resize(kReadAhead * pageSize);
    if (!m_file.readPages(page, count, m_pages.data(), &m_error))
        return nullptr;
    m_cached = true;
    m_cachedFirst = page;
    m_cachedCount = count;
    m_generation = m_file.generation();
    return m_pages.data();
}

bool RowFetcher::fetch(RowId id)
{
    m_error.clear();
    m_gone = false;
    m_row = RowView();
    const std::uint8_t *page = keptPage(id.page);
    if (!page)
        return false;
    const DataPage dp(m_file.layout(), page);
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
    if (!RowLocator::locate(m_file, m_table, page, id.page, int(id.slot), m_scratch, &row, &length, &m_error))
        return false;
    return m_row.attach(m_table, row, length, id, &m_file, &m_error);
}

} // namespace jet

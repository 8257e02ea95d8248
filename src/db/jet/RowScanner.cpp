#include "db/jet/RowScanner.h"

#include "db/jet/DataPage.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowLocator.h"
#include "db/jet/TableDef.h"
#include "db/jet/UsageMap.h"

namespace jet {

RowScanner::RowScanner(const PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

RowScanner::RowScanner(const PageFile &file, const TableDef &table, std::vector<std::uint32_t> pages)
    : m_file(file)
    , m_table(table)
    , m_pages(std::move(pages))
    , m_started(true)
{}

bool RowScanner::fail(const QString &error)
{
    m_error = error.isEmpty() ? QStringLiteral("unknown error") : error;
    m_finished = true;
    return false;
}

const std::vector<std::uint32_t> &RowScanner::pages()
{
    if (!m_started)
        start();
    return m_pages;
}

bool RowScanner::start()
{
    m_started = true;
    QString error;
    if (!UsageMap::readPages(m_file, m_table.ownedPagesMap(), &m_pages, &error, &m_pagesPastTheEnd)) {
        m_pages.clear();
        return fail(QStringLiteral("table at page %1: %2").arg(m_table.firstPage()).arg(error));
    }
    return true;
}

bool RowScanner::enterPage()
{
    const std::size_t ps = std::size_t(m_file.pageSize());
    while (m_pageIndex < m_pages.size()) {
        if (m_pageIndex < m_chunkFirst || m_pageIndex >= m_chunkFirst + m_chunkCount) {
            // Read the run of consecutive pages starting here.
            const std::uint32_t first = m_pages[m_pageIndex];
            std::size_t count = 1;
            while (count < std::size_t(kChunkPages) && m_pageIndex + count < m_pages.size()
                   && m_pages[m_pageIndex + count] == first + count)
                ++count;
            m_chunk.resize(count * ps);
            QString error;
            if (!m_file.readPages(first, std::uint32_t(count), m_chunk.data(), &error)) {
                m_chunkCount = 0;
                return fail(error);
            }
            m_chunkFirst = m_pageIndex;
            m_chunkCount = count;
        }
        m_page = m_chunk.data() + (m_pageIndex - m_chunkFirst) * ps;
        const DataPage dp(m_file.layout(), m_page);
        if (!dp.isDataPage() || dp.owner() != m_table.firstPage()) {
            ++m_pageIndex; // not (or no longer) a page of this table
            continue;
        }
        if (!dp.slotTableFits())
            return fail(QStringLiteral("data page %1: %2 slots do not fit the page")
                            .arg(m_pages[m_pageIndex])
                            .arg(dp.slotCount()));
        m_slotCount = dp.slotCount();
        m_slot = 0;
        m_inPage = true;
        return true;
    }
    m_finished = true;
    return false;
}

bool RowScanner::next()
{
    if (m_finished)
        return false;
    if (!m_started && !start())
        return false;
    for (;;) {
        if (!m_inPage && !enterPage())
            return false;
        const DataPage dp(m_file.layout(), m_page);
        while (m_slot < m_slotCount) {
            const int slot = m_slot++;
            if (dp.slotEntry(slot) & DataPage::kDeleted)
                continue;
            const std::uint32_t pageNo = m_pages[m_pageIndex];
            const std::uint8_t *row = nullptr;
            int length = 0;
            QString error;
            if (!RowLocator::locate(m_file, m_table, m_page, pageNo, slot, m_scratch, &row, &length, &error))
                return fail(error);
            if (!m_row.attach(m_table, row, length, RowId{pageNo, std::uint32_t(slot)}, &m_file, &error))
                return fail(error);
            ++m_rowsRead;
            return true;
        }
        m_inPage = false;
        ++m_pageIndex;
    }
}

} // namespace jet

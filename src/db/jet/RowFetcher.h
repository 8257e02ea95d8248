#pragma once
// Reads single rows by row id, for callers that collected (and perhaps sorted) row ids
// during a scan. The last pages read are kept and reused while PageFile::generation() is
// unchanged, so reading ids in page order touches each page once. While the ids come in
// page order from one page to the next, the pages that follow are read with the next one,
// in one read, up to kReadAhead at a time: a month of calls lies on a thousand consecutive
// pages.
//
// The file and the table definition must outlive the fetcher.

#include "db/jet/RowView.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;
class TableDef;

class RowFetcher
{
public:
    RowFetcher(const PageFile &file, const TableDef &table);

    // Reads the live row whose header slot is `id`. False if the page is not a data page
    // of this table, the slot does not exist or is deleted, or the row is damaged.
    bool fetch(RowId id);
    const RowView &row() const { return m_row; }
    const QString &error() const { return m_error; }
    // After a failed fetch: the row is not there any more (deleted, or its page given to
    // something else), as opposed to there but damaged.
    bool rowGone() const { return m_gone; }

    // Forgets the kept page, so that the next fetch reads the file as it is now (another
    // process may have changed it).
    void invalidate() { m_cached = false; }

private:
    const PageFile &m_file;
    const TableDef &m_table;
    // Where the page is kept (reading it, and the pages after it when they are wanted).
    const std::uint8_t *keptPage(std::uint32_t page);

    static constexpr std::uint32_t kReadAhead = 16;
    std::uint32_t m_window = 1;        // pages of the last read
    std::vector<std::uint8_t> m_pages; // m_cachedCount pages from m_cachedFirst
    std::vector<std::uint8_t> m_scratch;
    bool m_cached = false;
    std::uint32_t m_cachedFirst = 0;
    std::uint32_t m_cachedCount = 0;
    std::uint64_t m_generation = 0;
    RowView m_row;
    QString m_error;
    bool m_gone = false;
};

} // namespace jet

#pragma once
// Walks the live rows of a table in page order: the data pages listed by the table's
// owned-pages usage map, ascending, and on each page the slots in order. Deleted slots
// (0x8000) are skipped; moved rows (0x4000) are followed and reported under their header
// slot's row id. Pages whose type or owner does not match (stale pages) are skipped.
//
// Consecutive pages are read with one pread of up to kChunkPages pages, so a full scan
// costs one system call per chunk and keeps only that chunk in memory.
//
//     RowScanner scan(file, table);
//     while (scan.next()) { const RowView &row = scan.row(); ... }
//     if (scan.hasError()) ...
//
// The file and the table definition must outlive the scanner.

#include "db/jet/RowView.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;
class TableDef;

class RowScanner
{
public:
    static constexpr int kChunkPages = 32;

    RowScanner(const PageFile &file, const TableDef &table);
    // Walks only `pages` (data pages of the table, ascending) instead of every page the
    // owned map lists: one share of a scan that several threads divide.
    RowScanner(const PageFile &file, const TableDef &table, std::vector<std::uint32_t> pages);

    // Moves to the next live row. False at the end, or on a damaged page or row (then
    // hasError() is true and error() says where).
    bool next();
    const RowView &row() const { return m_row; }
    RowId rowId() const { return m_row.rowId(); }

    bool hasError() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }

    // Progress: data pages in the owned map (known after the first next()), and how many
    // have been finished.
    std::size_t pageCount() const { return m_pages.size(); }
    std::size_t pagesDone() const { return m_pageIndex; }
    // The data pages the owned map lists (loaded on first use).
    const std::vector<std::uint32_t> &pages();

    // How complete the walk was: live rows returned so far, and the pages the owned map
    // lists past the end of the file (a truncated file lost them). A page that is no data
    // page of this table any more is stale, not lost: Jet leaves such bits in the map.
    std::uint64_t rowsRead() const { return m_rowsRead; }
    std::uint32_t pagesPastTheEnd() const { return m_pagesPastTheEnd; }

private:
    bool start();
    bool enterPage();
    bool fail(const QString &error);

    const PageFile &m_file;
    const TableDef &m_table;
    std::vector<std::uint32_t> m_pages;
    bool m_started = false;
    bool m_finished = false;
    std::size_t m_pageIndex = 0;
    bool m_inPage = false;
    int m_slot = 0;
    int m_slotCount = 0;
    const std::uint8_t *m_page = nullptr;

    std::vector<std::uint8_t> m_chunk;
    std::size_t m_chunkFirst = 0; // index into m_pages of the chunk's first page
    std::size_t m_chunkCount = 0;
    std::vector<std::uint8_t> m_scratch; // target page of a moved row

    RowView m_row;
    QString m_error;
    std::uint64_t m_rowsRead = 0;
    std::uint32_t m_pagesPastTheEnd = 0;
};

} // namespace jet

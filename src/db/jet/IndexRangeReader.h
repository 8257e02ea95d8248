#pragma once
// Reads the entries of one index B-tree whose keys fall in a range, in key order: descends
// from the root to the first leaf that can hold the range's start, then follows the leaves'
// next links until an entry lies past the range's end. Entries with equal keys are ordered
// by their row pointers, which is the order of a table scan.
//
// A damaged tree ends the read with Damaged and an error text, never with a loop or a row
// listed twice: every page is read at most once, must be an index page of the table, and
// the entries must rise from first to last. Entries that point at rows which no longer exist
// are the caller's to notice (RowFetcher fails on them).
//
//     IndexRangeReader reader(file, table, index);
//     std::vector<RowId> rows;
//     switch (reader.read(range, limit, &rows)) ...
//
// The file, the table definition and the index must outlive the reader.

#include "db/jet/IndexEntryList.h"
#include "db/jet/RowId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <unordered_set>
#include <vector>

namespace jet {

class PageFile;
class TableDef;
struct PhysicalIndex;

// The keys a read covers: those whose first low.size() bytes are not below `low` and whose
// first high.size() bytes are not above `high` (a key shorter than a bound compares as the
// bytes it has, shorter before longer). An empty bound leaves that side open.
struct KeyRange
{
    QByteArray low;
    QByteArray high;
};

class IndexRangeReader
{
public:
    enum class Result { Complete, OverLimit, Damaged };
    static constexpr int kMaxDepth = 32;

    IndexRangeReader(const PageFile &file, const TableDef &table, const PhysicalIndex &index);

    // Appends the row pointers of the entries in `range` to `rows`, in index order. Stops
    // with OverLimit once more than `limit` entries were found (`rows` then holds what was
    // read so far), with Damaged (see error()) on a damaged tree.
    Result read(const KeyRange &range, std::size_t limit, std::vector<RowId> *rows);

    const QString &error() const { return m_error; }
    std::size_t pagesRead() const { return m_visited.size(); }

private:
    // Reads and decodes an index page of this table that was not read before.
    bool load(std::uint32_t page);
    // The leaf where the entries at or after `low` begin; 0 when the tree holds none.
    bool descend(const QByteArray &low, std::uint32_t *leaf);
    Result fail(const QString &error);

    const PageFile &m_file;
    const TableDef &m_table;
    const PhysicalIndex &m_index;
    IndexEntryList m_page;
    std::vector<std::uint8_t> m_bytes;
    std::unordered_set<std::uint32_t> m_visited;
    QString m_error;
};

} // namespace jet

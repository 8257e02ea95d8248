#pragma once
// An independent consistency check of a table and its indexes, used after every change in
// the tests and by "orvik-cli check". It reads the file afresh and verifies:
//   - the row count in the table definition equals the live rows;
//   - every physical index holds exactly one entry per live row (none for a row whose key
//     columns are all NULL when the index ignores nulls), and every leaf entry names a
//     live row;
//   - entries are in key order (key bytes compared unsigned; the encoding carries any
//     descending order), across the leaves from left to right;
//   - each node entry equals the last entry of its child's subtree (tails have no entry);
//   - pages of one level are linked to their neighbours by their previous/next fields;
//   - every free-space field equals what the page's entries leave;
//   - all leaves lie at the same depth and no page is reached twice;
//   - no leaf but the root is empty;
//   - the global usage map marks no page of an index unused.
// The result is a list of human-readable problems; an empty list means the table is sound.

#include <QStringList>

#include <cstdint>
#include <functional>

namespace jet {

class Database;
class PageFile;
class TableDef;

class Checker
{
public:
    // At most this many problems are reported per index (the rest are counted).
    static constexpr int kMaxProblemsPerIndex = 20;

    // Called with the number of pages read since the last call, for a progress indicator.
    using PagesRead = std::function<void(std::uint64_t pages)>;

    static QStringList checkTable(const PageFile &file, const TableDef &table, const PagesRead &pagesRead = {});
    // Every user table; each line starts with the table's name.
    static QStringList checkDatabase(const Database &db, const PagesRead &pagesRead = {});
};

} // namespace jet

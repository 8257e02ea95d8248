#pragma once
// Deletes rows of one table in place, as one transaction under the rollback journal:
// either every row goes, with every index consistent, or the file stays exactly as it was.
//
// Per row it flags the header slot 0xC000 (the row's bytes and the page's free space stay),
// lowers the row count in the table definition (never below 0), and removes the row's
// entry from every physical index (each tree once, whatever the logical indexes sharing
// it), with the tree repairs IndexTreeEditor describes; index pages that empty out are
// freed in the global usage map (page 1). Long values of a deleted row stay where they are
// until Access compacts the file. Overflowed rows are deleted through their header slot,
// which is what index entries point to.
//
// All pages are changed in memory first; a page touched by several rows is journalled and
// written once. Index keys over fixed-size numbers and dates are built from the row so the
// trees can be descended; other keys are found by searching the leaves for the row pointer.
//
//     RowDeleter deleter(file, table);   // file opened ReadWrite, journal recovered
//     if (!deleter.deleteRows(ids, &error)) ...   // nothing changed; error says why
//
// After a successful delete the caller reloads the table definition (its row count).

#include "db/jet/RowId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace jet {

class IndexTreeEditor;
class PageBatch;
class PageFile;
class TableDef;

class RowDeleter
{
public:
    struct Stats
    {
        int rows = 0;
        int pagesWritten = 0;
        int indexPagesFreed = 0;
        int freedOutsideMap = 0; // freed pages the global map does not cover (left unused)
        int descents = 0;        // index entries reached by descending the tree
        int walks = 0;           // index entries found by searching every leaf for one row
        int leafSearches = 0;    // searches of every leaf for the text-keyed rows of a batch
    };

    RowDeleter(PageFile &file, const TableDef &table);

    // Deletes the live rows `rows` (header row ids, as RowScanner reports them). False, with
    // the file unchanged, if a row is not live, is listed twice, an index lacks its entry, a
    // page is damaged, an index page would need a split, the file is read-only, or writing
    // fails.
    bool deleteRows(const std::vector<RowId> &rows, QString *error = nullptr);

    const Stats &stats() const { return m_stats; }

private:
    // A row on its way out, checked: its id, and per physical index its entry or that it
    // has none.
    struct RowToDelete
    {
        RowId id;
        std::vector<char> skip;        // per index: no entry (all key columns NULL, nulls ignored)
        std::vector<QByteArray> entry; // per index: key + row pointer, empty if not buildable
    };
    using Editors = std::vector<std::unique_ptr<IndexTreeEditor>>;

    // Whether the file is open for writing and the table definition belongs to it.
    bool checkFileAndTable(QString *error) const;
    // An editor for each physical index; false when an index has no valid root page.
    bool openIndexEditors(PageBatch &batch, Editors &editors, QString *error) const;
    // Checks every row and finds its index entries; false, refusing the whole delete, when
    // one of them cannot go.
    bool collectRows(const std::vector<RowId> &rows, PageBatch &batch, Editors &editors, std::vector<RowToDelete> &work,
                     QString *error);
    // Flags the rows deleted, counts them off *rowCount and takes their index entries out.
    bool removeRows(const std::vector<RowToDelete> &work, PageBatch &batch, Editors &editors, std::uint32_t *rowCount,
                    QString *error);
    // Writes the index changes and frees the index pages that emptied out.
    bool releaseIndexPages(PageBatch &batch, Editors &editors, QString *error);

    PageFile &m_file;
    const TableDef &m_table;
    Stats m_stats;
};

} // namespace jet

#pragma once
// Removes entries from one index B-tree inside a write transaction. Pages are read through
// the transaction's PageBatch, kept decoded while the transaction runs, and encoded back
// into the batch by flush().
//
// A node entry holds the last entry (key and row pointer) of its child's whole subtree; a
// node's tail child has no entry of its own and holds the keys after the node's last entry.
// Removing an entry therefore may:
//   - change a page's last entry: the parent's entry for that page takes the new last
//     entry, and so on upward while the page is its parent's rightmost child (a tail child
//     passes the change on to the grandparent, having no entry of its own);
//   - empty a page: the parent's entry for it is removed (or its tail pointer cleared), its
//     neighbours on the same level are linked to each other and the page is freed; a parent
//     left with only its tail turns the tail into a normal entry, a parent left with nothing
//     goes the same way, and an emptied root becomes an empty leaf.
// A change that would need a page split (a longer replacement key in a full node) is
// refused by flush().

#include "db/jet/Format.h"
#include "db/jet/IndexPage.h"
#include "db/jet/RowId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace jet {

class PageBatch;

class IndexTreeEditor
{
public:
    static constexpr int kMaxDepth = 32;

    IndexTreeEditor(PageBatch &batch, Format format, int pageSize, std::uint32_t rootPage);

    // Removes the entry that points to `row`. With `entry` (the entry's key and row pointer,
    // when the caller could build the key) the tree is descended by key; otherwise, or when
    // the descent does not find the entry, every leaf is searched for the row pointer.
    // False with an error text if there is no such entry or a page is damaged.
    bool remove(RowId row, const QByteArray *entry, QString *error = nullptr);

    // Searches the leaves once for the entries of many rows (whose keys the caller could not
    // build) and returns each found entry's key and row pointer by row pointer, for
    // remove() to descend with. Rows without an entry are simply absent from the result.
    bool findEntries(const std::unordered_set<std::uint32_t> &rowPointers,
                     std::unordered_map<std::uint32_t, QByteArray> *entries, QString *error = nullptr);

    // Encodes every changed page into the batch and zeroes the first 4 bytes of each freed
    // page. False if a page's entries no longer fit it.
    bool flush(QString *error = nullptr);

    const std::vector<std::uint32_t> &freedPages() const { return m_freed; }
    int descents() const { return m_descents; } // entries found by key
    int walks() const { return m_walks; }       // entries found by searching the leaves

private:
    struct Step
    {
        std::uint32_t page = 0;
        int index = -1; // entry followed down, -1 = the tail
    };

    IndexPage *page(std::uint32_t number, QString *error);
    void touch(std::uint32_t number) { m_dirty.insert(number); }
    // 1 found, 0 not found, -1 damaged (error set).
    int descend(const QByteArray &entry, std::vector<Step> *path, std::uint32_t *leaf, int *index, QString *error);
    int walk(std::uint32_t pageNo, int depth, RowId row, std::vector<Step> *path, std::uint32_t *leaf, int *index,
             std::set<std::uint32_t> &visited, QString *error);
    bool collect(std::uint32_t pageNo, int depth, const std::unordered_set<std::uint32_t> &rowPointers,
                 std::unordered_map<std::uint32_t, QByteArray> *entries, std::set<std::uint32_t> &visited,
                 QString *error);
    bool removeChild(const std::vector<Step> &path, int level, std::uint32_t child, QString *error);
    bool propagateLast(const std::vector<Step> &path, int level, const QByteArray &last, QString *error);
    bool subtreeLast(std::uint32_t pageNo, QByteArray *last, QString *error);
    bool unlinkAndFree(std::uint32_t pageNo, QString *error);

    PageBatch &m_batch;
    Format m_format;
    int m_pageSize;
    std::uint32_t m_root;
    std::map<std::uint32_t, IndexPage> m_pages;
    std::set<std::uint32_t> m_dirty;
    std::vector<std::uint32_t> m_freed;
    std::vector<std::uint8_t> m_scratch;
    std::vector<RowId> m_rowIds;
    int m_descents = 0;
    int m_walks = 0;
};

} // namespace jet

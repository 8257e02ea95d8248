#include "db/jet/IndexRangeReader.h"

#include "db/jet/Bytes.h"
#include "db/jet/IndexDefinition.h"
#include "db/jet/IndexPage.h"
#include "db/jet/PageFile.h"
#include "db/jet/TableDef.h"

#include <cstring>

namespace jet {

namespace {

// Compares the first bound.size() bytes of an entry with the bound.
int compareToBound(QByteArrayView entry, const QByteArray &bound)
{
    const qsizetype n = std::min(entry.size(), bound.size());
    const int c = std::memcmp(entry.data(), bound.constData(), std::size_t(n));
    if (c != 0)
        return c;
    return entry.size() < bound.size() ? -1 : 0;
}

int compareEntries(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const int c = std::memcmp(a.data(), b.data(), std::size_t(n));
    if (c != 0)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The owning table's definition page, at the same place on index pages of both formats.
constexpr int kOwnerOffset = 0x04;

} // namespace

IndexRangeReader::IndexRangeReader(const PageFile &file, const TableDef &table, const PhysicalIndex &index)
    : m_file(file)
    , m_table(table)
    , m_index(index)
{}

IndexRangeReader::Result IndexRangeReader::fail(const QString &error)
{
    m_error = QStringLiteral("index with root page %1: %2").arg(m_index.rootPage).arg(error);
    return Result::Damaged;
}

bool IndexRangeReader::load(std::uint32_t page)
{
    if (page < 3 || page >= m_file.pageCount()) {
        fail(QStringLiteral("a link points to page %1, which cannot be an index page").arg(page));
        return false;
    }
    if (!m_visited.insert(page).second) {
        fail(QStringLiteral("page %1 is reached twice (the tree loops)").arg(page));
        return false;
    }
    m_bytes.resize(std::size_t(m_file.pageSize()));
    QString why;
    if (!m_file.readPage(page, m_bytes.data(), &why)
        || !m_page.decode(m_file.format(), m_file.pageSize(), m_bytes.data(), &why)) {
        fail(QStringLiteral("page %1: %2").arg(page).arg(why));
        return false;
    }
    if (readU32(m_bytes.data() + kOwnerOffset) != m_table.firstPage()) {
        fail(QStringLiteral("page %1 is not an index page of this table").arg(page));
        return false;
    }
    return true;
}

bool IndexRangeReader::descend(const QByteArray &low, std::uint32_t *leaf)
{
    std::uint32_t current = m_index.rootPage;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (!load(current))
            return false;
        if (m_page.isLeaf()) {
            *leaf = current;
            return true;
        }
        // A node entry holds the last entry of its child's subtree: the first child whose
        // subtree reaches `low` holds the start; past the last entry only the tail can.
        std::uint32_t next = m_page.tail();
        for (std::size_t i = 0; i < m_page.size(); ++i) {
            if (low.isEmpty() || compareToBound(m_page.entry(i), low) >= 0) {
                next = m_page.child(i);
                break;
            }
        }
        if (next == 0) {
            *leaf = 0;
            return true;
        }
        current = next;
    }
    fail(QStringLiteral("the tree is deeper than %1 levels").arg(kMaxDepth));
    return false;
}

IndexRangeReader::Result IndexRangeReader::read(const KeyRange &range, std::size_t limit, std::vector<RowId> *rows)
{
    m_error.clear();
    m_visited.clear();
    std::uint32_t leaf = 0;
    if (!descend(range.low, &leaf))
        return Result::Damaged;
    std::size_t found = 0;
    std::vector<char> previousLeafLast; // the last entry of the leaf before
    while (leaf != 0) {
        if (!m_page.isLeaf())
            return fail(QStringLiteral("page %1 is linked among the leaves but is not a leaf").arg(leaf));
        for (std::size_t i = 0; i < m_page.size(); ++i) {
            const QByteArrayView entry = m_page.entry(i);
            const QByteArrayView previous =
                i > 0 ? m_page.entry(i - 1)
                      : QByteArrayView(previousLeafLast.data(), qsizetype(previousLeafLast.size()));
            if ((i > 0 || !previousLeafLast.empty()) && compareEntries(entry, previous) <= 0)
                return fail(QStringLiteral("the entries of page %1 do not rise").arg(leaf));
            if (!range.low.isEmpty() && compareToBound(entry, range.low) < 0)
                continue;
            if (!range.high.isEmpty() && compareToBound(entry, range.high) > 0)
                return Result::Complete;
            if (++found > limit)
                return Result::OverLimit;
            rows->push_back(m_page.rowId(i));
        }
        if (!m_page.empty()) {
            const QByteArrayView last = m_page.entry(m_page.size() - 1);
            previousLeafLast.assign(last.begin(), last.end());
        }
        leaf = m_page.next();
        if (leaf != 0 && !load(leaf))
            return Result::Damaged;
    }
    return Result::Complete;
}

} // namespace jet

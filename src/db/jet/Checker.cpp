#include "db/jet/Checker.h"

#include "db/jet/Database.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/IndexPage.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDef.h"
#include "db/jet/UsageMap.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace jet {

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// Walks one physical index and collects what it finds.
class IndexCheck
{
public:
    IndexCheck(const PageFile &file, int number, const std::unordered_set<std::uint32_t> &live,
               const std::unordered_set<std::uint32_t> &expected, const std::vector<std::uint32_t> &unused,
               const Checker::PagesRead &pagesRead)
        : m_file(file)
        , m_number(number)
        , m_live(live)
        , m_expected(expected)
        , m_unused(unused)
        , m_pagesRead(pagesRead)
    {}

    QStringList run(std::uint32_t root)
    {
        if (root == 0 || root >= m_file.pageCount()) {
            problem(QStringLiteral("its root page %1 is not a page of the file").arg(root));
            return m_problems;
        }
        QByteArray last;
        visit(root, 0, &last);
        checkLevels();
        if (m_entries != m_expected.size())
            problem(
                QStringLiteral("it has %1 entries for %2 rows that need one").arg(m_entries).arg(m_expected.size()));
        for (const std::uint32_t pointer : m_expected) {
            if (!m_seen.count(pointer))
                problem(QStringLiteral("row %1 has no entry").arg(RowId::fromPointer(pointer).toString()));
        }
        if (m_suppressed > 0)
            m_problems << QStringLiteral("index %1: %2 more problems").arg(m_number).arg(m_suppressed);
        return m_problems;
    }

private:
    void problem(const QString &text)
    {
        if (m_problems.size() >= Checker::kMaxProblemsPerIndex) {
            ++m_suppressed;
            return;
        }
        m_problems << QStringLiteral("index %1: %2").arg(m_number).arg(text);
    }

    // Checks the subtree at `pageNo`; `last` receives its last entry (empty if none).
    void visit(std::uint32_t pageNo, int depth, QByteArray *last)
    {
        last->clear();
        if (depth > 32) {
            problem(QStringLiteral("the tree is deeper than 32 levels at page %1").arg(pageNo));
            return;
        }
        if (pageNo < 3 || pageNo >= m_file.pageCount()) {
            problem(QStringLiteral("a link points to page %1, outside the file's index pages").arg(pageNo));
            return;
        }
        if (!m_visited.insert(pageNo).second) {
            problem(QStringLiteral("page %1 is reached twice").arg(pageNo));
            return;
        }
        std::vector<std::uint8_t> bytes(std::size_t(m_file.pageSize()));
        QString why;
        IndexPage page;
        if (!m_file.readPage(pageNo, bytes.data(), &why)
            || !page.decode(m_file.format(), m_file.pageSize(), bytes.data(), &why)) {
            problem(QStringLiteral("page %1: %2").arg(pageNo).arg(why));
            return;
        }
        if (m_pagesRead)
            m_pagesRead(1);
        // A page the global map calls unused would be handed out again for new data.
        if (std::binary_search(m_unused.begin(), m_unused.end(), pageNo))
            problem(QStringLiteral("page %1 is in the tree but the global usage map marks it unused").arg(pageNo));
        if (m_levels.size() <= std::size_t(depth))
            m_levels.resize(std::size_t(depth) + 1);
        m_levels[std::size_t(depth)].push_back(Linked{pageNo, page.prev, page.next});

        const int expectedFree =
            m_file.pageSize() - IndexPage::offsets(m_file.format()).entries - page.storedEntryBytes;
        if (page.freeSpace != expectedFree)
            problem(QStringLiteral("page %1 says %2 bytes are free, its entries leave %3")
                        .arg(pageNo)
                        .arg(page.freeSpace)
                        .arg(expectedFree));

        if (page.isLeaf()) {
            if (m_leafDepth < 0)
                m_leafDepth = depth;
            else if (m_leafDepth != depth)
                problem(QStringLiteral("leaf %1 lies at depth %2, other leaves at %3")
                            .arg(pageNo)
                            .arg(depth)
                            .arg(m_leafDepth));
            // Only the root may be an empty leaf; an emptied leaf below it must have left the
            // tree (a tail has no entry of its own that would show it).
            if (depth > 0 && page.entries.empty())
                problem(QStringLiteral("leaf %1 has no entries but is still linked into the tree").arg(pageNo));
            for (std::size_t i = 0; i < page.entries.size(); ++i)
                leafEntry(pageNo, int(i), page.entries[i]);
            if (!page.entries.empty())
                *last = page.entries.back().bytes;
            return;
        }
        if (page.entries.empty() && page.tail == 0)
            problem(QStringLiteral("node %1 has neither entries nor a tail").arg(pageNo));
        for (std::size_t i = 0; i < page.entries.size(); ++i) {
            const IndexPage::Entry &e = page.entries[i];
            QByteArray childLast;
            visit(e.child, depth + 1, &childLast);
            if (childLast != e.bytes)
                problem(QStringLiteral("node %1 entry %2 (%3) differs from the last entry of child %4 (%5)")
                            .arg(pageNo)
                            .arg(i)
                            .arg(hex(e.bytes))
                            .arg(e.child)
                            .arg(hex(childLast)));
            *last = e.bytes;
        }
        if (page.tail != 0) {
            QByteArray tailLast;
            visit(page.tail, depth + 1, &tailLast);
            if (!tailLast.isEmpty())
                *last = tailLast;
        }
    }

    void leafEntry(std::uint32_t pageNo, int index, const IndexPage::Entry &e)
    {
        ++m_entries;
        const QByteArray key = e.key();
        if (m_haveKey && IndexPage::compareEntryBytes(key, m_previousKey) < 0)
            problem(QStringLiteral("leaf %1 entry %2 (%3) sorts before the entry preceding it (%4)")
                        .arg(pageNo)
                        .arg(index)
                        .arg(hex(key))
                        .arg(hex(m_previousKey)));
        m_previousKey = key;
        m_haveKey = true;
        const RowId row = e.rowId();
        const std::uint32_t pointer = row.toPointer();
        if (!m_live.count(pointer))
            problem(QStringLiteral("leaf %1 entry %2 points to row %3, which is not a live row")
                        .arg(pageNo)
                        .arg(index)
                        .arg(row.toString()));
        else if (!m_expected.count(pointer))
            problem(QStringLiteral("leaf %1 entry %2 points to row %3, whose key is NULL in an index that "
                                   "ignores nulls")
                        .arg(pageNo)
                        .arg(index)
                        .arg(row.toString()));
        if (!m_seen.insert(pointer).second)
            problem(QStringLiteral("row %1 has more than one entry").arg(row.toString()));
    }

    void checkLevels()
    {
        for (std::size_t level = 0; level < m_levels.size(); ++level) {
            const auto &pages = m_levels[level];
            for (std::size_t i = 0; i < pages.size(); ++i) {
                const std::uint32_t wantPrev = i == 0 ? 0 : pages[i - 1].page;
                const std::uint32_t wantNext = i + 1 == pages.size() ? 0 : pages[i + 1].page;
                if (pages[i].prev != wantPrev || pages[i].next != wantNext)
                    problem(QStringLiteral("page %1 (level %2) links to %3 and %4 instead of its neighbours %5 and %6")
                                .arg(pages[i].page)
                                .arg(level)
                                .arg(pages[i].prev)
                                .arg(pages[i].next)
                                .arg(wantPrev)
                                .arg(wantNext));
            }
        }
    }

    struct Linked
    {
        std::uint32_t page;
        std::uint32_t prev;
        std::uint32_t next;
    };

    const PageFile &m_file;
    int m_number;
    const std::unordered_set<std::uint32_t> &m_live;
    const std::unordered_set<std::uint32_t> &m_expected;
    const std::vector<std::uint32_t> &m_unused; // ascending
    const Checker::PagesRead &m_pagesRead;
    QStringList m_problems;
    int m_suppressed = 0;
    std::set<std::uint32_t> m_visited;
    std::vector<std::vector<Linked>> m_levels;
    int m_leafDepth = -1;
    std::size_t m_entries = 0;
    std::unordered_set<std::uint32_t> m_seen;
    QByteArray m_previousKey;
    bool m_haveKey = false;
};

} // namespace

QStringList Checker::checkTable(const PageFile &file, const TableDef &table, const PagesRead &pagesRead)
{
    QStringList problems;
    const auto &indexes = table.physicalIndexes();
    std::unordered_set<std::uint32_t> live;
    std::vector<std::unordered_set<std::uint32_t>> expected(indexes.size());
    RowScanner scan(file, table);
    std::size_t pagesReported = 0;
    while (scan.next()) {
        if (pagesRead && scan.pagesDone() != pagesReported) {
            pagesRead(scan.pagesDone() - pagesReported);
            pagesReported = scan.pagesDone();
        }
        const RowView &row = scan.row();
        const std::uint32_t pointer = row.rowId().toPointer();
        live.insert(pointer);
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (!(indexes[i].ignoresNulls() && IndexKeyEncoder::allKeyColumnsNull(indexes[i], row)))
                expected[i].insert(pointer);
        }
    }
    if (scan.hasError()) {
        problems << QStringLiteral("rows: %1").arg(scan.error());
        return problems;
    }
    if (table.rowCount() != live.size())
        problems << QStringLiteral("the table definition counts %1 rows, %2 are live")
                        .arg(table.rowCount())
                        .arg(live.size());
    std::vector<std::uint32_t> unused;
    QString why;
    if (!UsageMap::readPages(file, RowId{1, 0}, &unused, &why))
        problems << QStringLiteral("the global usage map: %1").arg(why);
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        IndexCheck check(file, int(i), live, expected[i], unused, pagesRead);
        problems << check.run(indexes[i].rootPage);
    }
    return problems;
}

QStringList Checker::checkDatabase(const Database &db, const PagesRead &pagesRead)
{
    QStringList problems;
    for (const QString &name : db.userTableNames()) {
        QString error;
        const auto table = db.table(name, &error);
        if (!table) {
            problems << QStringLiteral("%1: %2").arg(name, error);
            continue;
        }
        for (const QString &line : checkTable(db.file(), *table, pagesRead))
            problems << QStringLiteral("%1: %2").arg(name, line);
    }
    return problems;
}

} // namespace jet

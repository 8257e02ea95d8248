#include "db/exec/RowCollector.h"

#include "db/exec/DebugTrace.h"
#include "db/exec/OrderKeys.h"
#include "db/jet/IndexRangeReader.h"
#include "db/jet/ParallelScan.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDef.h"
#include "db/jet/UsageMap.h"
#include "db/sql/AccessPlanner.h"
#include "db/sql/SqlStatement.h"
#include "task/CancelToken.h"

#include <algorithm>
#include <numeric>

namespace {

// Rows read between two looks at the request's cancel token.
constexpr std::size_t kRowsBetweenCancelChecks = 1024;

// The values of a row, decoded only for the columns a condition or the order asks for.
class RowViewSource : public sql::RowSource
{
public:
    explicit RowViewSource(const std::vector<sql::SqlType> &types) : m_types(types) {}
    void attach(const jet::RowView *row) { m_row = row; }

    sql::SqlValue value(int column) const override
    {
        if (m_row->isNull(column))
            return sql::SqlValue::null();
        switch (m_types[size_t(column)]) {
        case sql::SqlType::Boolean: {
            std::int64_t v = 0;
            m_row->integer(column, &v);
            return sql::SqlValue::fromNumber(v ? -1.0 : 0.0);
        }
        case sql::SqlType::Number: {
            double v = 0;
            return m_row->real(column, &v) ? sql::SqlValue::fromNumber(v) : sql::SqlValue::null();
        }
        case sql::SqlType::Date: {
            double v = 0;
            return m_row->dateTime(column, &v) ? sql::SqlValue::fromDate(v) : sql::SqlValue::null();
        }
        case sql::SqlType::Text:
            // A damaged text value matches nothing, as NULL does.
            return m_row->text(column, m_text) ? sql::SqlValue::fromText(m_text) : sql::SqlValue::null();
        case sql::SqlType::Binary:
        case sql::SqlType::Null:
            break;
        }
        return sql::SqlValue::binary();
    }

    std::optional<QByteArrayView> latin1Text(int column) const override
    {
        QByteArrayView bytes;
        if (m_row->compressedText(column, &bytes))
            return bytes;
        return std::nullopt;
    }

private:
    const std::vector<sql::SqlType> &m_types;
    const jet::RowView *m_row = nullptr;
    mutable QString m_text;
};

// The rows one share of a scan selected.
struct ShareRows
{
    std::vector<jet::RowId> rows;
    OrderKeys keys;
};

// Reverses an order read from an index backwards, but keeps rows with equal values in their
// forward order (the order of the table).
void reverseKeepingTies(std::vector<std::uint32_t> &order, const OrderKeys &keys)
{
    std::reverse(order.begin(), order.end());
    std::size_t start = 0;
    for (std::size_t i = 1; i <= order.size(); ++i) {
        if (i == order.size() || keys.compare(order[i - 1], order[i]) != 0) {
            std::reverse(order.begin() + std::ptrdiff_t(start), order.begin() + std::ptrdiff_t(i));
            start = i;
        }
    }
}

std::vector<jet::RowId> arranged(const std::vector<jet::RowId> &rows, const std::vector<std::uint32_t> &order)
{
    std::vector<jet::RowId> out;
    out.reserve(order.size());
    for (const std::uint32_t i : order)
        out.push_back(rows[i]);
    return out;
}

} // namespace

RowCollector::RowCollector(const jet::PageFile &file, const jet::TableDef &table, const sql::Statement &statement,
                           const std::vector<sql::SqlType> &types)
    : m_file(file)
    , m_table(table)
    , m_statement(statement)
    , m_types(types)
{}

RowCollector::Paths RowCollector::pathsFromEnvironment()
{
    const QByteArray force = qgetenv("ORVIK_FORCE_SCAN");
    return !force.isEmpty() && force != "0" ? Paths::ScanOnly : Paths::Choose;
}

void RowCollector::leaveIndex(int index, const QString &why)
{
    DebugTrace("RowCollector: index %d of table %u is damaged (%s); the rows are found without it\n", index,
               m_table.firstPage(), TraceText(why).constData());
}

bool RowCollector::collect(std::vector<jet::RowId> *rows, QString *error)
{
    rows->clear();
    m_road.clear();
    m_report = ScanReport();
    // A request cancelled while its rows are sought ends here, wherever it noticed.
    try {
        if (m_paths != Paths::ScanOnly && collectByIndex(rows))
            return true;
        OrderKeys keys(m_statement.orderBy, m_types);
        if (!collectByScan(rows, &keys, error))
            return false;
        m_road = QStringLiteral("scan");
        order(rows, keys);
        return true;
    } catch (const TaskCancelled &) {
        rows->clear();
        if (error)
            *error = QStringLiteral("cancelled");
        return false;
    }
}

bool RowCollector::collectByIndex(std::vector<jet::RowId> *rows)
{
    const std::vector<sql::IndexPath> paths = sql::AccessPlanner::rangePaths(m_statement, m_table);
    std::size_t limit = m_paths == Paths::PreferIndexes ? SIZE_MAX : m_table.rowCount() / kIndexShare;
    const sql::IndexPath *best = nullptr;
    std::vector<jet::RowId> bestRows;
    for (const sql::IndexPath &path : paths) {
        jet::IndexRangeReader reader(m_file, m_table, m_table.physicalIndexes()[std::size_t(path.index)]);
        std::vector<jet::RowId> candidates;
        switch (reader.read(path.range, limit, &candidates)) {
        case jet::IndexRangeReader::Result::Damaged:
            leaveIndex(path.index, reader.error());
            break;
        case jet::IndexRangeReader::Result::OverLimit:
            break;
        case jet::IndexRangeReader::Result::Complete:
            if (!best || candidates.size() < bestRows.size()) {
                best = &path;
                bestRows.swap(candidates);
                limit = bestRows.size();
            }
            break;
        }
    }
    if (!best)
        return false;
    QString damage;
    if (!fetchCandidates(*best, bestRows, rows, &damage)) {
        leaveIndex(best->index, damage);
        rows->clear();
        return false;
    }
    std::vector<std::uint32_t> pages;
    std::uint32_t pagesLost = 0;
    jet::UsageMap::readPages(m_file, m_table.ownedPagesMap(), &pages, nullptr, &pagesLost);
    m_report = ScanReport(m_statement.table, m_table.rowCount(), m_table.rowCount(), pagesLost);
    m_road = QStringLiteral("index %1").arg(best->index);
    return true;
}

bool RowCollector::fetchCandidates(const sql::IndexPath &path, const std::vector<jet::RowId> &candidates,
                                   std::vector<jet::RowId> *rows, QString *damage)
{
    // The candidates in page order, so that each data page is read once. Rows written in
    // time order come out of a time index in page order already.
    std::vector<std::uint32_t> byRow(candidates.size());
    std::iota(byRow.begin(), byRow.end(), std::uint32_t(0));
    if (!std::is_sorted(candidates.begin(), candidates.end()))
        std::sort(byRow.begin(), byRow.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return candidates[a] < candidates[b]; });
    std::vector<jet::RowId> matched;
    std::vector<std::uint32_t> indexPlace; // where each matched row stood in the index
    OrderKeys keys(m_statement.orderBy, m_types);
    jet::RowFetcher fetcher(m_file, m_table);
    RowViewSource source(m_types);
    for (std::size_t i = 0; i < byRow.size(); ++i) {
        if (i % kRowsBetweenCancelChecks == 0)
            throwIfCancelled();
        const jet::RowId id = candidates[byRow[i]];
        if (i > 0 && candidates[byRow[i - 1]] == id) {
            *damage = QStringLiteral("it lists row %1 twice").arg(id.toString());
            return false;
        }
        if (!fetcher.fetch(id)) {
            *damage = QStringLiteral("an entry points at row %1: %2").arg(id.toString(), fetcher.error());
            return false;
        }
        source.attach(&fetcher.row());
        if (!m_statement.matches(source))
            continue;
        matched.push_back(id);
        indexPlace.push_back(byRow[i]);
        keys.append(source);
    }
    if (path.givesOrder && !keys.isEmpty()) {
        std::vector<std::uint32_t> inIndex(matched.size());
        std::iota(inIndex.begin(), inIndex.end(), std::uint32_t(0));
        if (!std::is_sorted(indexPlace.begin(), indexPlace.end()))
            std::sort(inIndex.begin(), inIndex.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return indexPlace[a] < indexPlace[b]; });
        if (path.reverse)
            reverseKeepingTies(inIndex, keys);
        // Values the index files apart but the order holds equal (the two zeros, NaNs) are
        // the only way the two orders can differ; then the rows are sorted after all.
        if (keys.isInOrder(matched, inIndex)) {
            *rows = arranged(matched, inIndex);
            return true;
        }
    }
    order(&matched, keys);
    rows->swap(matched);
    return true;
}

bool RowCollector::collectByScan(std::vector<jet::RowId> *rows, OrderKeys *keys, QString *error)
{
    jet::ParallelScan scan(m_file, m_table);
    if (!scan.prepare(error))
        return false;
    std::vector<ShareRows> shares(scan.shareCount(), ShareRows{{}, *keys});
    const bool scanned = scan.run(
        [&](std::size_t share, jet::RowScanner &scanner) {
            ShareRows &found = shares[share];
            RowViewSource source(m_types);
            while (scanner.next()) {
                source.attach(&scanner.row());
                if (m_statement.matches(source)) {
                    found.rows.push_back(scanner.rowId());
                    found.keys.append(source);
                }
            }
        },
        error);
    if (!scanned)
        return false;
    m_report = ScanReport(m_statement.table, scan.rowsRead(), m_table.rowCount(), scan.pagesPastTheEnd());
    std::size_t total = 0;
    for (const ShareRows &share : shares)
        total += share.rows.size();
    rows->reserve(total);
    for (ShareRows &share : shares) {
        rows->insert(rows->end(), share.rows.begin(), share.rows.end());
        share.rows = {};
        keys->take(share.keys);
    }
    return true;
}

void RowCollector::order(std::vector<jet::RowId> *rows, const OrderKeys &keys)
{
    if (keys.isEmpty() || rows->size() < 2)
        return;
    const std::optional<sql::IndexPath> path = sql::AccessPlanner::orderPath(m_statement, m_table);
    const bool large = rows->size() >= m_table.rowCount() / kIndexShare;
    if (path && m_paths != Paths::ScanOnly && (large || m_paths == Paths::PreferIndexes)) {
        std::vector<std::uint32_t> positions;
        QString damage;
        if (indexOrder(*path, *rows, &positions, &damage)) {
            if (path->reverse)
                reverseKeepingTies(positions, keys);
            if (keys.isInOrder(*rows, positions)) {
                *rows = arranged(*rows, positions);
                m_road += QStringLiteral(", index %1 order").arg(path->index);
                return;
            }
        } else {
            leaveIndex(path->index, damage);
        }
    }
    *rows = arranged(*rows, keys.sortedOrder(*rows));
}

bool RowCollector::indexOrder(const sql::IndexPath &path, const std::vector<jet::RowId> &rows,
                              std::vector<std::uint32_t> *positions, QString *damage)
{
    jet::IndexRangeReader reader(m_file, m_table, m_table.physicalIndexes()[std::size_t(path.index)]);
    std::vector<jet::RowId> entries;
    if (reader.read(path.range, SIZE_MAX, &entries) != jet::IndexRangeReader::Result::Complete) {
        *damage = reader.error();
        return false;
    }
    // `rows` is in table order, which is row id order: each entry's row is found by halving.
    std::vector<bool> placed(rows.size());
    positions->clear();
    positions->reserve(rows.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i % kRowsBetweenCancelChecks == 0)
            throwIfCancelled();
        const jet::RowId &id = entries[i];
        const auto at = std::lower_bound(rows.begin(), rows.end(), id);
        if (at == rows.end() || *at != id)
            continue; // a row the condition left out
        const auto position = std::size_t(at - rows.begin());
        if (placed[position]) {
            *damage = QStringLiteral("it lists row %1 twice").arg(id.toString());
            return false;
        }
        placed[position] = true;
        positions->push_back(std::uint32_t(position));
    }
    if (positions->size() != rows.size()) {
        *damage = QStringLiteral("it has no entry for %1 of the rows").arg(rows.size() - positions->size());
        return false;
    }
    return true;
}

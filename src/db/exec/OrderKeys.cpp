#include "db/exec/OrderKeys.h"

#include "task/CancelToken.h"

#include <algorithm>
#include <cmath>
#include <numeric>

OrderKeys::OrderKeys(const std::vector<sql::Statement::OrderKey> &keys, const std::vector<sql::SqlType> &types)
{
    for (const auto &key : keys) {
        Column c;
        c.column = key.column;
        c.descending = key.descending;
        c.text = key.column >= 0 && std::size_t(key.column) < types.size()
                 && types[std::size_t(key.column)] == sql::SqlType::Text;
        m_columns.push_back(std::move(c));
    }
}

void OrderKeys::append(const sql::RowSource &row)
{
    for (Column &c : m_columns) {
        sql::SqlValue v = row.value(c.column);
        c.nulls.push_back(v.isNull());
        if (c.text)
            c.texts.push_back(std::move(v.text));
        else
            c.numbers.push_back(v.number); // a binary value counts as 0, like every other one
    }
}

void OrderKeys::take(OrderKeys &other)
{
    for (std::size_t k = 0; k < m_columns.size() && k < other.m_columns.size(); ++k) {
        Column &to = m_columns[k];
        Column &from = other.m_columns[k];
        to.nulls.insert(to.nulls.end(), from.nulls.begin(), from.nulls.end());
        to.numbers.insert(to.numbers.end(), from.numbers.begin(), from.numbers.end());
        to.texts.insert(to.texts.end(), std::make_move_iterator(from.texts.begin()),
                        std::make_move_iterator(from.texts.end()));
        from = Column{from.column, from.descending, from.text, {}, {}, {}};
    }
}

int OrderKeys::compare(std::size_t a, std::size_t b) const
{
    for (const Column &c : m_columns) {
        int r = 0;
        const bool nullA = c.nulls[a];
        const bool nullB = c.nulls[b];
        if (nullA || nullB) {
            r = nullA == nullB ? 0 : (nullA ? -1 : 1);
        } else if (c.text) {
            r = c.texts[a].compare(c.texts[b], Qt::CaseInsensitive);
        } else {
            // NaN sorts after every number (where its bits put it in an index), so that the
            // order stays a total one.
            const double x = c.numbers[a];
            const double y = c.numbers[b];
            if (std::isnan(x) || std::isnan(y))
                r = std::isnan(x) == std::isnan(y) ? 0 : (std::isnan(x) ? 1 : -1);
            else
                r = x < y ? -1 : (x > y ? 1 : 0);
        }
        if (r != 0)
            return c.descending ? -r : r;
    }
    return 0;
}

bool OrderKeys::before(const std::vector<jet::RowId> &rows, std::uint32_t a, std::uint32_t b) const
{
    const int c = compare(a, b);
    if (c != 0)
        return c < 0;
    return rows[a] < rows[b];
}

std::vector<std::uint32_t> OrderKeys::sortedOrder(const std::vector<jet::RowId> &rows) const
{
    if (m_columns.size() == 1 && !m_columns.front().text)
        return sortedByOneNumber(rows);
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::uint32_t(0));
    // The row ids make the order a total one, so an unstable sort gives the one result.
    CancelPoll poll;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        poll.step();
        return before(rows, a, b);
    });
    return order;
}

std::vector<std::uint32_t> OrderKeys::sortedByOneNumber(const std::vector<jet::RowId> &rows) const
{
    // The order of compare() and before(), with each key laid out beside its row so that a
    // comparison reads one place: NULL (rank 0) before numbers (1) before NaN (2).
    struct Key
    {
        int rank;
        double value;
        jet::RowId row;
        std::uint32_t position;
    };
    const Column &c = m_columns.front();
    std::vector<Key> keys(rows.size());
    for (std::uint32_t i = 0; i < keys.size(); ++i) {
        const double v = c.numbers[i];
        const int rank = c.nulls[i] ? 0 : (std::isnan(v) ? 2 : 1);
        keys[i] = Key{rank, rank == 1 ? v : 0.0, rows[i], i};
    }
    const bool descending = c.descending;
    CancelPoll poll;
    std::sort(keys.begin(), keys.end(), [descending, &poll](const Key &a, const Key &b) {
        poll.step();
        if (a.rank != b.rank || a.value != b.value) {
            const bool less = a.rank != b.rank ? a.rank < b.rank : a.value < b.value;
            return descending ? !less : less;
        }
        return a.row < b.row;
    });
    std::vector<std::uint32_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].position;
    return order;
}

bool OrderKeys::isInOrder(const std::vector<jet::RowId> &rows, const std::vector<std::uint32_t> &order) const
{
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (!before(rows, order[i - 1], order[i]))
            return false;
    }
    return true;
}

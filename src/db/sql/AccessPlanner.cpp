#include "db/sql/AccessPlanner.h"

#include "db/jet/Column.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/TableDef.h"
#include "db/sql/SqlStatement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace sql {

namespace {

// What the top-level conditions say about one column.
struct ColumnBounds
{
    std::optional<double> low;   // every row's value is at least this
    std::optional<double> high;  // ...and at most this
    std::optional<QString> text; // = on a text
    bool equality = false;
};

Expression::CompareOp mirrored(Expression::CompareOp op)
{
    using Op = Expression::CompareOp;
    switch (op) {
    case Op::Less:
        return Op::Greater;
    case Op::LessEqual:
        return Op::GreaterEqual;
    case Op::Greater:
        return Op::Less;
    case Op::GreaterEqual:
        return Op::LessEqual;
    default:
        return op;
    }
}

// Gathers the comparisons of a column with a value that every selected row meets: those
// joined by AND at the top of the condition. A strict comparison is taken as the inclusive
// one (the rows are tested again).
void collect(const Expression *e, std::map<int, ColumnBounds> &bounds)
{
    if (!e)
        return;
    if (e->kind() == Expression::Kind::And) {
        collect(e->left(), bounds);
        collect(e->right(), bounds);
        return;
    }
    if (e->kind() != Expression::Kind::Compare)
        return;
    const Expression *column = e->left();
    const Expression *literal = e->right();
    Expression::CompareOp op = e->compareOp();
    if (column->kind() == Expression::Kind::Literal && literal->kind() == Expression::Kind::Column) {
        std::swap(column, literal);
        op = mirrored(op);
    }
    if (column->kind() != Expression::Kind::Column || literal->kind() != Expression::Kind::Literal
        || column->columnIndex() < 0)
        return;
    const SqlValue &value = literal->value();
    ColumnBounds &b = bounds[column->columnIndex()];
    if (value.kind == SqlValue::Kind::Text) {
        if (op == Expression::CompareOp::Equal && !b.text) {
            b.text = value.text;
            b.equality = true;
        }
        return;
    }
    if (value.kind != SqlValue::Kind::Number && value.kind != SqlValue::Kind::Date)
        return;
    const double x = value.number;
    const auto raiseLow = [&] { b.low = b.low ? std::max(*b.low, x) : x; };
    const auto lowerHigh = [&] { b.high = b.high ? std::min(*b.high, x) : x; };
    switch (op) {
    case Expression::CompareOp::Equal:
        raiseLow();
        lowerHigh();
        b.equality = true;
        break;
    case Expression::CompareOp::Less:
    case Expression::CompareOp::LessEqual:
        lowerHigh();
        break;
    case Expression::CompareOp::Greater:
    case Expression::CompareOp::GreaterEqual:
        raiseLow();
        break;
    case Expression::CompareOp::NotEqual:
        break;
    }
}

bool isIntegerType(jet::ColumnType t)
{
    return t == jet::ColumnType::Byte || t == jet::ColumnType::Integer || t == jet::ColumnType::Long;
}

bool isRealType(jet::ColumnType t)
{
    return t == jet::ColumnType::Double || t == jet::ColumnType::DateTime;
}

// Types whose index order is the order the statement sorts their values in.
bool isOrderableType(jet::ColumnType t)
{
    return isIntegerType(t) || isRealType(t) || t == jet::ColumnType::Single || t == jet::ColumnType::Currency;
}

// The part of an integer column's key for a bound, moved inward to a whole number and
// clamped to the type (a bound beyond the type matches the values at its end, or none).
bool integerBoundPart(const jet::Column &col, bool ascending, double bound, bool isLow, QByteArray *part)
{
    double low = 0, high = 0;
    switch (col.type()) {
    case jet::ColumnType::Byte:
        high = 255;
        break;
    case jet::ColumnType::Integer:
        low = std::numeric_limits<std::int16_t>::min();
        high = std::numeric_limits<std::int16_t>::max();
        break;
    default:
        low = std::numeric_limits<std::int32_t>::min();
        high = std::numeric_limits<std::int32_t>::max();
        break;
    }
    const double whole = std::clamp(isLow ? std::ceil(bound) : std::floor(bound), low, high);
    return jet::IndexKeyEncoder::integerPart(col, ascending, std::int64_t(whole), part);
}

// A zero bound takes in both zeros, whose keys differ (-0 files just before +0).
bool realBoundPart(const jet::Column &col, bool ascending, double bound, bool isLow, QByteArray *part)
{
    if (bound == 0)
        bound = isLow ? -0.0 : 0.0;
    return jet::IndexKeyEncoder::realPart(col, ascending, bound, part);
}

// The range of `index` (whose first key column is `col`) that holds the rows `b` allows.
bool rangeFor(const jet::TableDef &table, const jet::PhysicalIndex &index, const ColumnBounds &b, jet::KeyRange *range)
{
    const jet::Column &col = table.column(index.keyColumns.front().column);
    const bool ascending = index.keyColumns.front().ascending;
    QByteArray low = jet::IndexKeyEncoder::valueFlag(ascending);
    QByteArray high = low;
    if (col.type() == jet::ColumnType::Text) {
        if (!b.text || !jet::IndexKeyEncoder::textEqualityPart(col, table.format(), ascending, *b.text, &low))
            return false;
        high = low;
    } else if (b.low || b.high) {
        const bool integer = isIntegerType(col.type());
        if (!integer && !isRealType(col.type()))
            return false;
        const auto part = integer ? integerBoundPart : realBoundPart;
        if (b.low && !part(col, ascending, *b.low, true, &low))
            return false;
        if (b.high && !part(col, ascending, *b.high, false, &high))
            return false;
    } else {
        return false;
    }
    // A descending column's keys fall as its values rise.
    if (!ascending)
        std::swap(low, high);
    *range = jet::KeyRange{low, high};
    return true;
}

// Whether reading `index` gives the order of the statement's single ORDER BY key, and in
// which direction.
bool ordersBy(const Statement &statement, const jet::TableDef &table, const jet::PhysicalIndex &index, bool *reverse)
{
    if (statement.orderBy.size() != 1 || index.keyColumns.size() != 1)
        return false;
    const auto &key = index.keyColumns.front();
    if (key.column != statement.orderBy.front().column || key.column < 0
        || !isOrderableType(table.column(key.column).type()))
        return false;
    *reverse = key.ascending == statement.orderBy.front().descending;
    return true;
}

} // namespace

std::vector<IndexPath> AccessPlanner::rangePaths(const Statement &statement, const jet::TableDef &table)
{
    std::map<int, ColumnBounds> bounds;
    collect(statement.where.get(), bounds);
    std::vector<IndexPath> paths;
    const auto &indexes = table.physicalIndexes();
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const jet::PhysicalIndex &index = indexes[i];
        if (index.keyColumns.empty() || index.keyColumns.front().column < 0
            || index.keyColumns.front().column >= table.columnCount())
            continue;
        const auto found = bounds.find(index.keyColumns.front().column);
        if (found == bounds.end())
            continue;
        IndexPath path;
        if (!rangeFor(table, index, found->second, &path.range))
            continue;
        path.index = int(i);
        if (found->second.equality)
            path.kind = index.isUnique() && index.keyColumns.size() == 1 ? IndexPath::Kind::UniqueEquality
                                                                         : IndexPath::Kind::Equality;
        path.givesOrder = ordersBy(statement, table, index, &path.reverse);
        paths.push_back(std::move(path));
    }
    std::stable_sort(paths.begin(), paths.end(),
                     [](const IndexPath &a, const IndexPath &b) { return int(a.kind) < int(b.kind); });
    return paths;
}

std::optional<IndexPath> AccessPlanner::orderPath(const Statement &statement, const jet::TableDef &table)
{
    const auto &indexes = table.physicalIndexes();
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        IndexPath path;
        if (indexes[i].ignoresNulls() || !ordersBy(statement, table, indexes[i], &path.reverse))
            continue;
        path.index = int(i);
        path.givesOrder = true;
        return path;
    }
    return std::nullopt;
}

} // namespace sql

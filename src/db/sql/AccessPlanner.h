#pragma once
// Which index can lead to the rows of a bound statement. A condition of the WHERE clause
// that every selected row must meet (one side of the ANDs at the top) and that compares an
// indexed column with a value gives a range of that index's keys:
//   - =, <, <=, >, >= on a Byte, Integer, Long, Double or Date/Time column;
//   - = on a Text column under the General sort order, for values IndexTextCodes can encode.
// The range is a superset: the rows it leads to are tested against the whole condition
// again, so a bound that cannot be expressed exactly is widened, never narrowed.
//
// An index also gives the ORDER BY order when the statement orders by one number or date
// column and the index is over that column alone (its entries with equal keys follow the
// row pointers, the order in which a scan finds the rows).
//
// The planner only proposes; the connection reads the proposed ranges, compares what they
// hold with the table's size and falls back to the scan.

#include "db/jet/IndexRangeReader.h"

#include <optional>
#include <vector>

namespace jet {
class TableDef;
}

namespace sql {

struct Statement;

struct IndexPath
{
    enum class Kind : quint8 { UniqueEquality, Equality, Range };

    Kind kind = Kind::Range;
    int index = -1;          // position in TableDef::physicalIndexes()
    jet::KeyRange range;     // the keys the statement's rows can have
    bool givesOrder = false; // reading the range gives the ORDER BY order...
    bool reverse = false;    // ...backwards
};

class AccessPlanner
{
public:
    // The index ranges that hold every row of `statement` (bound to `table`), best first: an
    // equality on a unique index, other equalities, then ranges.
    static std::vector<IndexPath> rangePaths(const Statement &statement, const jet::TableDef &table);

    // An index whose whole order is the ORDER BY (see above) and that has an entry for every
    // row (it keeps NULL keys), for ordering the rows a scan found; nothing when there is none.
    static std::optional<IndexPath> orderPath(const Statement &statement, const jet::TableDef &table);
};

} // namespace sql

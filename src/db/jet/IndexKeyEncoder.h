#pragma once
// Builds the index key of a row for indexes over fixed-size numbers and dates, so that the
// deleter can descend a B-tree straight to a row's entry instead of walking every leaf.
//
// Per key column Jet stores a flag byte and the value: a NULL is the flag 00 alone; any
// other value is 7F followed by its bytes in an order whose unsigned byte comparison equals
// the numeric one: integers big-endian with the sign bit flipped, Single/Double/Date the
// IEEE bytes big-endian with the sign bit flipped for positive values and every bit flipped
// for negative ones. A descending column stores the complement of all of that (NULL = FF).
// Text keys use Jet's collation tables and are not built here; callers fall back to a walk.

#include <QByteArray>

namespace jet {

class RowView;
struct PhysicalIndex;

class IndexKeyEncoder
{
public:
    // True if every key column of the index has a type this encoder handles.
    static bool canEncode(const PhysicalIndex &index, const RowView &row);
    // The key of `row` for `index` (without the row pointer). False if a key column has a
    // type this encoder does not handle or its stored bytes are damaged.
    static bool encode(const PhysicalIndex &index, const RowView &row, QByteArray *key);
    // True if every key column of the row is NULL: such a row has no entry in an index
    // that ignores nulls.
    static bool allKeyColumnsNull(const PhysicalIndex &index, const RowView &row);
};

} // namespace jet

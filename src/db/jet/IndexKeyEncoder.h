#pragma once
// Builds index keys: the key of a row, so that the deleter can descend a B-tree straight to
// the row's entry instead of walking every leaf, and the parts of a key for a value given
// in a statement, so that a query can read the range of an index that holds its rows.
//
// Per key column Jet stores a flag byte and the value: a NULL is the flag 00 alone; any
// other value is 7F followed by its bytes in an order whose unsigned byte comparison equals
// the numeric one: integers big-endian with the sign bit flipped, Single/Double/Date the
// IEEE bytes big-endian with the sign bit flipped for positive values and every bit flipped
// for negative ones. A descending column stores the complement of all of that (NULL = FF).
// Text keys are built by IndexTextCodes, for text columns under the General sort order and
// values whose characters it knows; for other texts the callers search or scan instead.

#include "db/jet/Format.h"

#include <QByteArray>
#include <QStringView>

#include <cstdint>

namespace jet {

class RowView;
class TableDef;
struct Column;
struct PhysicalIndex;

class IndexKeyEncoder
{
public:
    // True if every key column of the index has a type whose keys can be built here (a text
    // value may still hold a character that cannot be encoded: see encode()).
    static bool canEncode(const PhysicalIndex &index, const TableDef &table);
    // The key of `row` for `index` (without the row pointer). False if a key column has a
    // type this encoder does not handle, a text holds a character it cannot encode, or the
    // stored bytes are damaged.
    static bool encode(const PhysicalIndex &index, const RowView &row, QByteArray *key);
    // True if every key column of the row is NULL: such a row has no entry in an index
    // that ignores nulls.
    static bool allKeyColumnsNull(const PhysicalIndex &index, const RowView &row);

    // Parts of one key column for search bounds. Every non-NULL value's part starts with
    // valueFlag(); the others give the whole part of a value of the column's own type
    // (false for a column of another type).
    static QByteArray valueFlag(bool ascending);
    // Byte, Integer and Long columns; `value` must fit the type.
    static bool integerPart(const Column &column, bool ascending, std::int64_t value, QByteArray *part);
    // Double and Date/Time columns.
    static bool realPart(const Column &column, bool ascending, double value, QByteArray *part);
    // Text columns: the bytes every value equal to `text` without regard to case starts
    // with. False when they cannot be built (see IndexTextCodes).
    static bool textEqualityPart(const Column &column, Format format, bool ascending, QStringView text,
                                 QByteArray *part);
};

} // namespace jet

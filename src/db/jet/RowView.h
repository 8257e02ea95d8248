#pragma once
// A view of one row's bytes with lazy column access: attaching parses only the row's
// header (column count, null mask, offset table), and each accessor decodes just the
// column asked for. A filter can therefore test one text column and skip the rest.
//
// The view points into a buffer owned by whoever attached it (RowScanner, RowFetcher); it
// is valid until that owner moves on. Columns are addressed by their position in
// TableDef::columns() (table order).

#include "db/jet/RowId.h"
#include "db/jet/Value.h"

#include <QString>

#include <cstdint>

namespace jet {

struct Column;
class PageFile;
class TableDef;

class RowView
{
public:
    RowView() = default;

    // Points the view at row bytes [data, data + length). `file` is needed only for Memo
    // and OLE values stored on long-value pages (may be null otherwise). Fails when the
    // row's own layout does not fit its length.
    bool attach(const TableDef &table, const std::uint8_t *data, int length, RowId id, const PageFile *file,
                QString *error = nullptr);

    bool isValid() const { return m_table != nullptr; }
    RowId rowId() const { return m_id; }
    const TableDef &table() const { return *m_table; }
    int columnCount() const;
    int storedColumnCount() const { return m_storedColumns; } // columns this row stores
    int variableCount() const { return m_varCount; }
    const std::uint8_t *data() const { return m_data; }
    int length() const { return m_length; }

    // Accessors take the column's position in TableDef::columns(). On a view that is not
    // attached, or for a position out of range, they answer NULL / false.

    // NULL test without decoding. A Yes/No column is never NULL (a cleared bit is false).
    bool isNull(int column) const;

    // Boolean, Byte, Integer, Long (and those types stored in the variable area). False
    // for NULL, other types or a damaged field.
    bool integer(int column, std::int64_t *out) const;
    // Every numeric type and Date/Time (raw days); Currency is divided by 10000.
    bool real(int column, double *out) const;
    // Date/Time only: the stored days since 1899-12-30.
    bool dateTime(int column, double *out) const;
    // Text and Memo. False (with `out` emptied) for NULL, other types, or a damaged value
    // (then `error` says why). `out` keeps its buffer between calls.
    bool text(int column, QString &out, QString *error = nullptr) const;
    // A Jet 4 Text value kept whole in compressed form (one byte per character, never
    // switching to two-byte ones): its bytes after the FF FE mark, which are its characters
    // in Latin-1. False for anything else: NULL, Memo, Jet 3, other text, damage.
    bool compressedText(int column, QByteArrayView *latin1) const;
    // The column's stored bytes (fixed field or variable slice, before any long-value or
    // text decoding). False for NULL and Boolean.
    bool rawBytes(int column, const std::uint8_t **bytes, int *length) const;

    // The general decoder: every type, NULL, and damaged values as Value::Kind::Error.
    Value value(int column) const;

private:
    bool hasColumn(int column) const { return m_table && column >= 0 && column < m_columnCount; }
    bool nullBit(int number) const;
    // Fixed field of `size` bytes, or null if it does not lie inside the row.
    const std::uint8_t *fixedField(const Column &col, int size) const;
    // Variable slice; 0 = present, 1 = NULL (index beyond this row's count), -1 = damaged.
    int variableSlice(const Column &col, int *start, int *end) const;
    int varEntry(int index) const;
    // Bytes of a column whatever its storage; the same codes as variableSlice.
    int fieldBytes(const Column &col, int size, const std::uint8_t **bytes, int *length) const;
    bool longValue(const Column &col, const std::uint8_t *bytes, int length, QByteArray *out, QString *error) const;

    const TableDef *m_table = nullptr;
    int m_columnCount = 0;
    const PageFile *m_file = nullptr;
    const std::uint8_t *m_data = nullptr;
    int m_length = 0;
    RowId m_id;
    bool m_jet4 = true;
    int m_fixedStart = 2;    // first byte of the fixed area
    int m_storedColumns = 0; // n
    int m_maskStart = 0;     // L - m
    int m_varCount = 0;      // v
    int m_tableStart = 0;    // first byte of the offset table (end of variable data)
    int m_dataEnd = 0;       // end of the fixed + variable data
    // Jet 3 jump table.
    int m_jumpCount = 0; // jump bytes present (J)
    int m_usedJumps = 0; // J, or J - 1 when the last one is a dummy
};

} // namespace jet

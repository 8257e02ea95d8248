#include "db/jet/RowView.h"

#include <cstring>

#include "db/jet/Bytes.h"
#include "db/jet/Column.h"
#include "db/jet/ErrorText.h"
#include "db/jet/LongValueReader.h"
#include "db/jet/TableDef.h"
#include "db/jet/TextCodec.h"

namespace jet {

namespace {

bool isType(const Column &col, ColumnType type)
{
    return col.typeCode == std::uint8_t(type);
}

} // namespace

bool RowView::attach(const TableDef &table, const std::uint8_t *data, int length, RowId id, const PageFile *file,
                     QString *error)
{
    m_table = nullptr;
    m_columnCount = 0;
    m_data = data;
    m_length = length;
    m_id = id;
    m_file = file;
    m_jet4 = table.format() == Format::Jet4;
    m_fixedStart = m_jet4 ? 2 : 1;
    m_jumpCount = 0;
    m_usedJumps = 0;

    const auto bad = [&](const QString &what) {
        setError(error, QStringLiteral("row %1 (%2 bytes): %3").arg(id.toString()).arg(length).arg(what));
        return false;
    };
    if (length < m_fixedStart)
        return bad(QStringLiteral("too short for its column count"));
    m_storedColumns = m_jet4 ? readU16(data) : data[0];
    const int maskBytes = (m_storedColumns + 7) / 8;
    m_maskStart = length - maskBytes;
    if (m_maskStart < m_fixedStart)
        return bad(QStringLiteral("the null mask for %1 columns does not fit").arg(m_storedColumns));

    if (table.variableColumnCount() > 0) {
        if (m_jet4) {
            if (m_maskStart - 2 < m_fixedStart)
                return bad(QStringLiteral("no room for the variable column count"));
            m_varCount = readU16(data + m_maskStart - 2);
            m_tableStart = m_maskStart - 2 - 2 * (m_varCount + 1);
        } else {
            if (m_maskStart - 1 < m_fixedStart)
                return bad(QStringLiteral("no room for the variable column count"));
            m_varCount = data[m_maskStart - 1];
            // Offsets are single bytes, so rows longer than 256 bytes carry one jump byte per
            // 256 bytes of row: jump[j] names the first offset entry at or past (j+1)*256.
            // Their number follows from the row length, not from where the variable data
            // ends; when the data stops short of the last step, that last byte is only a
            // placeholder (it still takes its place) and must not be counted.
            m_jumpCount = (length - 1) / 256;
            m_tableStart = m_maskStart - 2 - m_jumpCount - m_varCount;
            m_usedJumps = m_jumpCount;
            if (m_jumpCount > 0 && m_tableStart >= 0 && m_tableStart / 256 < m_jumpCount)
                m_usedJumps = m_jumpCount - 1;
        }
        if (m_tableStart < m_fixedStart)
            return bad(QStringLiteral("the offset table for %1 variable columns does not fit").arg(m_varCount));
        m_dataEnd = m_tableStart;
    } else {
        m_varCount = 0;
        m_tableStart = m_maskStart;
        m_dataEnd = m_maskStart;
    }
    m_table = &table;
    m_columnCount = table.columnCount();
    return true;
}

int RowView::columnCount() const
{
    return m_table ? m_table->columnCount() : 0;
}

bool RowView::nullBit(int number) const
{
    if (number >= m_storedColumns)
        return false;
    return (m_data[m_maskStart + number / 8] >> (number % 8)) & 1;
}

int RowView::varEntry(int index) const
{
    if (m_jet4)
        return readU16(m_data + m_maskStart - 4 - 2 * index);
    int value = m_data[m_maskStart - 2 - m_jumpCount - index];
    for (int j = 0; j < m_usedJumps; ++j) {
        if (m_data[m_maskStart - 2 - j] <= index)
            value += 256;
    }
    return value;
}

const std::uint8_t *RowView::fixedField(const Column &col, int size) const
{
    const int pos = m_fixedStart + col.fixedOffset;
    if (size < 0 || pos + size > m_dataEnd)
        return nullptr;
    return m_data + pos;
}

int RowView::variableSlice(const Column &col, int *start, int *end) const
{
    const int x = col.varIndex;
    if (x >= m_varCount)
        return 1;
    const int s = varEntry(x);
    const int e = varEntry(x + 1);
    if (s < m_fixedStart || s > e || e > m_dataEnd)
        return -1;
    *start = s;
    *end = e;
    return 0;
}

int RowView::fieldBytes(const Column &col, int size, const std::uint8_t **bytes, int *length) const
{
    if (col.isFixed()) {
        const std::uint8_t *p = fixedField(col, size);
        if (!p)
            return -1;
        *bytes = p;
        *length = size;
        return 0;
    }
    int s = 0;
    int e = 0;
    const int r = variableSlice(col, &s, &e);
    if (r != 0)
        return r;
    *bytes = m_data + s;
    *length = e - s;
    return 0;
}

bool RowView::isNull(int column) const
{
    if (!hasColumn(column))
        return true;
    const Column &col = m_table->column(column);
    if (isType(col, ColumnType::Boolean))
        return false;
    if (!nullBit(col.number))
        return true;
    return !col.isFixed() && col.varIndex >= m_varCount;
}

bool RowView::rawBytes(int column, const std::uint8_t **bytes, int *length) const
{
    if (!hasColumn(column))
        return false;
    const Column &col = m_table->column(column);
    if (isType(col, ColumnType::Boolean) || !nullBit(col.number))
        return false;
    return fieldBytes(col, col.fixedSize(), bytes, length) == 0;
}

bool RowView::integer(int column, std::int64_t *out) const
{
    if (!hasColumn(column))
        return false;
    const Column &col = m_table->column(column);
    if (isType(col, ColumnType::Boolean)) {
        *out = nullBit(col.number) ? 1 : 0;
        return true;
    }
    const int size = col.fixedSize();
    if (!nullBit(col.number))
        return false;
    const std::uint8_t *b = nullptr;
    int len = 0;
    switch (col.type()) {
    case ColumnType::Byte:
        if (fieldBytes(col, size, &b, &len) != 0 || len < 1)
            return false;
        *out = b[0];
        return true;
    case ColumnType::Integer:
        if (fieldBytes(col, size, &b, &len) != 0 || len < 2)
            return false;
        *out = std::int16_t(readU16(b));
        return true;
    case ColumnType::Long:
        if (fieldBytes(col, size, &b, &len) != 0 || len < 4)
            return false;
        *out = std::int32_t(readU32(b));
        return true;
    default:
        return false;
    }
}

bool RowView::dateTime(int column, double *out) const
{
    if (!hasColumn(column))
        return false;
    const Column &col = m_table->column(column);
    if (!isType(col, ColumnType::DateTime) || !nullBit(col.number))
        return false;
    const std::uint8_t *b = nullptr;
    int len = 0;
    if (fieldBytes(col, 8, &b, &len) != 0 || len < 8)
        return false;
    *out = readDouble(b);
    return true;
}

bool RowView::real(int column, double *out) const
{
    if (!hasColumn(column))
        return false;
    const Column &col = m_table->column(column);
    std::int64_t i = 0;
    switch (col.type()) {
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
        if (!integer(column, &i))
            return false;
        *out = double(i);
        return true;
    case ColumnType::DateTime:
        return dateTime(column, out);
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::Decimal: {
        const Value v = value(column);
        if (v.isNull() || v.isError())
            return false;
        *out = v.toDouble();
        return true;
    }
    default:
        return false;
    }
}

bool RowView::longValue(const Column &col, const std::uint8_t *bytes, int length, QByteArray *out, QString *error) const
{
    QString why;
    bool ok = false;
    if (m_file) {
        ok = LongValueReader::read(*m_file, bytes, length, out, &why);
    } else if (length >= LongValueReader::kHeaderSize && (bytes[3] & 0xC0) == 0x80) {
        // An inline value needs no file (rows checked without a database).
        const std::uint32_t total = readU32(bytes) & 0x3FFFFFFFu;
        ok = total <= std::uint32_t(length - LongValueReader::kHeaderSize);
        if (ok)
            *out = QByteArray(reinterpret_cast<const char *>(bytes + LongValueReader::kHeaderSize), int(total));
        else
            why = QStringLiteral("inline long value exceeds its field");
    } else {
        why = QStringLiteral("long value stored outside the row, but no database file is given");
    }
    if (!ok)
        setError(error, QStringLiteral("row %1, column %2: %3").arg(m_id.toString(), col.name, why));
    return ok;
}

bool RowView::text(int column, QString &out, QString *error) const
{
    if (!hasColumn(column)) {
        out.resize(0);
        return false;
    }
    const Column &col = m_table->column(column);
    const bool memo = isType(col, ColumnType::Memo);
    if ((!memo && !isType(col, ColumnType::Text)) || !nullBit(col.number)) {
        out.resize(0);
        return false;
    }
    const std::uint8_t *b = nullptr;
    int len = 0;
    const int r = fieldBytes(col, col.fixedSize(), &b, &len);
    if (r != 0) {
        out.resize(0);
        if (r < 0)
            setError(error,
                     QStringLiteral("row %1, column %2: value lies outside the row").arg(m_id.toString(), col.name));
        return false;
    }
    if (memo) {
        QByteArray bytes;
        if (!longValue(col, b, len, &bytes, error)) {
            out.resize(0);
            return false;
        }
        const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.constData());
        if (m_jet4)
            TextCodec::decodeJet4(p, int(bytes.size()), out);
        else
            col.codec->decode(p, int(bytes.size()), out);
        return true;
    }
    if (m_jet4)
        TextCodec::decodeJet4(b, len, out);
    else
        col.codec->decode(b, len, out);
    return true;
}

bool RowView::compressedText(int column, QByteArrayView *latin1) const
{
    if (!m_jet4 || !hasColumn(column))
        return false;
    const Column &col = m_table->column(column);
    if (!isType(col, ColumnType::Text) || !nullBit(col.number))
        return false;
    const std::uint8_t *b = nullptr;
    int len = 0;
    if (fieldBytes(col, col.fixedSize(), &b, &len) != 0 || len < 2 || b[0] != 0xFF || b[1] != 0xFE)
        return false;
    // A 00 byte switches to two-byte characters.
    if (std::memchr(b + 2, 0, size_t(len - 2)))
        return false;
    *latin1 = QByteArrayView(b + 2, len - 2);
    return true;
}

Value RowView::value(int column) const
{
    if (!hasColumn(column))
        return Value();
    const Column &col = m_table->column(column);
    const std::uint8_t type = col.typeCode;
    if (isType(col, ColumnType::Boolean))
        return Value::boolean(nullBit(col.number));
    if (!nullBit(col.number))
        return Value::null(type);

    const int size = col.fixedSize();
    const std::uint8_t *b = nullptr;
    int len = 0;
    const int r = fieldBytes(col, size, &b, &len);
    if (r > 0)
        return Value::null(type);
    if (r < 0)
        return Value::error(
            QStringLiteral("row %1, column %2: value lies outside the row").arg(m_id.toString(), col.name), type);
    const auto tooShort = [&]() {
        return Value::error(QStringLiteral("row %1, column %2: %3 bytes, %4 expected")
                                .arg(m_id.toString(), col.name)
                                .arg(len)
                                .arg(size),
                            type);
    };

    switch (col.type()) {
    case ColumnType::Byte:
        if (len < 1)
            return tooShort();
        return Value::integer(b[0], type);
    case ColumnType::Integer:
        if (len < 2)
            return tooShort();
        return Value::integer(std::int16_t(readU16(b)), type);
    case ColumnType::Long:
        if (len < 4)
            return tooShort();
        return Value::integer(std::int32_t(readU32(b)), type);
    case ColumnType::Currency:
        if (len < 8)
            return tooShort();
        return Value::currency(std::int64_t(readU64(b)));
    case ColumnType::Single:
        if (len < 4)
            return tooShort();
        return Value::single(readFloat(b));
    case ColumnType::Double:
        if (len < 8)
            return tooShort();
        return Value::real(readDouble(b));
    case ColumnType::DateTime:
        if (len < 8)
            return tooShort();
        return Value::dateTime(readDouble(b));
    case ColumnType::Guid:
        if (len < 16)
            return tooShort();
        return Value::guid(b);
    case ColumnType::Decimal: {
        if (len < 17)
            return tooShort();
        Value::DecimalParts parts;
        parts.negative = (b[0] & 0x80) != 0;
        parts.high = (std::uint64_t(readU32(b + 1)) << 32) | readU32(b + 5);
        parts.low = (std::uint64_t(readU32(b + 9)) << 32) | readU32(b + 13);
        parts.scale = col.scale;
        return Value::decimal(parts);
    }
    case ColumnType::Text: {
        QString s;
        if (m_jet4)
            TextCodec::decodeJet4(b, len, s);
        else
            col.codec->decode(b, len, s);
        return Value::text(std::move(s), type);
    }
    case ColumnType::Memo:
    case ColumnType::Ole: {
        QByteArray bytes;
        QString why;
        if (!longValue(col, b, len, &bytes, &why))
            return Value::error(why, type);
        if (col.type() == ColumnType::Ole)
            return Value::binary(std::move(bytes), type);
        const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.constData());
        QString s;
        if (m_jet4)
            TextCodec::decodeJet4(p, int(bytes.size()), s);
        else
            col.codec->decode(p, int(bytes.size()), s);
        return Value::text(std::move(s), type);
    }
    default:
        // Binary, and types without a decoding of their own: the stored bytes.
        return Value::binary(QByteArray(reinterpret_cast<const char *>(b), len), type);
    }
}

} // namespace jet

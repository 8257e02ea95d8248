#include "db/jet/IndexKeyEncoder.h"

#include "db/jet/Column.h"
#include "db/jet/IndexDefinition.h"
#include "db/jet/IndexTextCodes.h"
#include "db/jet/RowView.h"
#include "db/jet/TableDef.h"

#include <cstring>

namespace jet {

namespace {

constexpr char kNullFlag = 0x00;
constexpr char kValueFlag = 0x7F;

bool isFixedNumber(std::uint8_t typeCode)
{
    switch (ColumnType(typeCode)) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
        return true;
    default:
        return false;
    }
}

bool isFloat(std::uint8_t typeCode)
{
    return typeCode == std::uint8_t(ColumnType::Single) || typeCode == std::uint8_t(ColumnType::Double)
           || typeCode == std::uint8_t(ColumnType::DateTime);
}

// Text keys follow Access's General sort order; other orders file texts differently.
bool hasKnownTextOrder(const Column &col)
{
    return col.type() == ColumnType::Text && col.sortOrder == IndexTextCodes::kGeneralSortOrder;
}

void complement(QByteArray &bytes)
{
    for (auto &c : bytes)
        c = char(~std::uint8_t(c));
}

// The part of a fixed-size value given as its stored little-endian bytes.
QByteArray fixedPart(const Column &col, bool ascending, const std::uint8_t *bytes, int length)
{
    QByteArray part;
    part.reserve(length + 1);
    part.append(kValueFlag);
    // Stored little-endian; the key wants the most significant byte first.
    QByteArray value(length, '\0');
    for (int i = 0; i < length; ++i)
        value[i] = char(bytes[length - 1 - i]);
    const bool negative = (std::uint8_t(value[0]) & 0x80) != 0;
    if (col.typeCode == std::uint8_t(ColumnType::Byte)) {
        // unsigned: already in order
    } else if (isFloat(col.typeCode) && negative) {
        complement(value);
    } else {
        value[0] = char(std::uint8_t(value[0]) ^ 0x80);
    }
    part.append(value);
    if (!ascending)
        complement(part);
    return part;
}

} // namespace

bool IndexKeyEncoder::canEncode(const PhysicalIndex &index, const TableDef &table)
{
    if (index.keyColumns.empty())
        return false;
    for (const auto &key : index.keyColumns) {
        if (key.column < 0 || key.column >= table.columnCount())
            return false;
        const Column &col = table.column(key.column);
        if (!isFixedNumber(col.typeCode) && !hasKnownTextOrder(col))
            return false;
    }
    return true;
}

bool IndexKeyEncoder::encode(const PhysicalIndex &index, const RowView &row, QByteArray *key)
{
    key->clear();
    if (!canEncode(index, row.table()))
        return false;
    QString text;
    for (const auto &k : index.keyColumns) {
        const Column &col = row.table().column(k.column);
        if (row.isNull(k.column)) {
            key->append(k.ascending ? kNullFlag : char(~std::uint8_t(kNullFlag)));
            continue;
        }
        if (col.isText()) {
            QByteArray part;
            if (!row.text(k.column, text) || !IndexTextCodes::exactKey(row.table().format(), text, &part))
                return false;
            if (!k.ascending)
                complement(part);
            key->append(part);
            continue;
        }
        const std::uint8_t *bytes = nullptr;
        int length = 0;
        if (!row.rawBytes(k.column, &bytes, &length) || length != col.fixedSize())
            return false;
        key->append(fixedPart(col, k.ascending, bytes, length));
    }
    return true;
}

bool IndexKeyEncoder::allKeyColumnsNull(const PhysicalIndex &index, const RowView &row)
{
    for (const auto &k : index.keyColumns) {
        if (k.column < 0 || !row.isNull(k.column))
            return false;
    }
    return true;
}

QByteArray IndexKeyEncoder::valueFlag(bool ascending)
{
    return QByteArray(1, ascending ? kValueFlag : char(~std::uint8_t(kValueFlag)));
}

bool IndexKeyEncoder::integerPart(const Column &column, bool ascending, std::int64_t value, QByteArray *part)
{
    std::uint8_t bytes[4];
    int length = 0;
    switch (column.type()) {
    case ColumnType::Byte:
        length = 1;
        break;
    case ColumnType::Integer:
        length = 2;
        break;
    case ColumnType::Long:
        length = 4;
        break;
    default:
        return false;
    }
    const auto bits = std::uint32_t(std::int32_t(value));
    for (int i = 0; i < length; ++i)
        bytes[i] = std::uint8_t(bits >> (8 * i));
    *part = fixedPart(column, ascending, bytes, length);
    return true;
}

bool IndexKeyEncoder::realPart(const Column &column, bool ascending, double value, QByteArray *part)
{
    if (column.type() != ColumnType::Double && column.type() != ColumnType::DateTime)
        return false;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = std::uint8_t(bits >> (8 * i));
    *part = fixedPart(column, ascending, bytes, 8);
    return true;
}

bool IndexKeyEncoder::textEqualityPart(const Column &column, Format format, bool ascending, QStringView text,
                                       QByteArray *part)
{
    if (!hasKnownTextOrder(column) || !IndexTextCodes::equalityPrefix(format, text, part))
        return false;
    if (!ascending)
        complement(*part);
    return true;
}

} // namespace jet

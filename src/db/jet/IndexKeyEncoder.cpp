#include "db/jet/IndexKeyEncoder.h"

#include "db/jet/Column.h"
#include "db/jet/PhysicalIndex.h"
#include "db/jet/RowView.h"
#include "db/jet/TableDef.h"

namespace jet {

namespace {

constexpr char kNullFlag = 0x00;
constexpr char kValueFlag = 0x7F;

bool supported(std::uint8_t typeCode)
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

} // namespace

bool IndexKeyEncoder::canEncode(const PhysicalIndex &index, const RowView &row)
{
    if (index.keyColumns.empty())
        return false;
    for (const auto &key : index.keyColumns) {
        if (key.column < 0 || key.column >= row.table().columnCount())
            return false;
        if (!supported(row.table().column(key.column).typeCode))
            return false;
    }
    return true;
}

bool IndexKeyEncoder::encode(const PhysicalIndex &index, const RowView &row, QByteArray *key)
{
    key->clear();
    if (!canEncode(index, row))
        return false;
    for (const auto &k : index.keyColumns) {
        const Column &col = row.table().column(k.column);
        QByteArray part;
        if (row.isNull(k.column)) {
            part.append(kNullFlag);
        } else {
            const std::uint8_t *bytes = nullptr;
            int length = 0;
            if (!row.rawBytes(k.column, &bytes, &length) || length != col.fixedSize())
                return false;
            part.append(kValueFlag);
            // Stored little-endian; the key wants the most significant byte first.
            QByteArray value(length, '\0');
            for (int i = 0; i < length; ++i)
                value[i] = char(bytes[length - 1 - i]);
            const bool negative = (std::uint8_t(value[0]) & 0x80) != 0;
            if (col.typeCode == std::uint8_t(ColumnType::Byte)) {
                // unsigned: already in order
            } else if (isFloat(col.typeCode) && negative) {
                for (auto &c : value)
                    c = char(~std::uint8_t(c));
            } else {
                value[0] = char(std::uint8_t(value[0]) ^ 0x80);
            }
            part.append(value);
        }
        if (!k.ascending) {
            for (auto &c : part)
                c = char(~std::uint8_t(c));
        }
        key->append(part);
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

} // namespace jet

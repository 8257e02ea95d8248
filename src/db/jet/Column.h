#pragma once
// One column of a table definition, as stored in its column block.

#include "db/jet/RowId.h"

#include <QString>

#include <cstdint>

namespace jet {

class TextCodec;

// Jet column type codes.
enum class ColumnType : std::uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Unknown0D = 0x0D,
    Guid = 0x0F,
    Decimal = 0x10,
    SystemData = 0x11,
};

struct Column
{
    // Column flag bits.
    static constexpr std::uint8_t kFixed = 0x01;
    static constexpr std::uint8_t kAutoNumber = 0x04;
    static constexpr std::uint8_t kReplication = 0x10;
    static constexpr std::uint8_t kAutoGuid = 0x40;
    static constexpr std::uint8_t kHyperlink = 0x80;

    std::uint8_t typeCode = 0;     // raw type byte; see ColumnType
    std::uint16_t number = 0;      // null-mask bit; gaps mark dropped columns
    std::uint16_t varIndex = 0;    // slot in the row's offset table (variable columns)
    std::uint16_t fixedOffset = 0; // position in the fixed area (fixed columns)
    std::uint16_t length = 0;      // bytes (Jet 4 text: 2 per character)
    std::uint8_t flags = 0;
    std::uint8_t extFlags = 0;   // Jet 4 only
    std::uint16_t sortOrder = 0; // text columns: LCID
    std::uint16_t codePage = 0;  // Jet 3 text columns
    std::uint8_t precision = 0;  // Jet 4 Decimal
    std::uint8_t scale = 0;      // Jet 4 Decimal
    QString name;
    int blockOffset = 0; // offset of the column block in the assembled definition

    // Memo/OLE columns: the column's own owned-pages and free-space usage maps, when the
    // definition lists them.
    bool hasLongValueMaps = false;
    RowId longValueOwnedMap;
    RowId longValueFreeMap;

    // Jet 3 text and memo columns: the codec for the code page in effect. Never null after
    // TableDef has parsed the column.
    const TextCodec *codec = nullptr;

    ColumnType type() const { return ColumnType(typeCode); }
    bool isFixed() const { return (flags & kFixed) != 0; }
    bool isAutoNumber() const { return (flags & kAutoNumber) != 0; }
    bool isText() const { return typeCode == 0x0A || typeCode == 0x0C; }

    // Bytes a value of this type takes in the fixed area (0 for Boolean; for types
    // without a fixed size, the column's length).
    int fixedSize() const;

    // Type name as the reference dumps write it (BOOLEAN, LONG, TEXT, ...).
    static QString typeName(std::uint8_t typeCode);
};

inline int Column::fixedSize() const
{
    switch (typeCode) {
    case 0x01:
        return 0;
    case 0x02:
        return 1;
    case 0x03:
        return 2;
    case 0x04:
        return 4;
    case 0x05:
        return 8;
    case 0x06:
        return 4;
    case 0x07:
        return 8;
    case 0x08:
        return 8;
    case 0x0F:
        return 16;
    case 0x10:
        return 17;
    default:
        return length;
    }
}

} // namespace jet

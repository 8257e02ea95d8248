#pragma once
// A table's indexes as its definition declares them. A physical index is one B-tree on
// disk; a logical index is what Access names (primary key, index, relationship), and
// several logical indexes can share one physical index.

#include "db/jet/RowId.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

struct PhysicalIndex
{
    static constexpr std::uint8_t kUnique = 0x01;
    static constexpr std::uint8_t kIgnoreNulls = 0x02;
    static constexpr std::uint8_t kRequired = 0x08;

    struct KeyColumn
    {
        std::uint16_t number = 0; // column number (Column::number)
        bool ascending = true;
        int column = -1; // index into TableDef::columns(), -1 if no such column
    };

    std::vector<KeyColumn> keyColumns; // in key order; unused entries are left out
    RowId usageMap;                    // pages of the tree
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;
    std::uint32_t entryCount = 0; // from the list after the definition header
    int entryCountOffset = 0;     // its offset in the assembled definition
    int blockOffset = 0;          // offset of the index block in the assembled definition

    bool isUnique() const { return (flags & kUnique) != 0; }
    bool ignoresNulls() const { return (flags & kIgnoreNulls) != 0; }
};

struct LogicalIndex
{
    static constexpr std::uint8_t kOther = 0;
    static constexpr std::uint8_t kPrimaryKey = 1;
    static constexpr std::uint8_t kForeignKey = 2;

    std::int32_t number = 0;
    std::int32_t physicalIndex = 0; // position in TableDef::physicalIndexes()
    std::uint8_t foreignTableType = 0;
    std::int32_t foreignIndexNumber = -1;
    std::uint32_t foreignTablePage = 0;
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;
    std::uint8_t indexType = kOther;
    QString name;
    int blockOffset = 0;

    bool isPrimaryKey() const { return indexType == kPrimaryKey; }
    bool isForeignKey() const { return indexType == kForeignKey; }
};

} // namespace jet

#pragma once
// A physical index: one B-tree on disk, shared by the logical indexes that name it.

#include "db/jet/RowId.h"

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

} // namespace jet

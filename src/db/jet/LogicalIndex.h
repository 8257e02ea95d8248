#pragma once
// A logical index: what Access names (primary key, index, relationship). Several can use
// the same physical index.

#include <QString>

#include <cstdint>

namespace jet {

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

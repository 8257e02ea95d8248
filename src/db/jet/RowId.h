#pragma once
// A row's address: data page and slot. The same 4-byte "row pointer" form (slot in the
// low byte, page in the upper 24 bits) is used by usage maps, long values and overflow
// rows.

#include <QString>

#include <cstdint>

namespace jet {

struct RowId
{
    std::uint32_t page = 0;
    std::uint32_t slot = 0;

    static RowId fromPointer(std::uint32_t pointer) { return {pointer >> 8, pointer & 0xFFu}; }
    std::uint32_t toPointer() const { return (page << 8) | (slot & 0xFFu); }
    bool isNull() const { return page == 0 && slot == 0; }
    QString toString() const { return QString::number(page) + QLatin1Char(':') + QString::number(slot); }

    friend bool operator==(const RowId &a, const RowId &b) { return a.page == b.page && a.slot == b.slot; }
    friend bool operator!=(const RowId &a, const RowId &b) { return !(a == b); }
    friend bool operator<(const RowId &a, const RowId &b)
    {
        return a.page != b.page ? a.page < b.page : a.slot < b.slot;
    }
};

} // namespace jet

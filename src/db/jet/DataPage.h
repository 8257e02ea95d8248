#pragma once
// Read access to the slot table of a data page (type 01): rows and long values. Only
// bounds are checked here; what a slot's flags mean is up to the caller.

#include "db/jet/Bytes.h"
#include "db/jet/Layout.h"

#include <cstdint>

namespace jet {

class DataPage
{
public:
    static constexpr std::uint16_t kDeleted = 0x8000;  // deleted, or the data half of a moved row
    static constexpr std::uint16_t kOverflow = 0x4000; // the row moved; the slot holds a pointer
    static constexpr std::uint16_t kOffsetMask = 0x1FFF;

    DataPage(const Layout &layout, const std::uint8_t *page) : m_layout(layout), m_page(page)
    {
        m_slotCount = readU16(page + layout.dataSlotCount);
        m_slotTableEnd = layout.dataSlotTable + 2 * m_slotCount;
    }

    bool isDataPage() const { return m_page[0] == 0x01; }
    std::uint32_t owner() const { return readU32(m_page + 4); } // TDEF page, or "LVAL"
    bool isLongValuePage() const
    {
        return m_page[0] == 0x01 && m_page[4] == 'L' && m_page[5] == 'V' && m_page[6] == 'A' && m_page[7] == 'L';
    }
    // The slot table must fit the page, else the page is damaged.
    bool slotTableFits() const { return m_slotTableEnd <= m_layout.pageSize; }
    int slotCount() const { return m_slotCount; }
    std::uint16_t slotEntry(int slot) const { return readU16(m_page + m_layout.dataSlotTable + 2 * slot); }

    // Byte range [start, end) of a slot, whatever its flags: rows are packed from the
    // page end down, so a slot ends where the one before it starts.
    bool rowBounds(int slot, int *start, int *end) const
    {
        if (slot < 0 || slot >= m_slotCount || !slotTableFits())
            return false;
        const int s = slotEntry(slot) & kOffsetMask;
        const int e = slot == 0 ? m_layout.pageSize : (slotEntry(slot - 1) & kOffsetMask);
        if (s < m_slotTableEnd || s > e || e > m_layout.pageSize)
            return false;
        *start = s;
        *end = e;
        return true;
    }

    const std::uint8_t *bytes() const { return m_page; }

private:
    const Layout &m_layout;
    const std::uint8_t *m_page;
    int m_slotCount;
    int m_slotTableEnd;
};

} // namespace jet

#pragma once
// Field offsets and sizes that differ between Jet 3 and Jet 4. Everything that parses
// pages or table definitions takes its numbers from here, so the two formats share one
// code path.

#include "db/jet/Format.h"

namespace jet {

struct Layout
{
    Format format;
    int pageSize;

    // Data pages.
    int dataSlotCount; // u16 slot count
    int dataSlotTable; // first slot entry

    // Table definition header (offsets into the assembled definition).
    int tdefRowCount;
    int tdefAutoNumber;
    int tdefTableType;
    int tdefMaxColumns;
    int tdefVarColumns;
    int tdefColumnCount;
    int tdefLogicalIndexCount;
    int tdefPhysicalIndexCount;
    int tdefOwnedMap;
    int tdefFreeMap;
    int tdefHeaderEnd;
    int tdefIndexCountSize; // per physical index, after the header

    // Column block.
    int columnBlockSize;
    int colType;
    int colNumber;
    int colVarIndex;
    int colSortOrder;
    int colCodePage;  // Jet 3 only, -1 otherwise
    int colPrecision; // Jet 4 only, -1 otherwise
    int colScale;     // Jet 4 only, -1 otherwise
    int colFlags;
    int colExtFlags; // Jet 4 only, -1 otherwise
    int colFixedOffset;
    int colLength;

    // Index blocks.
    int physicalIndexBlockSize;
    int physColumns;
    int physUsageMap;
    int physRootPage;
    int physFlags;
    int logicalIndexBlockSize;
    int logNumber;
    int logPhysical;
    int logFkTableType;
    int logFkIndex;
    int logFkTablePage;
    int logCascadeUpdates;
    int logCascadeDeletes;
    int logIndexType;

    // Rows.
    int rowColumnCountSize; // 1 (Jet 3) or 2 (Jet 4) bytes; the fixed area follows it
    int rowOffsetSize;      // size of one variable-offset entry

    static const Layout &of(Format format);
};

inline const Layout &Layout::of(Format format)
{
    static const Layout jet3{
        Format::Jet3, 2048, 0x08, 0x0A, 0x0C, 0x10, 0x14, 0x15, 0x17, 0x19, 0x1B, 0x1F, 0x23, 0x27, 0x2B, 8,
        18,           0x00, 0x01, 0x03, 0x09, 0x0B, -1,   -1,   0x0D, -1,   0x0E, 0x10, 39,   0x00, 0x1E, 0x22,
        0x26,         20,   0x00, 0x04, 0x08, 0x09, 0x0D, 0x11, 0x12, 0x13, 1,    1,
    };
    static const Layout jet4{
        Format::Jet4, 4096, 0x0C, 0x0E, 0x10, 0x14, 0x28, 0x29, 0x2B, 0x2D, 0x2F, 0x33, 0x37, 0x3B, 0x3F,
        12,           25,   0x00, 0x05, 0x07, 0x0B, -1,   0x0B, 0x0C, 0x0F, 0x10, 0x15, 0x17, 52,   0x04,
        0x22,         0x26, 0x2E, 28,   0x04, 0x08, 0x0C, 0x0D, 0x11, 0x15, 0x16, 0x17, 2,    2,
    };
    return format == Format::Jet3 ? jet3 : jet4;
}

} // namespace jet

#pragma once
// Usage maps: bitmaps of page numbers, stored in a row. Type 0 carries its bitmap inline
// (first page, then bits); type 1 lists pages of type 05 whose bitmaps each cover a fixed
// range of pages. A table's owned-pages map lists its data pages.

#include "db/jet/RowId.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;

class UsageMap
{
public:
    // Reads the map stored in row `pointer` and returns the pages it marks, ascending and
    // below the file's page count; `pastTheEnd` (when given) counts the pages it marks
    // beyond the end of the file, which a truncated file has lost.
    static bool readPages(const PageFile &file, RowId pointer, std::vector<std::uint32_t> *pages,
                          QString *error = nullptr, std::uint32_t *pastTheEnd = nullptr);

    // Same, from the map row's bytes.
    static bool decode(const PageFile &file, const std::uint8_t *row, int length, std::vector<std::uint32_t> *pages,
                       QString *error = nullptr, std::uint32_t *pastTheEnd = nullptr);
};

} // namespace jet

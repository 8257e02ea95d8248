#pragma once
// Finds the bytes of a row from its header slot. A slot flagged 0x4000 holds a pointer to
// where an updated row was moved (another page, that slot flagged 0x8000); the pointer is
// followed, again if the target is itself moved, up to kMaxHops times.

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;
class TableDef;

class RowLocator
{
public:
    static constexpr int kMaxHops = 16;

    // `page` is page `pageNo` of the table; `slot` the row's header slot, whose deleted
    // flag the caller has checked. On success `row`/`length` point either into `page` or
    // into `scratch`, which then holds the target page.
    static bool locate(const PageFile &file, const TableDef &table, const std::uint8_t *page, std::uint32_t pageNo,
                       int slot, std::vector<std::uint8_t> &scratch, const std::uint8_t **row, int *length,
                       QString *error);
};

} // namespace jet

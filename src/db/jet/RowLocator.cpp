#include "db/jet/RowLocator.h"

#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/ErrorText.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowId.h"
#include "db/jet/TableDef.h"

namespace jet {

bool RowLocator::locate(const PageFile &file, const TableDef &table, const std::uint8_t *page, std::uint32_t pageNo,
                        int slot, std::vector<std::uint8_t> &scratch, const std::uint8_t **row, int *length,
                        QString *error)
{
    const Layout &layout = file.layout();
    const RowId header{pageNo, std::uint32_t(slot)};
    const std::uint8_t *current = page;
    RowId where = header;
    int start = 0;
    int end = 0;
    {
        const DataPage dp(layout, current);
        if (!dp.rowBounds(slot, &start, &end)) {
            setError(error, QStringLiteral("row %1 lies outside its page").arg(header.toString()));
            return false;
        }
    }
    std::uint16_t entry = DataPage(layout, current).slotEntry(slot);
    int hops = 0;
    while (entry & DataPage::kOverflow) {
        if (hops++ >= kMaxHops) {
            setError(error, QStringLiteral("row %1: moved-row pointers loop or run over %2 hops")
                                .arg(header.toString())
                                .arg(kMaxHops));
            return false;
        }
        if (end - start < 4) {
            setError(error, QStringLiteral("row %1: moved-row pointer at %2 is too short")
                                .arg(header.toString(), where.toString()));
            return false;
        }
        const RowId target = RowId::fromPointer(readU32(current + start));
        scratch.resize(std::size_t(layout.pageSize));
        QString readError;
        if (!file.readPage(target.page, scratch.data(), &readError)) {
            setError(error,
                     QStringLiteral("row %1 moved to %2: %3").arg(header.toString(), target.toString(), readError));
            return false;
        }
        const DataPage tp(layout, scratch.data());
        if (!tp.isDataPage() || tp.owner() != table.firstPage()) {
            setError(error, QStringLiteral("row %1 moved to %2, which is not a data page of this table")
                                .arg(header.toString(), target.toString()));
            return false;
        }
        if (!tp.rowBounds(int(target.slot), &start, &end)) {
            setError(
                error,
                QStringLiteral("row %1 moved to %2, which does not exist").arg(header.toString(), target.toString()));
            return false;
        }
        entry = tp.slotEntry(int(target.slot));
        current = scratch.data();
        where = target;
    }
    *row = current + start;
    *length = end - start;
    return true;
}

} // namespace jet

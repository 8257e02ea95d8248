#include "db/jet/RowDeleter.h"

#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/IndexTreeEditor.h"
#include "db/jet/Journal.h"
#include "db/jet/PageBatch.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/TableDef.h"

#include <memory>
#include <set>

namespace jet {

namespace {

constexpr std::uint32_t kGlobalMapPage = 1;
constexpr std::uint8_t kMapPageType = 0x05;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

void writeU16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

// Marks `pages` free in the global usage map (row 0 of page 1; a set bit means unused).
// Pages the map does not cover are counted in `outside` and stay as they are in the map.
bool freeInGlobalMap(PageBatch &batch, const PageFile &file, const std::vector<std::uint32_t> &pages,
                     int *outside, QString *error)
{
    if (pages.empty())
        return true;
    QString why;
    std::uint8_t *p = batch.modify(kGlobalMapPage, &why);
    if (!p) {
        setError(error, QStringLiteral("global usage map: %1").arg(why));
        return false;
    }
    const DataPage dp(file.layout(), p);
    int start = 0;
    int end = 0;
    if (!dp.isDataPage() || !dp.rowBounds(0, &start, &end) || end - start < 5) {
        setError(error, QStringLiteral("page 1 does not hold the global usage map"));
        return false;
    }
    std::uint8_t *row = p + start;
    const int length = end - start;
    for (const std::uint32_t page : pages) {
        if (row[0] == 0x00) {
            const std::uint32_t first = readU32(row + 1);
            const std::uint64_t bits = std::uint64_t(length - 5) * 8;
            if (page < first || page - first >= bits) {
                ++*outside;
                continue;
            }
            const std::uint32_t k = page - first;
            row[5 + k / 8] |= std::uint8_t(1u << (k % 8));
        } else if (row[0] == 0x01) {
            const std::uint32_t perMapPage = std::uint32_t(file.pageSize() - 4) * 8;
            const std::uint32_t m = page / perMapPage;
            if (1 + 4 * qint64(m) + 4 > length || readU32(row + 1 + 4 * m) == 0) {
                ++*outside;
                continue;
            }
            const std::uint32_t mapPageNo = readU32(row + 1 + 4 * m);
            std::uint8_t *mapPage = batch.modify(mapPageNo, &why);
            if (!mapPage || mapPage[0] != kMapPageType) {
                setError(error, QStringLiteral("page %1 of the global usage map is not a map page%2")
                                    .arg(mapPageNo)
                                    .arg(mapPage ? QString() : QStringLiteral(": ") + why));
                return false;
            }
            const std::uint32_t k = page % perMapPage;
            mapPage[4 + k / 8] |= std::uint8_t(1u << (k % 8));
        } else {
            setError(error, QStringLiteral("the global usage map has the unknown type 0x%1")
                                .arg(row[0], 2, 16, QLatin1Char('0')));
            return false;
        }
    }
    return true;
}

} // namespace

RowDeleter::RowDeleter(PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

bool RowDeleter::deleteRows(const std::vector<RowId> &rows, QString *error)
{
    m_stats = Stats();
    const int crashAfter = m_crashAfter;
    m_crashAfter = -1;
    if (!m_file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    if (m_file.mode() != PageFile::OpenMode::ReadWrite) {
        setError(error, QStringLiteral("cannot delete: the database is open read-only"));
        return false;
    }
    if (m_table.pages().empty() || m_table.format() != m_file.format()) {
        setError(error, QStringLiteral("cannot delete: the table definition does not belong to this database"));
        return false;
    }
    if (rows.empty())
        return true;
    if (Journal::exists(m_file.path())) {
        setError(error, QStringLiteral("cannot delete: %1 holds an interrupted change that must be rolled back first")
                            .arg(Journal::pathFor(m_file.path())));
        return false;
    }

    const Layout &layout = m_file.layout();
    const auto &indexes = m_table.physicalIndexes();
    PageBatch batch(m_file);
    std::vector<std::unique_ptr<IndexTreeEditor>> editors;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (indexes[i].rootPage == 0 || indexes[i].rootPage >= m_file.pageCount()) {
            setError(error, QStringLiteral("cannot delete: index %1 of the table has no valid root page").arg(i));
            return false;
        }
        editors.push_back(std::make_unique<IndexTreeEditor>(batch, m_file.format(), m_file.pageSize(),
                                                            indexes[i].rootPage));
    }

    // The row count lives on the first definition page.
    const std::uint64_t countOffset = m_table.rowCountFileOffset();
    const std::uint32_t tdefPage = std::uint32_t(countOffset / std::uint64_t(m_file.pageSize()));
    const int countInPage = int(countOffset % std::uint64_t(m_file.pageSize()));
    QString why;
    std::uint8_t *tdef = batch.modify(tdefPage, &why);
    if (!tdef || tdef[0] != 0x02) {
        setError(error, QStringLiteral("cannot delete: the table definition page %1 cannot be read%2")
                            .arg(tdefPage)
                            .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        return false;
    }
    std::uint32_t rowCount = readU32(tdef + countInPage);

    RowFetcher fetcher(m_file, m_table);
    std::set<RowId> seen;
    for (const RowId &id : rows) {
        const auto refuse = [&](const QString &text) {
            setError(error, QStringLiteral("cannot delete row %1: %2").arg(id.toString(), text));
            return false;
        };
        if (!seen.insert(id).second)
            return refuse(QStringLiteral("it is listed twice"));
        if (id.page >= m_file.pageCount())
            return refuse(QStringLiteral("page %1 is past the end of the file").arg(id.page));
        std::uint8_t *data = batch.modify(id.page, &why);
        if (!data)
            return refuse(why);
        const DataPage dp(layout, data);
        if (!dp.isDataPage() || dp.isLongValuePage() || dp.owner() != m_table.firstPage())
            return refuse(QStringLiteral("page %1 is not a data page of this table").arg(id.page));
        if (!dp.slotTableFits() || int(id.slot) >= dp.slotCount())
            return refuse(QStringLiteral("there is no such row"));
        const std::uint16_t slot = dp.slotEntry(int(id.slot));
        if (slot & DataPage::kDeleted)
            return refuse(QStringLiteral("it is not a live row"));

        // The row's keys, from its bytes as stored (a delete changes only slot flags).
        if (!fetcher.fetch(id))
            return refuse(fetcher.error());
        const RowView &row = fetcher.row();
        std::vector<int> skip(indexes.size(), 0);
        std::vector<QByteArray> entries(indexes.size());
        std::vector<bool> haveEntry(indexes.size(), false);
        const QByteArray pointer = IndexPage::rowPointerBytes(id);
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (indexes[i].ignoresNulls() && IndexKeyEncoder::allKeyColumnsNull(indexes[i], row)) {
                skip[i] = 1;
                continue;
            }
            QByteArray key;
            if (IndexKeyEncoder::encode(indexes[i], row, &key)) {
                entries[i] = key + pointer;
                haveEntry[i] = true;
            }
        }

        writeU16(data + layout.dataSlotTable + 2 * int(id.slot),
                 std::uint16_t(slot | DataPage::kDeleted | DataPage::kOverflow));
        rowCount = rowCount > 0 ? rowCount - 1 : 0;
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (skip[i])
                continue;
            if (!editors[i]->remove(id, haveEntry[i] ? &entries[i] : nullptr, &why))
                return refuse(QStringLiteral("index %1: %2").arg(i).arg(why));
        }
        ++m_stats.rows;
    }
    writeU32(tdef + countInPage, rowCount);

    std::vector<std::uint32_t> freed;
    for (std::size_t i = 0; i < editors.size(); ++i) {
        if (!editors[i]->flush(&why)) {
            setError(error, QStringLiteral("cannot delete: index %1: %2").arg(i).arg(why));
            return false;
        }
        freed.insert(freed.end(), editors[i]->freedPages().begin(), editors[i]->freedPages().end());
        m_stats.descents += editors[i]->descents();
        m_stats.walks += editors[i]->walks();
    }
    if (!freeInGlobalMap(batch, m_file, freed, &m_stats.freedOutsideMap, &why)) {
        setError(error, QStringLiteral("cannot delete: %1").arg(why));
        return false;
    }
    m_stats.indexPagesFreed = int(freed.size());

    const std::vector<PageBatch::Change> changes = batch.changes();
    if (!Journal::commit(m_file, changes, &why, crashAfter)) {
        setError(error, QStringLiteral("cannot delete: %1").arg(why));
        return false;
    }
    m_stats.pagesWritten = int(changes.size());
    return true;
}

} // namespace jet

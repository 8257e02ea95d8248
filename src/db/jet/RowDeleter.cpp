#include "db/jet/RowDeleter.h"

#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/ErrorText.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/IndexTreeEditor.h"
#include "db/jet/Journal.h"
#include "db/jet/PageBatch.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/TableDef.h"

#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace jet {

namespace {

constexpr std::uint32_t kGlobalMapPage = 1;
constexpr std::uint8_t kMapPageType = 0x05;

// Marks `pages` free in the global usage map (row 0 of page 1; a set bit means unused).
// Pages the map does not cover are counted in `outside` and stay as they are in the map.
bool freeInGlobalMap(PageBatch &batch, const PageFile &file, const std::vector<std::uint32_t> &pages, int *outside,
                     QString *error)
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
            setError(
                error,
                QStringLiteral("the global usage map has the unknown type 0x%1").arg(row[0], 2, 16, QLatin1Char('0')));
            return false;
        }
    }
    return true;
}

bool refuse(QString *error, const RowId &id, const QString &text)
{
    setError(error, QStringLiteral("cannot delete row %1: %2").arg(id.toString(), text));
    return false;
}

} // namespace

RowDeleter::RowDeleter(PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

bool RowDeleter::deleteRows(const std::vector<RowId> &rows, QString *error)
{
    m_stats = Stats();
    if (!checkFileAndTable(error))
        return false;
    if (rows.empty())
        return true;
    if (const QString held = Journal::heldBack(m_file); !held.isEmpty()) {
        setError(error, QStringLiteral("cannot delete: ") + held);
        return false;
    }

    PageBatch batch(m_file);
    Editors editors;
    if (!openIndexEditors(batch, editors, error))
        return false;

    // The row count lives on the first definition page.
    const std::optional<std::uint64_t> countAt = m_table.rowCountFileOffset();
    if (!countAt) {
        setError(error, QStringLiteral("cannot delete: the table definition has no row count"));
        return false;
    }
    const std::uint64_t countOffset = *countAt;
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

    std::vector<RowToDelete> work;
    if (!collectRows(rows, batch, editors, work, error) || !removeRows(work, batch, editors, &rowCount, error))
        return false;
    writeU32(tdef + countInPage, rowCount);
    if (!releaseIndexPages(batch, editors, error))
        return false;

    const std::vector<PageBatch::Change> changes = batch.changes();
    if (!Journal::commit(m_file, changes, &why)) {
        setError(error, QStringLiteral("cannot delete: %1").arg(why));
        return false;
    }
    m_stats.pagesWritten = int(changes.size());
    return true;
}

bool RowDeleter::checkFileAndTable(QString *error) const
{
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
    return true;
}

bool RowDeleter::openIndexEditors(PageBatch &batch, Editors &editors, QString *error) const
{
    const auto &indexes = m_table.physicalIndexes();
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (indexes[i].rootPage == 0 || indexes[i].rootPage >= m_file.pageCount()) {
            setError(error, QStringLiteral("cannot delete: index %1 of the table has no valid root page").arg(i));
            return false;
        }
        editors.push_back(
            std::make_unique<IndexTreeEditor>(batch, m_file.format(), m_file.pageSize(), indexes[i].rootPage));
    }
    return true;
}

bool RowDeleter::collectRows(const std::vector<RowId> &rows, PageBatch &batch, Editors &editors,
                             std::vector<RowToDelete> &work, QString *error)
{
    // Index entries are built from each row's stored bytes (a delete changes only slot
    // flags, so the file's rows are the right source).
    const Layout &layout = m_file.layout();
    const auto &indexes = m_table.physicalIndexes();
    work.reserve(rows.size());
    std::vector<std::unordered_set<std::uint32_t>> unkeyed(indexes.size());
    RowFetcher fetcher(m_file, m_table);
    std::set<RowId> seen;
    QString why;
    for (const RowId &id : rows) {
        if (!seen.insert(id).second)
            return refuse(error, id, QStringLiteral("it is listed twice"));
        if (id.page >= m_file.pageCount())
            return refuse(error, id, QStringLiteral("page %1 is past the end of the file").arg(id.page));
        const std::uint8_t *data = batch.read(id.page, &why);
        if (!data)
            return refuse(error, id, why);
        const DataPage dp(layout, data);
        if (!dp.isDataPage() || dp.isLongValuePage() || dp.owner() != m_table.firstPage())
            return refuse(error, id, QStringLiteral("page %1 is not a data page of this table").arg(id.page));
        // Index entries name the row in one byte, so slots past 255 cannot be rows.
        if (!dp.slotTableFits() || id.slot > 0xFF || int(id.slot) >= dp.slotCount())
            return refuse(error, id, QStringLiteral("there is no such row"));
        if (dp.slotEntry(int(id.slot)) & DataPage::kDeleted)
            return refuse(error, id, QStringLiteral("it is not a live row"));
        if (!fetcher.fetch(id))
            return refuse(error, id, fetcher.error());
        const RowView &row = fetcher.row();
        RowToDelete w{id, std::vector<char>(indexes.size(), 0), std::vector<QByteArray>(indexes.size())};
        const QByteArray pointer = IndexPage::rowPointerBytes(id);
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (indexes[i].ignoresNulls() && IndexKeyEncoder::allKeyColumnsNull(indexes[i], row)) {
                w.skip[i] = 1;
                continue;
            }
            QByteArray key;
            if (IndexKeyEncoder::encode(indexes[i], row, &key))
                w.entry[i] = key + pointer;
            else
                unkeyed[i].insert(id.toPointer());
        }
        work.push_back(std::move(w));
    }

    // Entries whose keys could not be built (text) are found with one search of the leaves
    // per index for the whole batch; each removal then descends by the found bytes.
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (unkeyed[i].empty())
            continue;
        std::unordered_map<std::uint32_t, QByteArray> found;
        ++m_stats.leafSearches;
        if (!editors[i]->findEntries(unkeyed[i], &found, &why)) {
            setError(error, QStringLiteral("cannot delete: index %1: %2").arg(i).arg(why));
            return false;
        }
        for (RowToDelete &w : work) {
            const auto it = found.find(w.id.toPointer());
            if (it != found.end())
                w.entry[i] = it->second;
        }
    }
    return true;
}

bool RowDeleter::removeRows(const std::vector<RowToDelete> &work, PageBatch &batch, Editors &editors,
                            std::uint32_t *rowCount, QString *error)
{
    const Layout &layout = m_file.layout();
    QString why;
    for (const RowToDelete &w : work) {
        std::uint8_t *data = batch.modify(w.id.page, &why);
        if (!data)
            return refuse(error, w.id, why);
        std::uint8_t *entry = data + layout.dataSlotTable + 2 * int(w.id.slot);
        writeU16(entry, std::uint16_t(readU16(entry) | DataPage::kDeleted | DataPage::kOverflow));
        *rowCount = *rowCount > 0 ? *rowCount - 1 : 0;
        for (std::size_t i = 0; i < editors.size(); ++i) {
            if (w.skip[i])
                continue;
            if (!editors[i]->remove(w.id, w.entry[i].isEmpty() ? nullptr : &w.entry[i], &why))
                return refuse(error, w.id, QStringLiteral("index %1: %2").arg(i).arg(why));
        }
        ++m_stats.rows;
    }
    return true;
}

bool RowDeleter::releaseIndexPages(PageBatch &batch, Editors &editors, QString *error)
{
    QString why;
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
    return true;
}

} // namespace jet

#include "db/jet/TableDef.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/Layout.h"
#include "db/jet/PageFile.h"
#include "db/jet/TextCodec.h"

#include <algorithm>
#include <unordered_set>

namespace jet {

namespace {

// Walks the assembled definition, refusing any read past its end.
class DefinitionCursor
{
public:
    DefinitionCursor(const QByteArray &buffer, qint64 start)
        : m_data(reinterpret_cast<const std::uint8_t *>(buffer.constData()))
        , m_size(buffer.size())
        , m_pos(start)
    {}

    bool has(qint64 n) const { return n >= 0 && m_pos <= m_size && n <= m_size - m_pos; }
    qint64 pos() const { return m_pos; }
    const std::uint8_t *here() const { return m_data + m_pos; }
    void skip(qint64 n) { m_pos += n; }

private:
    const std::uint8_t *m_data;
    qint64 m_size;
    qint64 m_pos;
};

bool readName(DefinitionCursor &cur, Format format, const TextCodec *codec, QString *name)
{
    if (format == Format::Jet3) {
        if (!cur.has(1))
            return false;
        const int len = cur.here()[0];
        cur.skip(1);
        if (!cur.has(len))
            return false;
        *name = codec->decode(cur.here(), len);
        cur.skip(len);
        return true;
    }
    if (!cur.has(2))
        return false;
    const int len = readU16(cur.here());
    cur.skip(2);
    if (!cur.has(len))
        return false;
    *name = TextCodec::decodeUcs2(cur.here(), len);
    cur.skip(len);
    return true;
}

// Calls read(item, bytes, offset) for each item with the next block of blockSize bytes and
// its offset in the definition; false when the definition ends inside the blocks.
template <typename T, typename Read>
bool readBlocks(DefinitionCursor &cur, int blockSize, std::vector<T> &items, Read &&read)
{
    for (auto &item : items) {
        if (!cur.has(blockSize))
            return false;
        read(item, cur.here(), int(cur.pos()));
        cur.skip(blockSize);
    }
    return true;
}

// The entry count of each physical index: 4 unknown bytes, the count, (Jet 4) 4 more.
bool readIndexEntryCounts(DefinitionCursor &cur, const Layout &lay, std::vector<PhysicalIndex> &indexes)
{
    return readBlocks(cur, lay.tdefIndexCountSize, indexes, [](PhysicalIndex &index, const std::uint8_t *b, int at) {
        index.entryCountOffset = at + 4;
        index.entryCount = readU32(b + 4);
    });
}

bool readColumnBlocks(DefinitionCursor &cur, const Layout &lay, std::vector<Column> &columns)
{
    return readBlocks(cur, lay.columnBlockSize, columns, [&lay](Column &col, const std::uint8_t *b, int at) {
        col.blockOffset = at;
        col.typeCode = b[lay.colType];
        col.number = readU16(b + lay.colNumber);
        col.varIndex = readU16(b + lay.colVarIndex);
        col.sortOrder = readU16(b + lay.colSortOrder);
        col.codePage = lay.colCodePage >= 0 ? readU16(b + lay.colCodePage) : 0;
        if (lay.colPrecision >= 0 && col.typeCode == std::uint8_t(ColumnType::Decimal)) {
            col.precision = b[lay.colPrecision];
            col.scale = b[lay.colScale];
        }
        col.flags = b[lay.colFlags];
        col.extFlags = lay.colExtFlags >= 0 ? b[lay.colExtFlags] : 0;
        col.fixedOffset = readU16(b + lay.colFixedOffset);
        col.length = readU16(b + lay.colLength);
    });
}

// The column names, and the codec each column's text is read with.
bool readColumnNames(DefinitionCursor &cur, Format format, const PageFile *file, const TextCodec *nameCodec,
                     std::vector<Column> &columns)
{
    for (auto &col : columns) {
        if (!readName(cur, format, nameCodec, &col.name))
            return false;
        const bool textual =
            col.typeCode == std::uint8_t(ColumnType::Text) || col.typeCode == std::uint8_t(ColumnType::Memo);
        const int cp = file ? file->effectiveCodePage(textual ? col.codePage : 0)
                            : (textual && col.codePage ? col.codePage : 1252);
        col.codec = TextCodec::forCodePage(format == Format::Jet3 ? cp : 1252);
    }
    return true;
}

bool readPhysicalIndexBlocks(DefinitionCursor &cur, const Layout &lay, std::vector<PhysicalIndex> &indexes)
{
    return readBlocks(cur, lay.physicalIndexBlockSize, indexes,
                      [&lay](PhysicalIndex &index, const std::uint8_t *b, int at) {
                          index.blockOffset = at;
                          for (int k = 0; k < 10; ++k) {
                              const std::uint8_t *e = b + lay.physColumns + 3 * k;
                              const std::uint16_t number = readU16(e);
                              if (number == 0xFFFF)
                                  continue;
                              PhysicalIndex::KeyColumn key;
                              key.number = number;
                              key.ascending = e[2] != 0x00;
                              index.keyColumns.push_back(key);
                          }
                          index.usageMap = RowId::fromPointer(readU32(b + lay.physUsageMap));
                          index.rootPage = readU32(b + lay.physRootPage);
                          index.flags = b[lay.physFlags];
                      });
}

bool readLogicalIndexBlocks(DefinitionCursor &cur, const Layout &lay, std::vector<LogicalIndex> &indexes)
{
    return readBlocks(cur, lay.logicalIndexBlockSize, indexes,
                      [&lay](LogicalIndex &index, const std::uint8_t *b, int at) {
                          index.blockOffset = at;
                          index.number = std::int32_t(readU32(b + lay.logNumber));
                          index.physicalIndex = std::int32_t(readU32(b + lay.logPhysical));
                          index.foreignTableType = b[lay.logFkTableType];
                          index.foreignIndexNumber = std::int32_t(readU32(b + lay.logFkIndex));
                          index.foreignTablePage = readU32(b + lay.logFkTablePage);
                          index.cascadeUpdates = b[lay.logCascadeUpdates] != 0;
                          index.cascadeDeletes = b[lay.logCascadeDeletes] != 0;
                          index.indexType = b[lay.logIndexType];
                      });
}

// Usage maps of Memo/OLE columns: {column number, owned map, free map} until 0xFFFF.
// Older definitions may end without the list, so a short tail is not an error.
void readLongValueMaps(DefinitionCursor &cur, std::vector<Column> &columns)
{
    while (cur.has(2)) {
        const std::uint16_t number = readU16(cur.here());
        if (number == 0xFFFF || !cur.has(10))
            break;
        for (auto &col : columns) {
            if (col.number == number) {
                col.hasLongValueMaps = true;
                col.longValueOwnedMap = RowId::fromPointer(readU32(cur.here() + 2));
                col.longValueFreeMap = RowId::fromPointer(readU32(cur.here() + 6));
            }
        }
        cur.skip(10);
    }
}

// Each key column's position among the columns, which are in column-number order.
void resolveKeyColumns(std::vector<PhysicalIndex> &indexes, const std::vector<Column> &columns)
{
    for (auto &index : indexes) {
        for (auto &key : index.keyColumns) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                if (columns[c].number == key.number) {
                    key.column = int(c);
                    break;
                }
            }
        }
    }
}

} // namespace

bool TableDef::load(const PageFile &file, std::uint32_t firstPage, QString *error)
{
    m_pages.clear();
    m_columns.clear();
    m_physical.clear();
    m_logical.clear();
    std::vector<std::uint32_t> pages;
    if (!file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    const int ps = file.pageSize();
    QByteArray assembled;
    QByteArray page(ps, '\0');
    auto *buf = reinterpret_cast<std::uint8_t *>(page.data());
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t next = firstPage;
    if (firstPage == 0) {
        setError(error, QStringLiteral("page 0 cannot hold a table definition"));
        return false;
    }
    while (next != 0) {
        if (int(pages.size()) >= kMaxPages) {
            setError(error, QStringLiteral("the table definition at page %1 runs over more than %2 pages")
                                .arg(firstPage)
                                .arg(kMaxPages));
            return false;
        }
        if (!seen.insert(next).second) {
            setError(error,
                     QStringLiteral("the table definition at page %1 loops back to page %2").arg(firstPage).arg(next));
            return false;
        }
        QString readError;
        if (!file.readPage(next, buf, &readError)) {
            setError(error, QStringLiteral("table definition at page %1: %2").arg(firstPage).arg(readError));
            return false;
        }
        if (buf[0] != 0x02) {
            setError(error, QStringLiteral("page %1 is not a table definition page (type 0x%2)")
                                .arg(next)
                                .arg(buf[0], 2, 16, QLatin1Char('0')));
            return false;
        }
        if (pages.empty())
            assembled.append(page.constData(), ps);
        else
            assembled.append(page.constData() + 8, ps - 8);
        pages.push_back(next);
        next = readU32(buf + 4);
    }
    if (!parse(assembled, file.format(), &file, error))
        return false;
    m_pages = std::move(pages);
    return true;
}

bool TableDef::parse(const QByteArray &definition, Format format, const PageFile *file, QString *error)
{
    const Layout &lay = Layout::of(format);
    m_format = format;
    m_pageSize = lay.pageSize;
    m_definition = definition;
    m_pages.clear();
    m_columns.clear();
    m_physical.clear();
    m_logical.clear();

    const auto *d = reinterpret_cast<const std::uint8_t *>(m_definition.constData());
    const qint64 size = m_definition.size();
    if (size < lay.tdefHeaderEnd) {
        setError(error, QStringLiteral("the table definition is too short (%1 bytes)").arg(size));
        return false;
    }
    m_definitionLength = readU32(d + 0x08);
    m_rowCount = readU32(d + lay.tdefRowCount);
    m_autoNumber = readU32(d + lay.tdefAutoNumber);
    m_tableType = d[lay.tdefTableType];
    m_maxColumns = readU16(d + lay.tdefMaxColumns);
    m_varColumns = readU16(d + lay.tdefVarColumns);
    const int columnCount = readU16(d + lay.tdefColumnCount);
    const std::uint32_t logicalCount = readU32(d + lay.tdefLogicalIndexCount);
    const std::uint32_t physicalCount = readU32(d + lay.tdefPhysicalIndexCount);
    m_ownedMap = RowId::fromPointer(readU32(d + lay.tdefOwnedMap));
    m_freeMap = RowId::fromPointer(readU32(d + lay.tdefFreeMap));

    // Each count must at least fit the bytes its blocks take; this also rules out
    // absurd counts before anything is allocated for them.
    const qint64 room = size - lay.tdefHeaderEnd;
    if (qint64(columnCount) * lay.columnBlockSize > room
        || qint64(physicalCount) * (lay.tdefIndexCountSize + lay.physicalIndexBlockSize) > room
        || qint64(logicalCount) * lay.logicalIndexBlockSize > room) {
        setError(error, QStringLiteral("the table definition claims %1 columns, %2 physical and %3 "
                                       "logical indexes, more than its %4 bytes can hold")
                            .arg(columnCount)
                            .arg(physicalCount)
                            .arg(logicalCount)
                            .arg(size));
        return false;
    }

    const int namesCodePage = file ? file->effectiveCodePage(0) : 1252;
    const TextCodec *nameCodec = TextCodec::forCodePage(namesCodePage);
    DefinitionCursor cur(m_definition, lay.tdefHeaderEnd);
    const auto truncated = [&](const char *what) {
        setError(error, QStringLiteral("the table definition ends inside the %1").arg(QLatin1String(what)));
        return false;
    };

    m_physical.resize(physicalCount);
    if (!readIndexEntryCounts(cur, lay, m_physical))
        return truncated("index entry counts");
    m_columns.resize(std::size_t(columnCount));
    if (!readColumnBlocks(cur, lay, m_columns))
        return truncated("column blocks");
    if (!readColumnNames(cur, format, file, nameCodec, m_columns))
        return truncated("column names");
    if (!readPhysicalIndexBlocks(cur, lay, m_physical))
        return truncated("physical index blocks");
    m_logical.resize(logicalCount);
    if (!readLogicalIndexBlocks(cur, lay, m_logical))
        return truncated("logical index blocks");
    for (auto &index : m_logical) {
        if (!readName(cur, format, nameCodec, &index.name))
            return truncated("index names");
    }
    readLongValueMaps(cur, m_columns);

    std::stable_sort(m_columns.begin(), m_columns.end(),
                     [](const Column &a, const Column &b) { return a.number < b.number; });
    resolveKeyColumns(m_physical, m_columns);
    return true;
}

int TableDef::columnIndex(const QString &name) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (QString::compare(m_columns[i].name, name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int TableDef::rowCountOffset() const
{
    return Layout::of(m_format).tdefRowCount;
}

std::optional<std::uint64_t> TableDef::rowCountFileOffset() const
{
    std::uint64_t offset = 0;
    if (!fileOffset(rowCountOffset(), &offset))
        return std::nullopt;
    return offset;
}

bool TableDef::fileOffset(int definitionOffset, std::uint64_t *out) const
{
    if (definitionOffset < 0 || m_pages.empty())
        return false;
    const std::uint64_t ps = std::uint64_t(m_pageSize);
    std::size_t pageIndex = 0;
    std::uint64_t within = std::uint64_t(definitionOffset);
    if (within >= ps) {
        const std::uint64_t rest = within - ps;
        pageIndex = std::size_t(rest / (ps - 8)) + 1;
        within = 8 + rest % (ps - 8);
    }
    if (pageIndex >= m_pages.size())
        return false;
    *out = std::uint64_t(m_pages[pageIndex]) * ps + within;
    return true;
}

} // namespace jet

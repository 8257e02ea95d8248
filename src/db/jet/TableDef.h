#pragma once
// A table definition (TDEF): the header fields, the columns in table order, the physical
// and logical indexes and the usage maps, read from a chain of TDEF pages.
//
// The pages are assembled into one buffer (the whole first page, then bytes 8.. of each
// following page) and every field is parsed from that buffer, because fields run across
// page boundaries. Offsets reported here are offsets into that buffer; fileOffset() turns
// one into a position in the file, for the deleter that patches the row count.

#include "db/jet/Column.h"
#include "db/jet/Format.h"
#include "db/jet/IndexDefinition.h"
#include "db/jet/RowId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace jet {

class PageFile;

class TableDef
{
public:
    // Table types in the header.
    static constexpr std::uint8_t kUserTable = 0x4E;
    static constexpr std::uint8_t kSystemTable = 0x53;
    // A definition longer than this many pages is treated as damaged (Jet's 255 columns
    // with names and 32 indexes fit in a handful).
    static constexpr int kMaxPages = 64;

    // Reads the definition whose first page is `firstPage`. Fails with an error text for a
    // page that is not a TDEF page, a chain that loops or runs past the file, or fields
    // that do not fit the definition.
    bool load(const PageFile &file, std::uint32_t firstPage, QString *error = nullptr);

    // Parses an already assembled definition. `file` supplies the code pages for Jet 3
    // names and text; without one, 1252 is used. load() ends here.
    bool parse(const QByteArray &definition, Format format, const PageFile *file, QString *error = nullptr);

    Format format() const { return m_format; }
    std::uint32_t firstPage() const { return m_pages.empty() ? 0 : m_pages.front(); }
    const std::vector<std::uint32_t> &pages() const { return m_pages; }
    const QByteArray &definition() const { return m_definition; }

    std::uint32_t definitionLength() const { return m_definitionLength; }
    std::uint32_t rowCount() const { return m_rowCount; } // for progress only
    std::uint32_t autoNumber() const { return m_autoNumber; }
    std::uint8_t tableType() const { return m_tableType; }
    int maxColumns() const { return m_maxColumns; }
    int variableColumnCount() const { return m_varColumns; }
    int columnCount() const { return int(m_columns.size()); }
    RowId ownedPagesMap() const { return m_ownedMap; }
    RowId freeSpaceMap() const { return m_freeMap; }

    // Columns sorted by column number (table order).
    const std::vector<Column> &columns() const { return m_columns; }
    const Column &column(int index) const { return m_columns[std::size_t(index)]; }
    // Position in columns() of the column named `name` (without regard to case), or -1.
    int columnIndex(const QString &name) const;

    const std::vector<PhysicalIndex> &physicalIndexes() const { return m_physical; }
    const std::vector<LogicalIndex> &logicalIndexes() const { return m_logical; }

    // Where the row count lives: its offset in the definition, and in the file (it is
    // always on the first TDEF page; none for a definition that was not loaded).
    int rowCountOffset() const;
    std::optional<std::uint64_t> rowCountFileOffset() const;
    // Maps an offset in the assembled definition to a byte position in the file.
    bool fileOffset(int definitionOffset, std::uint64_t *out) const;

private:
    Format m_format = Format::Jet4;
    int m_pageSize = 4096;
    std::vector<std::uint32_t> m_pages;
    QByteArray m_definition;
    std::uint32_t m_definitionLength = 0;
    std::uint32_t m_rowCount = 0;
    std::uint32_t m_autoNumber = 0;
    std::uint8_t m_tableType = 0;
    int m_maxColumns = 0;
    int m_varColumns = 0;
    RowId m_ownedMap;
    RowId m_freeMap;
    std::vector<Column> m_columns;
    std::vector<PhysicalIndex> m_physical;
    std::vector<LogicalIndex> m_logical;
};

} // namespace jet

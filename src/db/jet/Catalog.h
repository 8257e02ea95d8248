#pragma once
// The system catalog: MSysObjects, whose definition is always on page 2. A local table is
// a row with Type 1 whose ParentId is the id of the "Tables" folder (itself the row named
// "Tables" with ParentId 0x0F000000). Columns are found by name, since their order in the
// definition differs between Jet 3 and Jet 4.

#include "db/jet/CatalogEntry.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;

class Catalog
{
public:
    static constexpr std::uint32_t kCatalogPage = 2;
    static constexpr std::int32_t kRootFolderId = 0x0F000000;

    bool load(const PageFile &file, QString *error = nullptr);

    // Every local table, system tables included, in catalog order.
    const std::vector<CatalogEntry> &tables() const { return m_tables; }
    // Names of the user tables (no system or MSys* tables), in catalog order.
    QStringList userTableNames() const;
    // The table named `name` without regard to case, or null.
    const CatalogEntry *find(const QString &name) const;

    std::int32_t tablesFolderId() const { return m_tablesFolder; }
    int objectCount() const { return m_objectCount; } // rows of MSysObjects

private:
    std::vector<CatalogEntry> m_tables;
    std::int32_t m_tablesFolder = 0;
    int m_objectCount = 0;
};

} // namespace jet

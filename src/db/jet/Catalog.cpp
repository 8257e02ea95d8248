#include "db/jet/Catalog.h"

#include "db/jet/ErrorText.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDef.h"

namespace jet {

namespace {

struct CatalogRow
{
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    std::int64_t type = 0;
    std::uint32_t flags = 0;
    QString name;
};

} // namespace

bool Catalog::load(const PageFile &file, QString *error)
{
    m_tables.clear();
    m_tablesFolder = 0;
    m_objectCount = 0;

    TableDef def;
    QString why;
    if (!def.load(file, kCatalogPage, &why)) {
        setError(error, QStringLiteral("cannot read the system catalog: %1").arg(why));
        return false;
    }
    const int idCol = def.columnIndex(QStringLiteral("Id"));
    const int parentCol = def.columnIndex(QStringLiteral("ParentId"));
    const int nameCol = def.columnIndex(QStringLiteral("Name"));
    const int typeCol = def.columnIndex(QStringLiteral("Type"));
    const int flagsCol = def.columnIndex(QStringLiteral("Flags"));
    if (idCol < 0 || parentCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) {
        setError(error, QStringLiteral("the system catalog lacks one of the columns Id, ParentId, Name, Type, Flags"));
        return false;
    }

    std::vector<CatalogRow> rows;
    RowScanner scan(file, def);
    while (scan.next()) {
        const RowView &row = scan.row();
        CatalogRow r;
        std::int64_t v = 0;
        if (row.integer(idCol, &v))
            r.id = std::int32_t(v);
        if (row.integer(parentCol, &v))
            r.parentId = std::int32_t(v);
        if (row.integer(typeCol, &v))
            r.type = v;
        if (row.integer(flagsCol, &v))
            r.flags = std::uint32_t(v);
        row.text(nameCol, r.name);
        rows.push_back(std::move(r));
    }
    if (scan.hasError()) {
        setError(error, QStringLiteral("cannot read the system catalog: %1").arg(scan.error()));
        return false;
    }
    m_objectCount = int(rows.size());

    bool haveFolder = false;
    for (const CatalogRow &r : rows) {
        if (r.parentId == kRootFolderId && r.name == QLatin1String("Tables")) {
            m_tablesFolder = r.id;
            haveFolder = true;
            break;
        }
    }
    if (!haveFolder) {
        setError(error, QStringLiteral("the system catalog has no \"Tables\" folder"));
        return false;
    }
    for (const CatalogRow &r : rows) {
        if (r.type != 1 || r.parentId != m_tablesFolder)
            continue;
        CatalogEntry e;
        e.name = r.name;
        e.id = r.id;
        e.tdefPage = std::uint32_t(r.id) & 0x00FFFFFFu;
        e.flags = r.flags;
        m_tables.push_back(std::move(e));
    }
    return true;
}

QStringList Catalog::userTableNames() const
{
    QStringList names;
    for (const CatalogEntry &e : m_tables) {
        if (!e.isSystem())
            names << e.name;
    }
    return names;
}

const CatalogEntry *Catalog::find(const QString &name) const
{
    for (const CatalogEntry &e : m_tables) {
        if (QString::compare(e.name, name, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

} // namespace jet

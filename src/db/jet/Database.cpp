#include "db/jet/Database.h"

namespace jet {

bool Database::open(const QString &path, PageFile::OpenMode mode, QString *error)
{
    close();
    if (!m_file.open(path, mode, error))
        return false;
    QString why;
    if (!m_catalog.load(m_file, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        m_file.close();
        return false;
    }
    return true;
}

void Database::close()
{
    m_file.close();
    m_catalog = Catalog();
}

bool Database::reload(QString *error)
{
    if (!m_file.refresh(error))
        return false;
    return m_catalog.load(m_file, error);
}

std::optional<TableDef> Database::table(const QString &name, QString *error) const
{
    if (!m_file.isOpen()) {
        if (error)
            *error = QStringLiteral("the database is not open");
        return std::nullopt;
    }
    const CatalogEntry *entry = m_catalog.find(name);
    if (!entry) {
        if (error)
            *error = QStringLiteral("no table named \"%1\"").arg(name);
        return std::nullopt;
    }
    TableDef def;
    QString why;
    if (!def.load(m_file, entry->tdefPage, &why)) {
        if (error)
            *error = QStringLiteral("table %1: %2").arg(entry->name, why);
        return std::nullopt;
    }
    return def;
}

} // namespace jet

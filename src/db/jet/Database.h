#pragma once
// An open Jet database: the file and its catalog. The entry point for reading: open,
// list the tables, get a table definition, then scan it with RowScanner or dump it.
//
//     jet::Database db;
//     QString error;
//     if (!db.open(path, jet::PageFile::OpenMode::ReadOnly, &error)) ...
//     auto table = db.table(QStringLiteral("record"), &error);
//     jet::RowScanner scan(db.file(), *table);

#include "db/jet/Catalog.h"
#include "db/jet/PageFile.h"
#include "db/jet/TableDef.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace jet {

class Database
{
public:
    bool open(const QString &path, PageFile::OpenMode mode, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    PageFile &file() { return m_file; }
    const PageFile &file() const { return m_file; }
    const Catalog &catalog() const { return m_catalog; }

    // After another writer changed the file: re-read its length and the catalog.
    bool reload(QString *error = nullptr);

    QStringList userTableNames() const { return m_catalog.userTableNames(); }
    // The definition of the table named `name` (without regard to case).
    std::optional<TableDef> table(const QString &name, QString *error = nullptr) const;

private:
    PageFile m_file;
    Catalog m_catalog;
};

} // namespace jet

#pragma once
// Helpers for the tests of the Jet engine's write side: writable copies of fixtures, dumps
// of the remaining rows, the checker, and mdb-export as an outside reader.

#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/RowId.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDumper.h"

#include "JetTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

namespace JetDelete {

// A temporary folder for tests that commit many small transactions: in /dev/shm when it
// exists, where the journal's flushes cost nothing, so that hundreds of transactions stay
// fast; elsewhere the system's temporary folder.
inline QString fastTempPattern()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isDir() && shm.isWritable())
        return QStringLiteral("/dev/shm/orvik-jet-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/orvik-jet-XXXXXX");
}

// Splits CSV text as mdb-export writes it into records of fields: fields may be quoted,
// quoted fields may hold commas, line breaks and doubled quotes.
inline QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n')) {
            if (any || !field.isEmpty()) {
                fields << field;
                records << fields;
            }
            fields.clear();
            field.clear();
            any = false;
        } else if (c != QLatin1Char('\r')) {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        fields << field;
        records << fields;
    }
    return records;
}

// Copies `source` into `dir` under `name` and makes the copy writable.
inline QString copyFixture(const QTemporaryDir &dir, const QString &source,
                           const QString &name = QStringLiteral("dbR.mdb"))
{
    const QString target = dir.filePath(name);
    QFile::remove(target);
    if (!QFile::copy(source, target))
        return QString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

// The table's dump as TableDumper writes it, split into lines (header first, no empty
// last line).
inline QStringList dumpLines(const jet::PageFile &file, const jet::TableDef &table, QString *error)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!jet::TableDumper::dump(file, table, buffer, error))
        return {};
    QStringList lines = QString::fromUtf8(buffer.data()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A dump file's lines (header first).
inline QStringList fileLines(const QString &path)
{
    QStringList lines = QString::fromUtf8(TestFiles::read(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Removes from `lines` (after the header) the rows whose row id is in `deleted`.
inline QStringList withoutRows(const QStringList &lines, const std::vector<jet::RowId> &deleted)
{
    QSet<QString> ids;
    for (const auto &id : deleted)
        ids.insert(id.toString());
    QStringList out;
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0 && ids.contains(lines[i].section(QLatin1Char('\t'), 0, 0)))
            continue;
        out << lines[i];
    }
    return out;
}

inline std::vector<jet::RowId> liveRows(const jet::PageFile &file, const jet::TableDef &table)
{
    std::vector<jet::RowId> rows;
    jet::RowScanner scan(file, table);
    while (scan.next())
        rows.push_back(scan.rowId());
    return rows;
}

inline bool haveMdbExport()
{
    return !QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty();
}

// Runs mdb-export on a table and returns its rows' first fields. `ok` is false when the
// program fails.
inline QStringList mdbExportFirstFields(const QString &path, const QString &table, bool *ok)
{
    QProcess p;
    p.start(QStringLiteral("mdb-export"), {path, table});
    *ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QList<QStringList> records = parseCsv(QString::fromUtf8(p.readAllStandardOutput()));
    QStringList first;
    for (qsizetype i = 1; i < records.size(); ++i)
        first << records[i].value(0);
    return first;
}

} // namespace JetDelete

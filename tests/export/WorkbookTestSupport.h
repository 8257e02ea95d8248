#pragma once
// Helpers of the export tests: reading a written workbook back with the independent reader
// (openpyxl, through read_workbook.py), and reading and writing the parts of .xlsx files.

#include "common/PythonChecks.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <zip.h>

#include <initializer_list>

namespace WorkbookTest {

using Parts = QList<QPair<QString, QByteArray>>; // part name and bytes, in archive order

// Reads a workbook with openpyxl. On failure the object is empty and *error says why.
inline QJsonObject Read(const QString &path, QString *error, const QString &onlyRows = QString())
{
    QProcess reader;
    QStringList arguments = {QStringLiteral(ORVIK_WORKBOOK_READER), path};
    if (!onlyRows.isEmpty())
        arguments << QStringLiteral("--rows") << onlyRows;
    reader.start(QStringLiteral(ORVIK_TEST_PYTHON), arguments);
    if (!reader.waitForFinished(120000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        *error = QStringLiteral("openpyxl could not read %1: %2%3")
                     .arg(path, reader.errorString(), QString::fromUtf8(reader.readAllStandardError()));
        return QJsonObject();
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reader.readAllStandardOutput(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("the reader's output is not JSON: ") + parseError.errorString();
        return QJsonObject();
    }
    return doc.object();
}

inline QJsonObject Sheet(const QJsonObject &book, const QString &name)
{
    return book.value(QStringLiteral("worksheets")).toObject().value(name).toObject();
}

inline QJsonObject Cell(const QJsonObject &sheet, const QString &reference)
{
    return sheet.value(QStringLiteral("cells")).toObject().value(reference).toObject();
}

// One expected cell: its reference and properties as read_workbook.py names them; a
// property that must be missing or empty is given as null.
struct Expect
{
    const char *reference;
    QJsonObject properties;
};

// Describes the first difference between the sheet and the expected cells; empty when none.
inline QString Mismatch(const QJsonObject &sheet, std::initializer_list<Expect> expected)
{
    for (const Expect &e : expected) {
        const QJsonObject cell = Cell(sheet, QString::fromLatin1(e.reference));
        for (auto it = e.properties.begin(); it != e.properties.end(); ++it) {
            QJsonValue actual = cell.value(it.key());
            if (actual.isUndefined())
                actual = QJsonValue();
            const bool same = actual.isDouble() && it.value().isDouble() ? actual.toDouble() == it.value().toDouble()
                                                                         : actual == it.value();
            if (!same) {
                return QStringLiteral("%1 %2: %3 instead of %4")
                    .arg(QString::fromLatin1(e.reference), it.key(),
                         QString::fromUtf8(QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact)),
                         QString::fromUtf8(QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact)));
            }
        }
    }
    return QString();
}

inline Parts ReadParts(const QString &path)
{
    Parts parts;
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
    if (!archive)
        return parts;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_file_t *file = nullptr;
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0
            || !(file = zip_fopen_index(archive, zip_uint64_t(i), 0))) {
            parts.clear();
            break;
        }
        QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
        const zip_int64_t got = zip_fread(file, bytes.data(), st.size);
        zip_fclose(file);
        if (got != zip_int64_t(st.size)) {
            parts.clear();
            break;
        }
        parts.append({QString::fromUtf8(st.name), bytes});
    }
    zip_discard(archive);
    return parts;
}

inline QByteArray Part(const Parts &parts, const QString &name)
{
    for (const auto &part : parts) {
        if (part.first == name)
            return part.second;
    }
    return QByteArray();
}

inline void SetPart(Parts &parts, const QString &name, const QByteArray &bytes)
{
    for (auto &part : parts) {
        if (part.first == name) {
            part.second = bytes;
            return;
        }
    }
    parts.append({name, bytes});
}

inline void RemovePart(Parts &parts, const QString &name)
{
    parts.removeIf([&](const auto &part) { return part.first == name; });
}

inline QStringList PartNames(const Parts &parts)
{
    QStringList names;
    for (const auto &part : parts)
        names << part.first;
    return names;
}

inline bool WriteParts(const QString &path, const Parts &parts)
{
    QFile::remove(path);
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return false;
    for (const auto &part : parts) {
        // libzip reads the buffers at zip_close(); the list outlives that call.
        zip_source_t *source = zip_source_buffer(archive, part.second.constData(), zip_uint64_t(part.second.size()), 0);
        if (!source || zip_file_add(archive, part.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

// The names in a folder, hidden ones included: what a failed export must leave unchanged.
inline QStringList Listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace WorkbookTest

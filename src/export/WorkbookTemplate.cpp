#include "WorkbookTemplate.h"

#include "config/FileLocations.h"
#include "platform/HostSystem.h"
#include "platform/RandomAccessFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// The template the installation brings is a few kilobytes; a far larger one is not it.
constexpr qint64 kMaxTemplateBytes = 64 << 20;

// Writes the whole file or nothing: a template cut short by a crash would otherwise stay in
// the user's folder as their template for good.
bool WriteWhole(const QString &path, const QByteArray &bytes, QString *reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace

QByteArray EmbeddedTemplateWorkbook()
{
    QFile resource(QStringLiteral(":/workbook/sample.xlsx"));
    if (!resource.open(QIODevice::ReadOnly))
        return QByteArray();
    return resource.readAll();
}

QString EnsureTemplateWorkbook(const QString &programDir, const QString &fallbackDir, QString *error)
{
    const QString beside = FileLocations::TemplateBesideProgram(programDir);
    if (!beside.isEmpty())
        return beside;
    const QString path = FileLocations::UserTemplateFile();
    if (QFileInfo::exists(path))
        return path;

    QByteArray bytes;
    if (const QString installed = FileLocations::InstalledTemplate(programDir); !installed.isEmpty()) {
        // Read through the platform's regular-file check: a named pipe in the installation
        // would otherwise hold the export for good.
        if (RandomAccessFile::readWhole(installed, kMaxTemplateBytes, &bytes) != RandomAccessFile::ReadResult::Read)
            bytes.clear();
    }
    if (bytes.isEmpty())
        bytes = EmbeddedTemplateWorkbook();
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("The built-in template workbook is missing.");
        return QString();
    }
    QString firstReason;
    if (QDir().mkpath(QFileInfo(path).absolutePath()) && WriteWhole(path, bytes, &firstReason))
        return path;
    if (firstReason.isEmpty())
        firstReason = QStringLiteral("cannot create its folder");

    // One file per user, so that users sharing a temporary folder do not meet.
    const QString fallback =
        QDir(fallbackDir).filePath(QStringLiteral("orvik-%1-sample.xlsx").arg(HostSystem::userKey()));
    QString secondReason;
    if (WriteWhole(fallback, bytes, &secondReason))
        return fallback;
    if (error)
        *error = QStringLiteral("Cannot write the template workbook to %1 (%2) nor to %3 (%4).")
                     .arg(path, firstReason, fallback, secondReason);
    return QString();
}

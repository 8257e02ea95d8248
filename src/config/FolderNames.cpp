#include "config/FolderNames.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

FolderNames::FolderNames(const QString &dir)
{
    const QStringList names =
        QDir(dir.isEmpty() ? QStringLiteral(".") : dir)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    m_names = QSet<QString>(names.begin(), names.end());
    for (const QString &name : names) {
        const QString folded = name.toCaseFolded();
        const auto it = m_folded.find(folded);
        if (it == m_folded.end())
            m_folded.insert(folded, name);
        else
            it.value().clear();
    }
}

QString FolderNames::match(const QString &name) const
{
    if (m_names.contains(name))
        return name;
    if (m_folded.isEmpty())
        return QString();
    return m_folded.value(name.toCaseFolded());
}

QString FolderNames::find(const QString &dir, const QString &name)
{
    if (name.isEmpty())
        return QString();
    // A link counts as its own name even when it leads nowhere, as it does in a listing.
    const QFileInfo exact(dir + name);
    if (exact.exists() || exact.isSymLink())
        return name;
    return FolderNames(dir).match(name);
}

QString FolderNames::findPath(const QString &dir, const QString &relativePath)
{
    QString found;
    const QStringList parts = relativePath.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        const bool last = i + 1 == parts.size();
        if (part.isEmpty() && last)
            break; // the trailing "/" of a folder
        QString name = part;
        if (part != QLatin1String(".") && part != QLatin1String("..") && !part.isEmpty()) {
            name = find(dir + found, part);
            if (name.isEmpty())
                return QString();
        }
        found += name;
        if (!last)
            found += u'/';
    }
    return found;
}

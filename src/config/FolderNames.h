#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// Names in a folder as Windows finds them, where "DBR.MDB", "dbR.mdb" and "Dbr.Mdb" are one
// file. Backups and the program's own files are written on Windows and copied here, so a
// name that differs from the one on disk only in letter case must still find it. The exact
// name always wins; a name that matches two entries only without regard to case finds
// neither (nothing is guessed).
class FolderNames
{
public:
    // A listing of `dir` (files and folders, hidden ones too), taken now.
    explicit FolderNames(const QString &dir);

    // The entry of the listing that `name` refers to: `name` itself when an entry has
    // exactly that name, else the one entry equal to it without regard to case; empty when
    // there is none or more than one.
    QString match(const QString &name) const;
    // Whether an entry has exactly this name.
    bool contains(const QString &name) const { return m_names.contains(name); }

    // The same for a name in `dir` (ending in "/" or empty for the current folder). The
    // folder is listed only when `name` itself does not exist, so the usual case costs no
    // listing.
    static QString find(const QString &dir, const QString &name);
    // The same for a relative path, one component after the other ("." and ".." are taken
    // as they stand, a trailing "/" is kept). Empty when a component is not found.
    static QString findPath(const QString &dir, const QString &relativePath);

private:
    QSet<QString> m_names;
    // Case-folded name -> the one name on disk with it, or empty when several share it.
    QHash<QString, QString> m_folded;
};

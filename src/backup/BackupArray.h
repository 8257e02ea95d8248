#pragma once

#include "backup/BackupEntry.h"

#include <QSet>
#include <QString>

#include <memory>
#include <vector>

class CConfig;

// The backups the main window lists: found under the backup root at start, extended by
// the user during a run, shortened when a backup is deleted. Never saved.
class CBackupArray
{
public:
    // `config` supplies the program directory, the settings file and the code page of
    // legacy config.ini files; it must outlive the catalogue.
    explicit CBackupArray(const CConfig &config);
    virtual ~CBackupArray();

    CBackupArray(const CBackupArray &) = delete;
    CBackupArray &operator=(const CBackupArray &) = delete;

    // Builds the catalogue from the backups of the root named by m_BackDir (the program
    // directory when unset). Whatever it held before goes: each main window starts from the
    // settings as they are now.
    void LoadFromSettings();
    // Appends the directory itself when it is a backup, otherwise its backup subdirectories
    // (one level deep, in the order the file system lists them).
    void AddDirectory(const QString &path);
    // The same, passing over the backups the catalogue lists already, and those it found
    // twice (two links to one backup): a backup is the same whatever path leads to it
    // ("g03", "g03/", "./g03", its absolute path, a link to it), compared by its canonical
    // path. Returns how many backups the directory holds, listed before or not.
    int AddNewBackups(const QString &path);
    // The entry of the backup in `dir` (the same folder, however it is written), or null.
    BackupEntry *Find(const QString &dir) const;

    int GetCount() const;
    BackupEntry *GetAt(int index) const;
    // Removes and frees the entry when the catalogue holds it; otherwise does nothing.
    void Remove(BackupEntry *entry);

    // The root directory LoadFromSettings starts from.
    QString BackupRoot() const;

    // Whether `dir` (ending in "/") holds both files that make a backup, spelt in any
    // letter case.
    static bool IsBackupDirectory(const QString &dir);
    // The backup's config.ini and dbR.mdb as they are spelt in `dir` (ending in "/"), e.g.
    // "<dir>DBR.MDB"; "<dir>config.ini" and "<dir>dbR.mdb" when they are missing.
    static QString SettingsFileOf(const QString &dir);
    static QString DatabaseOf(const QString &dir);

private:
    // AddDirectory's work; returns the number of backups found. `listed`, when given, holds
    // the canonical paths of the backups listed so far, and takes those appended.
    int Scan(const QString &path, QSet<QString> *listed);
    void Append(const QString &dir, const QString &name, QSet<QString> *listed);

    const CConfig &m_config;
    std::vector<std::unique_ptr<BackupEntry>> m_entries;
};

extern CBackupArray g_backups;

#include "backup/BackupArray.h"

#include "config/Config.h"
#include "config/FolderNames.h"
#include "config/IniFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {
constexpr QLatin1String kConfigIni("config.ini");
constexpr QLatin1String kDatabase("dbR.mdb");

// A name exists whether it is a file or a folder: a folder named config.ini counts too.
bool exists(const QString &path)
{
    return QFileInfo::exists(path);
}

// `dir` + the name as the backup spells it (written on Windows, in any letter case), or
// `dir` + `name` when there is none.
QString inBackup(const QString &dir, const QString &name)
{
    const QString found = FolderNames::find(dir, name);
    return dir + (found.isEmpty() ? name : found);
}
} // namespace

CBackupArray::CBackupArray(const CConfig &config) : m_config(config) {}

CBackupArray::~CBackupArray() = default;

QString CBackupArray::BackupRoot() const
{
    QString root;
    const QString settings = m_config.SettingsPath();
    if (exists(settings))
        root = m_config.ReadBackupRoot();
    if (root.isEmpty())
        return m_config.m_appDir;
    // "./Backup" and "../Backup" are both read below the folder of the settings file (the
    // program directory, unless it is the user's config.ini): the first two characters give
    // way to it.
    if (root.startsWith(u'.'))
        root = QFileInfo(settings).path() + u'/' + root.mid(2);
    return root;
}

void CBackupArray::LoadFromSettings()
{
    m_entries.clear();
    AddDirectory(BackupRoot());
}

bool CBackupArray::IsBackupDirectory(const QString &dir)
{
    return exists(SettingsFileOf(dir)) && exists(DatabaseOf(dir));
}

QString CBackupArray::SettingsFileOf(const QString &dir)
{
    return inBackup(dir, kConfigIni);
}

QString CBackupArray::DatabaseOf(const QString &dir)
{
    return inBackup(dir, kDatabase);
}

void CBackupArray::AddDirectory(const QString &path)
{
    Scan(path, nullptr);
}

int CBackupArray::AddNewBackups(const QString &path)
{
    // Each listed backup resolved once, not once for every backup the folder holds.
    QSet<QString> listed;
    for (const auto &entry : m_entries)
        listed.insert(QFileInfo(entry->m_path).canonicalFilePath());
    return Scan(path, &listed);
}

int CBackupArray::Scan(const QString &path, QSet<QString> *listed)
{
    // Held with "/" inside the program; on Windows a folder may come as E:\Backup.
    QString dir = QDir::fromNativeSeparators(path);
    if (!dir.endsWith(u'/'))
        dir += u'/';
    const QString withoutSlash = dir.left(dir.size() - 1);
    const QString name = withoutSlash.mid(withoutSlash.lastIndexOf(u'/') + 1);

    if (IsBackupDirectory(dir)) {
        Append(dir, name, listed);
        return 1; // the subdirectories of a backup are not looked at
    }

    // By name, letter case aside, the way NTFS lists a folder (names compared in capitals,
    // so "_x" comes after the letters): the design's listing order, not the hash order of
    // some Linux file systems.
    const QDir listing(dir, QString(), QDir::Unsorted, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList subdirs = listing.entryList();
    std::sort(subdirs.begin(), subdirs.end(), [](const QString &a, const QString &b) {
        const int byCapitals = QString::compare(a.toUpper(), b.toUpper(), Qt::CaseSensitive);
        return byCapitals != 0 ? byCapitals < 0 : a < b;
    });
    int found = 0;
    for (const QString &sub : subdirs) {
        const QString subdir = dir + sub + u'/';
        if (IsBackupDirectory(subdir)) {
            Append(subdir, sub, listed);
            ++found;
        }
    }
    return found;
}

void CBackupArray::Append(const QString &dir, const QString &name, QSet<QString> *listed)
{
    if (listed) {
        const QString canonical = QFileInfo(dir).canonicalFilePath();
        if (!canonical.isEmpty() && listed->contains(canonical))
            return;
        listed->insert(canonical);
    }
    const IniFile ini = IniFile::load(SettingsFileOf(dir), m_config.LegacyCodePage());
    auto entry = std::make_unique<BackupEntry>();
    entry->m_name = name;
    entry->m_dtStart = ini.readString(QStringLiteral("base"), QStringLiteral("dt_start"));
    entry->m_dtStop = ini.readString(QStringLiteral("base"), QStringLiteral("dt_stop"));
    entry->m_path = dir;
    m_entries.push_back(std::move(entry));
}

BackupEntry *CBackupArray::Find(const QString &dir) const
{
    // Compared as the file system resolves them: "a/./b", "a//b" and a link to b are b.
    const QString wanted = QFileInfo(dir).canonicalFilePath();
    if (wanted.isEmpty())
        return nullptr;
    for (const auto &entry : m_entries) {
        if (QFileInfo(entry->m_path).canonicalFilePath() == wanted)
            return entry.get();
    }
    return nullptr;
}

int CBackupArray::GetCount() const
{
    return static_cast<int>(m_entries.size());
}

BackupEntry *CBackupArray::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_entries[static_cast<size_t>(index)].get();
}

void CBackupArray::Remove(BackupEntry *entry)
{
    const auto it =
        std::find_if(m_entries.begin(), m_entries.end(), [entry](const auto &e) { return e.get() == entry; });
    if (it != m_entries.end())
        m_entries.erase(it);
}

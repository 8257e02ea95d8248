#include "query/RecordingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kVoice = QStringLiteral("voice");
} // namespace

RecordingFolder::RecordingFolder(const QString &backupDir) : m_backupDir(backupDir)
{
    const QString voice = backupDir.isEmpty() ? QString() : FolderNames::find(backupDir, kVoice);
    m_voiceDir = backupDir + (voice.isEmpty() ? kVoice : voice) + u'/';
}

const FolderNames &RecordingFolder::Listing() const
{
    if (!m_listing)
        m_listing.emplace(m_voiceDir);
    return *m_listing;
}

QString RecordingFolder::NameOnDisk(const QString &recordFile) const
{
    QString name = recordFile;
    name.replace(u'\\', u'/');
    if (!LooksConfined(name))
        return name;
    // A plain name is looked up in the folder's listing, taken once for all rows; a name in
    // a subfolder lists a folder only where its exact spelling is missing.
    const QString found = name.contains(u'/') ? FolderNames::findPath(m_voiceDir, name) : Listing().match(name);
    return found.isEmpty() ? name : found;
}

bool RecordingFolder::LooksConfined(const QString &recordFile)
{
    if (recordFile.isEmpty() || recordFile.startsWith(u'/'))
        return false;
    // No ".." component. Runs twice for every row of a listing, hence one pass by hand.
    const qsizetype n = recordFile.size();
    const QChar *text = recordFile.constData();
    for (qsizetype start = 0; start < n;) {
        qsizetype end = start;
        while (end < n && text[end] != u'/')
            ++end;
        if (end - start == 2 && text[start] == u'.' && text[start + 1] == u'.')
            return false;
        start = end + 1;
    }
    return true;
}

bool RecordingFolder::Contains(const QString &path) const
{
    if (!path.startsWith(m_voiceDir) || !LooksConfined(path.mid(m_voiceDir.size())))
        return false;
    const QString backup = QFileInfo(m_backupDir).canonicalFilePath();
    const QString voice = QFileInfo(m_voiceDir).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    // A missing file resolves to nothing: it cannot be shown to lie inside. A voice folder
    // that is a link to a folder elsewhere is not the backup's own.
    return !backup.isEmpty() && !voice.isEmpty() && !target.isEmpty() && voice.startsWith(backup + u'/')
           && target.startsWith(voice + u'/');
}

RecordingFolder::Verdict RecordingFolder::Check(const QString &recordingPath) const
{
    // "DEL" is the recorder's mark for a file it deleted itself (exactly so, in capitals).
    if (recordingPath == QLatin1String("DEL"))
        return Verdict::Deleted;
    if (!QFileInfo::exists(recordingPath))
        return recordingPath.isEmpty() ? Verdict::NoFile : Verdict::Missing;
    return Contains(recordingPath) ? Verdict::Playable : Verdict::Outside;
}

qint64 RecordingFolder::SizeOf(const QString &name)
{
    if (!LooksConfined(name))
        return -1;
    const bool plainName = !name.contains(u'/');
    if (plainName && !Listing().contains(name))
        return -1;
    const QString fullPath = m_voiceDir + name;
    const QByteArray path = QFile::encodeName(fullPath);
    struct stat st
    {};
    if (::lstat(path.constData(), &st) != 0)
        return -1;
    if ((S_ISLNK(st.st_mode) || !plainName) && !Contains(fullPath))
        return -1;
    // The size counts only for a file that opens for reading. Without O_NONBLOCK a named
    // pipe would hold the open until something writes to it.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok ? qint64(st.st_size) : -1;
}

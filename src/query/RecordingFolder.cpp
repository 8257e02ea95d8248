#include "query/RecordingFolder.h"

#include "platform/RandomAccessFile.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kVoice = QStringLiteral("voice");
} // namespace

// Held with "/" like every path inside the program: on Windows the folder may come as
// E:\Backup\0001\ (from orvik-cli's command line, say), the paths it is compared with not.
RecordingFolder::RecordingFolder(const QString &backupDir) : m_backupDir(QDir::fromNativeSeparators(backupDir))
{
    const QString voice = m_backupDir.isEmpty() ? QString() : FolderNames::find(m_backupDir, kVoice);
    m_voiceDir = m_backupDir + (voice.isEmpty() ? kVoice : voice) + u'/';
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
    // Where "\" separates folders (Windows), it does so in a file name too, and "E:" starts
    // an absolute name.
    const QString name = QDir::fromNativeSeparators(recordFile);
    const bool windows = QDir::separator() == u'\\';
    if (name.isEmpty() || name.startsWith(u'/') || (windows && name.size() >= 2 && name.at(1) == u':'))
        return false;
    // No ".." component. Runs twice for every row of a listing, hence one pass by hand.
    const qsizetype n = name.size();
    const QChar *text = name.constData();
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

bool RecordingFolder::Contains(const QString &shownPath) const
{
    const QString path = QDir::fromNativeSeparators(shownPath);
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

bool RecordingFolder::ContainsForReading(const QString &shownPath) const
{
    const QString path = QDir::fromNativeSeparators(shownPath);
    if (!path.startsWith(m_voiceDir) || !LooksConfined(path.mid(m_voiceDir.size())))
        return false;
    const QString voice = QFileInfo(m_voiceDir).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    return !voice.isEmpty() && !target.isEmpty() && target.startsWith(voice + u'/');
}

RecordingFolder::Verdict RecordingFolder::Check(const QString &recordingPath) const
{
    // "DEL" is the recorder's mark for a file it deleted itself (exactly so, in capitals).
    if (recordingPath == QLatin1String("DEL"))
        return Verdict::Deleted;
    if (!QFileInfo::exists(recordingPath))
        return recordingPath.isEmpty() ? Verdict::NoFile : Verdict::Missing;
    // Playing only reads: a voice folder that links elsewhere is played from.
    return ContainsForReading(recordingPath) ? Verdict::Playable : Verdict::Outside;
}

qint64 RecordingFolder::SizeOf(const QString &name)
{
    if (!LooksConfined(name))
        return -1;
    const bool plainName = !name.contains(u'/');
    if (plainName && !Listing().contains(name))
        return -1;
    const QString path = m_voiceDir + name;
    const QFileInfo info(path);
    const bool link = info.isSymbolicLink() || info.isJunction();
    if (!link && !info.exists())
        return -1;
    if ((link || !plainName) && !Contains(path))
        return -1;
    // The size counts only for a regular file that opens for reading; a named pipe is
    // refused without waiting for a writer.
    RandomAccessFile file;
    if (file.open(path, RandomAccessFile::Access::Read) != RandomAccessFile::OpenResult::Opened)
        return -1;
    return file.size();
}

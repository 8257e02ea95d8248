#pragma once

#include "config/FolderNames.h"

#include <QString>

#include <optional>

// The voice folder of one backup, where the recording files of its call records live.
// A record's file name is trusted only while it stays inside this folder: a name with
// "..", an absolute name, or a name that reaches a symbolic link pointing elsewhere is
// never played, deleted or even measured. A voice folder that is itself a link to a folder
// elsewhere is read (sizes, playing) but nothing in it is deleted.
//
// Backups are written on Windows: the voice folder and the recording files are found
// whatever their letter case (see FolderNames), and a "\" in a record's file name
// separates folders as "/" does.
class RecordingFolder
{
public:
    // `backupDir` ends in "/".
    explicit RecordingFolder(const QString &backupDir);

    const QString &path() const { return m_voiceDir; }       // ends in "/"
    const QString &backupDir() const { return m_backupDir; } // with "/" separators, ends in "/"

    // The record's file name as it is spelt on disk, relative to the voice folder: "\"
    // read as "/", letter case as the one matching file has it. A name that matches no
    // file, or two only without regard to case, or that would leave the folder, comes back
    // with its separators turned and nothing else changed.
    QString NameOnDisk(const QString &recordFile) const;
    // The recording path of a record: the voice folder followed by NameOnDisk().
    QString PathOf(const QString &recordFile) const { return m_voiceDir + NameOnDisk(recordFile); }

    // Whether `path` names something inside the voice folder, after following links, and
    // the voice folder itself lies inside the backup. The path may use the platform's
    // separators, as the result list shows it.
    bool Contains(const QString &path) const;
    // The same for reading only (playing): a voice folder that is a link to a folder
    // elsewhere counts as the backup's own, the file still having to lie inside it.
    bool ContainsForReading(const QString &path) const;

    // Whether the recording cell of a list row (a path, "DEL" or empty) names a file that
    // may be played, and if not, why. Playback from the row menu and the player pane both
    // go by it.
    enum class Verdict { Playable, NoFile, Deleted, Missing, Outside };
    Verdict Check(const QString &recordingPath) const;

    // The size of the recording `name` (as NameOnDisk() gives it), or -1 when it does not
    // open as a file. Looks the name up in a listing of the folder taken on first use, so
    // that a result of many rows costs one directory read instead of one failed open per
    // missing file.
    qint64 SizeOf(const QString &name);

    // Whether a name relative to the voice folder stays inside it by its spelling: not
    // empty, not absolute, no ".." component (links are not looked at).
    static bool LooksConfined(const QString &recordFile);

private:
    const FolderNames &Listing() const;

    QString m_backupDir;
    QString m_voiceDir;
    mutable std::optional<FolderNames> m_listing;
};

#pragma once

#include <QSet>
#include <QString>

// The voice folder of one backup, where the recording files of its call records live.
// A record's file name is trusted only while it stays inside this folder: a name with
// "..", an absolute name, or a name that reaches a symbolic link pointing elsewhere is
// never played, deleted or even measured.
class RecordingFolder
{
public:
    // `backupDir` ends in "/".
    explicit RecordingFolder(const QString &backupDir);

    const QString &path() const { return m_voiceDir; } // ends in "/"

    // The recording path of a record: the voice folder followed by the file name.
    QString PathOf(const QString &recordFile) const { return m_voiceDir + recordFile; }

    // Whether `path` names something inside the voice folder, after following links, and
    // the voice folder itself lies inside the backup.
    bool Contains(const QString &path) const;

    // Whether the recording cell of a list row (a path, "DEL" or empty) names a file that
    // may be played, and if not, why. Playback from the row menu and the player pane both
    // go by it.
    enum class Verdict { Playable, NoFile, Deleted, Missing, Outside };
    Verdict Check(const QString &recordingPath) const;

    // The size of the recording, or -1 when it does not open as a file. Looks the name up
    // in a listing of the folder taken on first use, so that a result of many rows costs
    // one directory read instead of one failed open per missing file.
    qint64 SizeOf(const QString &recordFile);

private:
    static bool LooksConfined(const QString &recordFile);

    QString m_backupDir;
    QString m_voiceDir;
    bool m_listed = false;
    QSet<QString> m_names;
};

#pragma once

#include <QString>

class CAdoDb;
class CConfig;
class QObject;
class ResultListModel;

// What a user does with one row of the result list: play its recording, delete its record.
// Every message, question and program start goes through Desktop, so windows, the command
// line and tests share this one implementation.
class RecordActions
{
public:
    enum class DeleteResult {
        Cancelled,       // the user answered No
        ReadOnly,        // the backup cannot be written: refused before anything was tried
        Failed,          // the database refused the delete: nothing changed
        Deleted,         // record, file (if it had one) and row are gone
        DeletedFileKept, // record and row are gone, the recording file could not be deleted
    };

    // `owner` is the window that message boxes belong to (may be null).
    RecordActions(CAdoDb &db, ResultListModel &model, const CConfig &config, QObject *owner = nullptr);

    // Plays the recording at `path` (cell 8 of a row) with the player the settings name:
    // type 0 the system's media player (HostSystem::findMediaPlayer), type 1 the
    // application the desktop opens the file with, any other "MPlayer.exe" beside the program.
    void PlayRecording(const QString &path);
    // Deletes the record of `row` after asking: database row first, then its file, then the
    // list row.
    DeleteResult DeleteRecord(int row);

private:
    // Whether the database and the folder of the row's recording can be written.
    bool CanDelete(int row) const;
    void ShowError(const QString &text, int captionId);

    CAdoDb &m_db;
    ResultListModel &m_model;
    const CConfig &m_config;
    QObject *m_owner;
};

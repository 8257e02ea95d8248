#pragma once

#include "query/CallListModel.h"
#include "query/RecordingFolder.h"

#include <QString>

class CAdoDb;
class CConfig;
class QObject;

// What a user does with one row of the result list: play its recording, delete its record.
// Every message, question and program start goes through Desktop, so windows, the command
// line and tests share this one implementation.
class RecordActions
{
public:
    enum class DeleteResult {
        Cancelled,       // the user answered No, or the call is not listed any more
        ReadOnly,        // the backup cannot be written: refused before anything was tried
        Failed,          // the database refused the delete: nothing changed
        Deleted,         // record, file (if it had one) and row are gone
        DeletedFileKept, // record and row are gone, the recording file could not be deleted
    };
    using CallKey = CallListModel::CallKey;

    // What a confirmed delete works on: the record's id and its recording cell.
    struct DeleteRequest
    {
        CallKey call;
        QString idText;
        QString file;
    };
    // What became of the recording of a deleted record.
    enum class Removal {
        NoFile,  // the record names none (an empty name or "DEL"): nothing to remove
        Removed, // the file is gone
        Missing, // nothing lies under its name
        Outside, // its name leaves the voice folder, or leads out of it through a link: kept
        Failed,  // it is there but could not be removed: a folder, no right to, or a folder
                 // on its way became a link meanwhile
    };
    // What the database and the file system made of it.
    struct DeleteOutcome
    {
        bool deleted = false;     // the record is gone
        QString error;            // why it is not, when it is not
        bool fileOutside = false; // the recording lies outside the voice folder: kept
        bool fileFailed = false;  // the recording could not be removed, or was missing
        Removal removal = Removal::NoFile;
    };

    // `recordings` is the voice folder of the backup whose rows are acted on; `owner` the
    // window that message boxes belong to (may be null).
    RecordActions(CAdoDb &db, CallListModel &model, RecordingFolder recordings, const CConfig &config,
                  QObject *owner = nullptr);

    // Plays the recording at `path` (cell 8 of a row) with the player the settings name:
    // type 0 the system's media player (HostSystem::findMediaPlayer), type 1 the
    // application the desktop opens the file with, any other "MPlayer.exe" beside the program.
    void PlayRecording(const QString &path);
    // Deletes the record of `call` after asking: database row first, then its file, then the
    // list row. The call is found in the list again after every question, so that rows that
    // moved meanwhile change nothing.
    DeleteResult DeleteRecord(const CallKey &call);

    // The same in three steps, for a window that does the middle one on a worker thread:
    // the checks and the question (false when refused or not confirmed: `result` says which),
    bool ConfirmDelete(const CallKey &call, DeleteRequest *request, DeleteResult *result);
    // the database row and the file, touching nothing else (any thread; `db` and
    // `recordings` as given to the constructor),
    static DeleteOutcome ExecuteDelete(CAdoDb &db, const RecordingFolder &recordings, const DeleteRequest &request);
    // and the messages and the list row.
    DeleteResult FinishDelete(const DeleteRequest &request, const DeleteOutcome &outcome);
    // What the latest FinishDelete (or DeleteRecord) did with the recording (NoFile before
    // any).
    Removal LastRemoval() const { return m_lastRemoval; }

    // Removes the recording `path` (cell 8 of a row: the voice folder of `folder`, then the
    // name on disk) without a message or a question; ExecuteDelete's part on the file. The
    // name is removed the way a backup's tree is: relative to its folder, opened (from the
    // backup's folder down) without following a link anywhere on the way, and only while
    // the name still refers to the file that was looked at. A folder inside the voice
    // folder swapped for a link at any moment cannot lead the removal outside the backup.
    static Removal RemoveRecording(const RecordingFolder &folder, const QString &path);

private:
    // Whether the database and the folder of the recording can be written.
    bool CanDelete(const QString &file) const;
    void ShowError(const QString &text, int captionId);

    CAdoDb &m_db;
    CallListModel &m_model;
    RecordingFolder m_recordings;
    const CConfig &m_config;
    QObject *m_owner;
    Removal m_lastRemoval = Removal::NoFile;
};

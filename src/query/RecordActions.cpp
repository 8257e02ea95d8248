#include "query/RecordActions.h"

#include "config/Config.h"
#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "platform/DirectoryHandle.h"
#include "platform/HostSystem.h"
#include "platform/RandomAccessFile.h"
#include "query/CallListModel.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Fills the one "%s" of a format text from the language file with `argument`.
QString formatText(const QString &format, const QString &argument)
{
    QString text = format;
    const qsizetype at = text.indexOf(QStringLiteral("%s"));
    if (at >= 0)
        text.replace(at, 2, argument);
    return text;
}

} // namespace

RecordActions::RecordActions(CAdoDb &db, CallListModel &model, RecordingFolder recordings, const CConfig &config,
                             QObject *owner)
    : m_db(db)
    , m_model(model)
    , m_recordings(std::move(recordings))
    , m_config(config)
    , m_owner(owner)
{}

void RecordActions::ShowError(const QString &text, int captionId)
{
    Desktop::current().showMessage(m_owner, Desktop::Icon::Error, GetDialogText(captionId), text, Desktop::Buttons::Ok);
}

void RecordActions::PlayRecording(const QString &path)
{
    switch (m_recordings.Check(path)) {
    case RecordingFolder::Verdict::Deleted:
        ShowError(formatText(GetDialogText(Ids::TxtRecordingDeleted), path), Ids::TxtErrorCaption);
        return;
    case RecordingFolder::Verdict::Missing:
        ShowError(GetDialogText(Ids::TxtRecordingNotFound) + u' ' + path, Ids::TxtErrorCaption);
        return;
    case RecordingFolder::Verdict::NoFile:
        ShowError(formatText(GetDialogText(Ids::TxtEmptyRecordingPath), path), Ids::TxtErrorCaption);
        return;
    case RecordingFolder::Verdict::Outside:
        ShowError(formatText(GetDialogText(Ids::TxtRecordingOutside), path), Ids::TxtErrorCaption);
        return;
    case RecordingFolder::Verdict::Playable:
        break;
    }

    Desktop &desktop = Desktop::current();
    // Read anew at every playback, so a changed setting applies without a restart.
    const int playerType = m_config.ReadPlayerType();
    if (playerType == 0) {
        QString player = HostSystem::findMediaPlayer(m_config.m_sysDriveRoot);
        if (player.isEmpty()) {
            desktop.showMessage(m_owner, Desktop::Icon::Warning, QString(), QStringLiteral("MediaPlayer Is not Found"),
                                Desktop::Buttons::Ok);
            player = HostSystem::fallbackMediaPlayer();
        }
        desktop.startProgram(player, {path});
    } else if (playerType == 1) {
        desktop.openFile(path);
    } else {
        desktop.startProgram(QDir::toNativeSeparators(m_config.m_appDir + QStringLiteral("MPlayer.exe")), {path});
    }
}

bool RecordActions::CanDelete(const QString &file) const
{
    // A database that did not open fails the delete itself, as always.
    if (!m_db.IsOpen())
        return true;
    if (!m_db.CanWrite())
        return false;
    // The recording goes with the record: its folder must take the removal too, or the
    // record would go and the file stay.
    if (file.isEmpty() || file == QLatin1String("DEL") || !m_recordings.Contains(file))
        return true;
    return QFileInfo(QFileInfo(file).absolutePath()).isWritable();
}

bool RecordActions::ConfirmDelete(const CallKey &call, DeleteRequest *request, DeleteResult *result)
{
    m_lastRemoval = Removal::NoFile;
    int row = m_model.RowOf(call);
    *result = DeleteResult::Cancelled;
    if (row < 0)
        return false;
    const QString file = m_model.CellText(row, CallListModel::CellFile);
    // On a read-only disk or share nothing is attempted, and nothing asked.
    if (!CanDelete(file)) {
        // A database that takes the delete with a voice folder that does not: the folder
        // is named, not the backup.
        const bool voiceFolderOnly = m_db.IsOpen() && m_db.CanWrite();
        ShowError(voiceFolderOnly ? formatText(GetDialogText(Ids::TxtVoiceReadOnly),
                                               QDir::toNativeSeparators(QFileInfo(file).absolutePath()))
                                  : formatText(GetDialogText(Ids::TxtBackupReadOnly), m_model.BackupDir(row)),
                  Ids::TxtDeleteCaption);
        *result = DeleteResult::ReadOnly;
        return false;
    }
    if (Desktop::current().showMessage(m_owner, Desktop::Icon::Information, GetDialogText(Ids::TxtDeleteCaption),
                                       GetDialogText(Ids::TxtDeleteQuestion), Desktop::Buttons::YesNo)
        != Desktop::Answer::Yes)
        return false;
    // While the question was open the list may have changed: the call is found again.
    row = m_model.RowOf(call);
    if (row < 0)
        return false;
    // Cell 9 is the record id written by the list itself, always a decimal number.
    *request = DeleteRequest{call, m_model.CellText(row, CallListModel::CellId),
                             m_model.CellText(row, CallListModel::CellFile)};
    return true;
}

RecordActions::DeleteOutcome RecordActions::ExecuteDelete(CAdoDb &db, const RecordingFolder &recordings,
                                                          const DeleteRequest &request)
{
    DeleteOutcome outcome;
    if (!db.SqlExecute(QStringLiteral("delete from record where id = %1").arg(request.idText))) {
        outcome.error = db.LastError();
        return outcome;
    }
    outcome.deleted = true;
    outcome.removal = RemoveRecording(recordings, request.file);
    // One message for one case: a recording outside the folder is named as kept however its
    // name is written (climbing, absolute, through a link).
    outcome.fileOutside = outcome.removal == Removal::Outside;
    outcome.fileFailed = outcome.removal == Removal::Missing || outcome.removal == Removal::Failed;
    return outcome;
}

RecordActions::Removal RecordActions::RemoveRecording(const RecordingFolder &folder, const QString &shownPath)
{
    if (shownPath.isEmpty() || shownPath == QLatin1String("DEL"))
        return Removal::NoFile;
    const QString path = QDir::fromNativeSeparators(shownPath);
    const QString &voice = folder.path();
    // Outside by its spelling (absolute, "..", another folder), whether or not it exists.
    if (!path.startsWith(voice) || !RecordingFolder::LooksConfined(path.mid(voice.size())))
        return Removal::Outside;
    if (!RandomAccessFile::exists(path))
        return Removal::Missing;
    // Outside through a link (the file, a folder on its way or the voice folder itself).
    if (!folder.Contains(path))
        return Removal::Outside;

    // From here on nothing is reached by a path that could change: the backup's folder as
    // the file system resolves it now, then the voice folder and every folder below it
    // opened without following links, and the name removed relative to the last of them.
    const QString backup = QFileInfo(folder.backupDir()).canonicalFilePath();
    if (backup.isEmpty())
        return Removal::Failed;
    const QString belowBackup = path.mid(folder.backupDir().size()); // "voice/sub/x.wav"
    DirectoryHandle::Name leaf;
    const DirectoryHandle dir = DirectoryHandle::openParentOf(backup + u'/' + belowBackup, &leaf);
    DirectoryHandle::Entry entry;
    if (!dir.isOpen() || !dir.look(leaf, &entry) || entry.kind() == DirectoryHandle::Kind::Directory)
        return Removal::Failed;
    // A link lying in the voice folder goes as a link: what it points to is never touched.
    return dir.removeName(entry) ? Removal::Removed : Removal::Failed;
}

RecordActions::DeleteResult RecordActions::FinishDelete(const DeleteRequest &request, const DeleteOutcome &outcome)
{
    m_lastRemoval = outcome.removal;
    if (!outcome.deleted) {
        Desktop::current().showMessage(m_owner, Desktop::Icon::Error, GetDialogText(Ids::TxtDeleteCaption),
                                       QStringLiteral("Fail!"), Desktop::Buttons::Ok);
        return DeleteResult::Failed;
    }
    DeleteResult result = DeleteResult::Deleted;
    if (outcome.fileOutside) {
        ShowError(formatText(GetDialogText(Ids::TxtRecordingKept), request.file), Ids::TxtErrorCaption);
        result = DeleteResult::DeletedFileKept;
    } else if (outcome.fileFailed) {
        ShowError(QString::asprintf("Del File %s Fail!", request.file.toUtf8().constData()), Ids::TxtErrorCaption);
        result = DeleteResult::DeletedFileKept;
    }
    // Wherever the list shows the call now.
    m_model.RemoveRow(m_model.RowOf(request.call));
    return result;
}

RecordActions::DeleteResult RecordActions::DeleteRecord(const CallKey &call)
{
    DeleteRequest request;
    DeleteResult result;
    if (!ConfirmDelete(call, &request, &result))
        return result;
    return FinishDelete(request, ExecuteDelete(m_db, m_recordings, request));
}

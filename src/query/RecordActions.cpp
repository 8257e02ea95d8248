#include "query/RecordActions.h"

#include "config/Config.h"
#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "platform/HostSystem.h"
#include "query/ResultListModel.h"

#include <QDir>
#include <QFile>
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

RecordActions::RecordActions(CAdoDb &db, ResultListModel &model, const CConfig &config, QObject *owner)
    : m_db(db)
    , m_model(model)
    , m_config(config)
    , m_owner(owner)
{}

void RecordActions::ShowError(const QString &text, int captionId)
{
    Desktop::current().showMessage(m_owner, Desktop::Icon::Error, GetDialogText(captionId), text, Desktop::Buttons::Ok);
}

void RecordActions::PlayRecording(const QString &path)
{
    switch (m_model.Recordings().Check(path)) {
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

bool RecordActions::CanDelete(int row) const
{
    // A database that did not open fails the delete itself, as always.
    if (!m_db.IsOpen())
        return true;
    if (!m_db.CanWrite())
        return false;
    // The recording goes with the record: its folder must take the removal too, or the
    // record would go and the file stay.
    const QString file = m_model.CellText(row, ResultListModel::CellFile);
    if (file.isEmpty() || file == QLatin1String("DEL") || !m_model.Recordings().Contains(file))
        return true;
    return QFileInfo(QFileInfo(file).absolutePath()).isWritable();
}

RecordActions::DeleteResult RecordActions::DeleteRecord(int row)
{
    Desktop &desktop = Desktop::current();
    // On a read-only disk or share nothing is attempted, and nothing asked.
    if (!CanDelete(row)) {
        ShowError(formatText(GetDialogText(Ids::TxtBackupReadOnly), m_model.BackupDir()), Ids::TxtDeleteCaption);
        return DeleteResult::ReadOnly;
    }
    if (desktop.showMessage(m_owner, Desktop::Icon::Information, GetDialogText(Ids::TxtDeleteCaption),
                            GetDialogText(Ids::TxtDeleteQuestion), Desktop::Buttons::YesNo)
        != Desktop::Answer::Yes)
        return DeleteResult::Cancelled;

    // Cell 9 is the record id written by the list itself, always a decimal number.
    const QString statement =
        QStringLiteral("delete from record where id = %1").arg(m_model.CellText(row, ResultListModel::CellId));
    if (!m_db.SqlExecute(statement)) {
        desktop.showMessage(m_owner, Desktop::Icon::Error, GetDialogText(Ids::TxtDeleteCaption),
                            QStringLiteral("Fail!"), Desktop::Buttons::Ok);
        return DeleteResult::Failed;
    }

    DeleteResult result = DeleteResult::Deleted;
    const QString file = m_model.CellText(row, ResultListModel::CellFile);
    if (!file.isEmpty() && file != QLatin1String("DEL")) {
        const QFileInfo info(file);
        const bool inside = m_model.Recordings().Contains(file);
        if (!inside && (info.exists() || info.isSymLink())) {
            // Only files inside the backup's voice folder are ever deleted.
            ShowError(formatText(GetDialogText(Ids::TxtRecordingKept), file), Ids::TxtErrorCaption);
            result = DeleteResult::DeletedFileKept;
        } else if (!inside || !QFile::remove(file)) {
            ShowError(QString::asprintf("Del File %s Fail!", file.toUtf8().constData()), Ids::TxtErrorCaption);
            result = DeleteResult::DeletedFileKept;
        }
    }
    m_model.RemoveRow(row);
    return result;
}

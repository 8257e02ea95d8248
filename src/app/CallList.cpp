#include "app/CallList.h"

#include "app/BuiltInMenus.h"
#include "app/CallDetailPanel.h"
#include "app/CallListView.h"
#include "app/DlgProgress.h"
#include "app/ListExport.h"
#include "app/QueryForm.h"
#include "app/WindowMemory.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "platform/HostSystem.h"
#include "query/CellFormat.h"
#include "query/RecordActions.h"
#include "query/SharedDatabase.h"
#include "task/TaskRunner.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif

#include <QBoxLayout>
#include <QBrush>
#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// How long a note stays on the status line.
constexpr int kNoteMilliseconds = 10000;
} // namespace

CallList::CallList(QWidget *window, CallListView *view, QLabel *statusLine, CallListModel *model,
                   std::atomic<int32_t> &exportRunning, std::atomic<int32_t> &closeRequested)
    : QObject(window)
    , m_window(window)
    , m_view(view)
    , m_statusLine(statusLine)
#ifdef ORVIK_HAS_PLAYER
    , m_pane(new PlayerPane(window))
#else
    , m_pane(nullptr)
#endif
    , m_model(model)
    , m_exportRunning(exportRunning)
    , m_progress(new CDlgProgress(window))
    , m_export(new ListExport(window, m_progress, exportRunning, closeRequested))
    , m_details(new CallDetailPanel(window))
{
    m_progress->hide();
    view->setModel(model);
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    m_noteTimer->setInterval(kNoteMilliseconds);
    connect(m_noteTimer, &QTimer::timeout, this, [this] {
        m_note.clear();
        UpdateStatusLine();
    });
    // A new list ends the note about the old one.
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        m_noteTimer->stop();
        m_note.clear();
    });
#ifdef ORVIK_HAS_PLAYER
    if (m_pane) {
        m_pane->takePlaybackKeysFrom(view);
        connect(m_pane, &PlayerPane::nextCallWanted, this, &CallList::MoveToNextRow);
    }
#endif

    // The status line follows every change of the rows shown.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &CallList::UpdateStatusLine);
    connect(model, &QAbstractItemModel::modelReset, this, &CallList::UpdateStatusLine);
    connect(model, &QAbstractItemModel::layoutChanged, this, &CallList::UpdateStatusLine);

    // The pane follows the current row: a new Find, a delete or a sort may change it
    // without the selection saying so.
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &CallList::ShowCurrentRecording);
    connect(model, &QAbstractItemModel::modelReset, this, &CallList::ShowCurrentRecording);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &CallList::ShowCurrentRecording);
    // The Delete key asks as the row menu's Delete does.
    connect(view, &CallListView::deleteKeyPressed, this, [this] {
        if (const QModelIndex current = m_view->currentIndex(); current.isValid())
            DeleteCall(m_model->KeyOf(current.row()));
    });
    UpdateStatusLine();
}

CallList::~CallList() = default;

void CallList::SetColumns(const QStringList &titles, const int *widths)
{
    m_model->SetTitles(titles);
    QueryForm::SetUpList(m_view, widths, m_model->ColumnCount());
    // A click on a title sorts by that column; the list opens in its own order.
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    // A row whose recording is not there: italic, in a red that reads on the list's ground
    // in light and dark palettes alike (a disabled grey is near white in some).
    const bool darkGround = m_view->palette().color(QPalette::Base).lightness() < 128;
    m_model->SetMutedForeground(QVariant::fromValue(QBrush(MissingRecordingColour(darkGround))));
    QFont italic = m_view->font();
    italic.setItalic(true);
    m_model->SetMutedFont(QVariant::fromValue(italic));
}

QColor CallList::MissingRecordingColour(bool darkGround)
{
    return darkGround ? QColor(0xff, 0x8a, 0x80) : QColor(0xb0, 0x1c, 0x1c);
}

void CallList::SetStatusPrefix(const QString &prefix)
{
    m_statusPrefix = prefix;
    UpdateStatusLine();
}

void CallList::UpdateStatusLine()
{
    QString text = GetDialogText(Ids::TxtListStatus)
                       .arg(QString::number(m_model->RowCount()), QString::number(m_model->MissedCount()),
                            CellFormat::TotalTalkTime(m_model->TotalTalkSeconds()));
    if (!m_statusPrefix.isEmpty())
        text = m_statusPrefix + QStringLiteral("    ") + text;
    if (!m_note.isEmpty())
        text += QStringLiteral("    ") + m_note;
    m_statusLine->setText(text);
}

void CallList::ShowNote(const QString &note)
{
    m_note = note;
    m_noteTimer->start();
    UpdateStatusLine();
}

void CallList::PlaceDetailPanel(QueryForm &form)
{
    if (QHBoxLayout *beside = form.PaneArea()) {
        beside->addWidget(m_details);
        return;
    }
    // No pane: the panel takes the lower part of the list's splitter, as the pane would.
    QWidget *listArea = form.ListArea() ? form.ListArea()->parentWidget() : nullptr;
    if (auto *splitter = listArea ? qobject_cast<QSplitter *>(listArea->parentWidget()) : nullptr) {
        splitter->addWidget(m_details);
        splitter->setStretchFactor(splitter->indexOf(m_details), 0);
    } else if (form.ListArea()) {
        form.ListArea()->addWidget(m_details);
    }
}

void CallList::ShowCurrentRecording()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid()) {
        m_details->clear();
#ifdef ORVIK_HAS_PLAYER
        if (m_pane)
            m_pane->clear();
#endif
        return;
    }
    const int row = current.row();
    const RecordingFolder recordings = m_model->Recordings(row);
    const QString file = m_model->CellText(row, CallListModel::CellFile);
    const QString number = m_model->CellText(row, CallListModel::CellPhone);
    m_details->showCall(m_model->KeyOf(row), number, file, recordings);
#ifdef ORVIK_HAS_PLAYER
    if (m_pane) {
        // The call named above the waveform: number, start time, user.
        QStringList caption;
        for (const QString &part : {number, m_model->CellText(row, CallListModel::CellStart),
                                    m_model->CellText(row, CallListModel::CellName)})
            if (!part.isEmpty())
                caption << part;
        m_pane->setRecording(file, recordings, caption.join(QStringLiteral("  ·  ")));
    }
#endif
}

void CallList::MoveToNextRow()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || current.row() + 1 >= m_model->rowCount())
        return;
    const QModelIndex next = m_model->index(current.row() + 1, current.column());
    m_view->setCurrentIndex(next);
    m_view->scrollTo(next);
}

void CallList::ClearPlayer()
{
#ifdef ORVIK_HAS_PLAYER
    if (m_pane)
        m_pane->clear();
#endif
}

void CallList::OnListDblClk(const QModelIndex &index)
{
    if (index.isValid())
        PlayCall(m_model->KeyOf(index.row()));
}

void CallList::OnListRightClick(const QPoint &position)
{
    const QModelIndex index = m_view->indexAt(position);
    if (!index.isValid())
        return;
    // The call itself is kept across the menu: rows may arrive, move or go meanwhile.
    const CallKey call = m_model->KeyOf(index.row());
    const int command =
        ChooseFromRecordListPopup(m_window, m_view->viewport()->mapToGlobal(position), m_pane != nullptr);
    if (command == Ids::CmdPlayRecord)
        PlayCall(call);
    else if (command == Ids::CmdPlayHere)
        PlayHere(call);
    else if (command == Ids::CmdDelete)
        DeleteCall(call);
}

void CallList::PlayCall(const CallKey &call)
{
    const int row = m_model->RowOf(call);
    if (row < 0)
        return;
    const RecordingFolder recordings = m_model->Recordings(row);
    const QString file = m_model->CellText(row, CallListModel::CellFile);
    // The system's media player is wanted and there is none: the pane plays the call instead
    // of a message saying so.
    if (m_pane && recordings.Check(file) == RecordingFolder::Verdict::Playable && g_config.ReadPlayerType() == 0
        && HostSystem::findMediaPlayer(g_config.m_sysDriveRoot).isEmpty()) {
        PlayHere(call);
        if (!std::exchange(m_playingHereSaid, true))
            ShowNote(GetDialogText(Ids::TxtPlayingHere));
        return;
    }
    // Playback needs no database.
    CAdoDb none;
    RecordActions actions(none, *m_model, recordings, g_config, m_window);
    actions.PlayRecording(file);
}

void CallList::PlayHere(const CallKey &call)
{
#ifdef ORVIK_HAS_PLAYER
    const int row = m_model->RowOf(call);
    if (!m_pane || row < 0)
        return;
    const QModelIndex index = m_model->index(row, std::max(0, m_view->currentIndex().column()));
    if (m_view->currentIndex().row() != row)
        m_view->setCurrentIndex(index);
    ShowCurrentRecording();
    m_pane->playWhenReady();
#else
    Q_UNUSED(call);
#endif
}

void CallList::DeleteCall(const CallKey &call)
{
    const int row = m_model->RowOf(call);
    if (row < 0 || !m_databaseFor)
        return;
    const std::shared_ptr<SharedDatabase> db = m_databaseFor(call.backupDir);
    if (!db)
        return;
    const RecordingFolder recordings = m_model->Recordings(row);
    RecordActions actions(db->db, *m_model, recordings, g_config, m_window);
    RecordActions::DeleteRequest request;
    RecordActions::DeleteResult refused;
    if (!actions.ConfirmDelete(call, &request, &refused))
        return;
    // The database and the file on a worker, one user of the connection at a time (a fill
    // reading its next rows lets go between batches); the messages and the row here.
    auto *runner = new TaskRunner(this);
    ++m_deletesRunning;
    runner->start(
        [this, db, recordings, request](const TaskRunner::Request &task) {
            RecordActions::DeleteOutcome outcome;
            {
                const std::lock_guard<std::mutex> lock(db->inUse);
                outcome = RecordActions::ExecuteDelete(db->db, recordings, request);
            }
            task.deliver([this, db, recordings, request, outcome] {
                RecordActions finish(db->db, *m_model, recordings, g_config, m_window);
                finish.FinishDelete(request, outcome);
            });
        },
        [this](const QString &failure) {
            Desktop::current().showMessage(m_window, Desktop::Icon::Error, GetDialogText(Ids::TxtDeleteCaption),
                                           failure, Desktop::Buttons::Ok);
        });
    connect(runner, &TaskRunner::finished, this, [this, runner] {
        --m_deletesRunning;
        runner->deleteLater();
        emit deleteFinished();
    });
}

void CallList::StartExport(const QString &name, const QStringList &leadingHeader, bool withBackupName,
                           std::function<void(bool busy)> setBusy)
{
    if (m_model->RowCount() <= 0 || m_model->IsFilling())
        return;
    // A sort still on its way is waited for: the workbook gets the rows in the order the
    // user asked for.
    if (m_model->IsSorting()) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(m_model, &CallListModel::sorted, this,
                              [this, connection, name, leadingHeader, withBackupName, setBusy] {
                                  disconnect(*connection);
                                  StartExport(name, leadingHeader, withBackupName, setBusy);
                              });
        return;
    }
    ListExport::Source source;
    // Taken before the progress window shows: what the list removes from here on is left
    // out of it.
    source.rows = m_model->Snapshot();
    source.withBackupName = withBackupName;
    source.withStatistics = m_exportStatistics && m_exportStatistics->isChecked();
    source.leadingHeader = leadingHeader;
    source.name = name;
    m_export->Start(std::move(source), [this, setBusy = std::move(setBusy)](bool busy) {
        setBusy(busy);
        // The list keeps its order while it is written: no sort while the export runs.
        m_view->horizontalHeader()->setSectionsClickable(!busy);
    });
}

namespace {
// Where the export's option is remembered, in the windows' settings.
const char kExportStatisticsKey[] = "Export/statistics";
} // namespace

void CallList::PlaceExportOption(QGridLayout *grid, int row, int column)
{
    m_exportStatistics = new QCheckBox(GetDialogText(Ids::TxtStatsExportOption), m_window);
    m_exportStatistics->setObjectName(QStringLiteral("ExportStatistics"));
    m_exportStatistics->setToolTip(GetDialogText(Ids::TxtStatsExportTip));
    m_exportStatistics->setChecked(
        WindowMemory::settings()->value(QLatin1String(kExportStatisticsKey), false).toBool());
    connect(m_exportStatistics, &QCheckBox::toggled, this,
            [](bool on) { WindowMemory::settings()->setValue(QLatin1String(kExportStatisticsKey), on); });
    // Over the columns of Find and Export, at their right end: a long text (Turkish) fits
    // where the one column under Export would cut it.
    grid->addWidget(m_exportStatistics, row, column - 1, 1, 2, Qt::AlignRight);
}

#include "app/SearchAllWindow.h"

#include "app/BuiltInMenus.h"
#include "app/DlgProgress.h"
#include "app/DlgQuery.h"
#include "app/ListExport.h"
#include "app/QueryForm.h"
#include "app/WindowMemory.h"
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "export/CallListExport.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "query/RecordActions.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif

#include "ui_DlgQuery.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QTableView>

namespace {
// Where the window's size and columns are remembered.
constexpr char kMemoryName[] = "SearchAllWindow";
constexpr int kBackupColumnWidth = 120;
} // namespace

SearchAllWindow::SearchAllWindow(const CBackupArray &catalogue, QWidget *parent)
    : QDialog(parent)
    , m_catalogue(catalogue)
    , ui(std::make_unique<Ui::CDlgQuery>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("SearchAllWindow"));
    m_form = std::make_unique<QueryForm>(*ui);
    m_form->SetUpWindow(this);
    // The filter of a new window: dates of now, all calls, all users.
    ui->IdcDateFrom->setDateTime(QDateTime::currentDateTime());
    ui->IdcDateTo->setDateTime(QDateTime::currentDateTime());
    ui->IdcCallType->setCurrentIndex(-1);

    g_config.ApplyFontToChildren(this);
    setWindowTitle(GetDialogText(Ids::TxtSearchAllCaption));
    m_form->SetTexts();

    // The backup's name first, then the query window's eleven columns.
    m_model.SetTitles(QStringList{GetColumnText(Ids::ColSearchBackup)} + CDlgQuery::ResultListTitles());
    int widths[BackupSearchModel::kColumnCount] = {kBackupColumnWidth};
    const auto cellWidths = CDlgQuery::ResultListWidths();
    std::copy(cellWidths.begin(), cellWidths.end(), widths + 1);
    QTableView *list = ui->IdcResultList;
    list->setModel(&m_model);
    QueryForm::SetUpList(list, widths, BackupSearchModel::kColumnCount);
    m_model.SetMutedForeground(QVariant::fromValue(list->palette().brush(QPalette::Disabled, QPalette::Text)));

    m_progress = new CDlgProgress(this);
    m_progress->hide();
    m_export = new ListExport(this, m_progress, &m_model, m_exportRunning, m_closeRequested);
#ifdef ORVIK_HAS_PLAYER
    m_player = new PlayerPane(this);
    m_player->takeSpaceKeyFrom(list);
#endif
    WindowMemory::restore(this, QLatin1String(kMemoryName), list->horizontalHeader());
    m_form->Layout(rect(), PlayerWidget());

    // Each backup's outcome comes from a worker thread; it is taken in here, in order.
    connect(&m_search, &BackupSearch::BackupSearched, this, &SearchAllWindow::OnBackupSearched, Qt::QueuedConnection);
    connect(ui->IdcFromCheck, &QCheckBox::clicked, this, [this] { m_form->EnableDates(); });
    connect(ui->DatePresets, &QComboBox::activated, this,
            [this](int index) { m_form->ApplyDatePreset(index, m_today.isValid() ? m_today : QDate::currentDate()); });
    connect(ui->IdcFind, &QPushButton::clicked, this, &SearchAllWindow::OnFind);
    connect(ui->IdcExport, &QPushButton::clicked, this, &SearchAllWindow::OnExport);
    connect(list, &QAbstractItemView::doubleClicked, this, &SearchAllWindow::OnListDblClk);
    connect(list, &QWidget::customContextMenuRequested, this, &SearchAllWindow::OnListRightClick);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, &SearchAllWindow::UpdateStatusLine);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &SearchAllWindow::UpdateStatusLine);
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &SearchAllWindow::ShowCurrentRecording);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &SearchAllWindow::ShowCurrentRecording);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &SearchAllWindow::ShowCurrentRecording);
    UpdateStatusLine();
    UpdateButtons();
}

SearchAllWindow::~SearchAllWindow()
{
    m_search.Stop();
    // Waits for an export worker still running.
    delete m_export;
    ui->IdcResultList->setModel(nullptr);
}

QTableView *SearchAllWindow::List() const
{
    return ui->IdcResultList;
}

bool SearchAllWindow::IsSearching() const
{
    return m_received < m_search.TargetCount();
}

void SearchAllWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_form)
        m_form->Layout(rect(), PlayerWidget());
}

QWidget *SearchAllWindow::PlayerWidget() const
{
#ifdef ORVIK_HAS_PLAYER
    return m_player;
#else
    return nullptr;
#endif
}

void SearchAllWindow::OnFind()
{
    // A search still running stops first; its late news is ignored by its generation.
    StopSearch();
    m_model.Clear();
    m_failures.clear();
    m_received = 0;
    std::vector<BackupSearch::Target> targets;
    for (int i = 0; i < m_catalogue.GetCount(); ++i)
        targets.push_back({m_catalogue.GetAt(i)->m_name, m_catalogue.GetAt(i)->m_path});
    m_search.Start(std::move(targets), m_form->Statement());
    UpdateStatusLine();
    UpdateButtons();
}

void SearchAllWindow::StopSearch()
{
    m_search.Stop();
    m_received = m_search.TargetCount();
}

void SearchAllWindow::OnBackupSearched(int generation, int index)
{
    if (generation != m_search.Generation() || !IsSearching())
        return;
    ++m_received;
    const BackupSearch::Target &target = m_search.TargetAt(index);
    if (!m_search.Failure(index).isEmpty()) {
        m_failures << QStringLiteral("%1: %2").arg(target.name, m_search.Failure(index));
    } else {
        if (!m_search.Report(index).isComplete())
            m_failures << QStringLiteral("%1: %2").arg(target.name, QueryForm::DamageText(m_search.Report(index)));
        m_model.AddBackup(index, target.name, target.dir, m_search.TakeRows(index));
    }
    UpdateStatusLine();
    if (!IsSearching()) {
        UpdateButtons();
        ReportFailures();
    }
}

void SearchAllWindow::ReportFailures()
{
    if (m_failures.isEmpty())
        return;
    // One message for all of them, in the catalogue's order of their outcomes.
    Desktop::current().showMessage(this, Desktop::Icon::Warning, GetDialogText(Ids::TxtErrorCaption),
                                   GetDialogText(Ids::TxtSearchFailures) + u'\n' + m_failures.join(u'\n'),
                                   Desktop::Buttons::Ok);
}

void SearchAllWindow::UpdateStatusLine()
{
    QString text = GetDialogText(Ids::TxtListStatus)
                       .arg(QString::number(m_model.RowCount()), QString::number(m_model.MissedCount()),
                            CellFormat::TotalTalkTime(m_model.TotalTalkSeconds()));
    if (m_search.TargetCount() > 0) {
        text = GetDialogText(Ids::TxtSearchProgress)
                   .arg(QString::number(m_received), QString::number(m_search.TargetCount()))
               + QStringLiteral("    ") + text;
    }
    ui->StatusLine->setText(text);
}

void SearchAllWindow::UpdateButtons()
{
    // The export takes the rows the list holds: not while more are coming, nor twice.
    ui->IdcExport->setEnabled(m_exportRunning == 0 && !IsSearching());
}

void SearchAllWindow::OnExport()
{
    if (IsSearching() || m_model.RowCount() <= 0)
        return;
    ListExport::Source source;
    source.rowCount = [this] { return m_model.RowCount(); };
    source.workbookRow = [this](int row) {
        // The backup's name first, then the query window's columns.
        return QStringList{m_model.BackupName(row)} + CallListExport::WorkbookRow([&](int position) {
                   return m_model.CellText(row, BackupSearchModel::ColumnOfCell(position));
               });
    };
    source.leadingHeader = QStringList{GetColumnText(Ids::ColSearchBackup)};
    source.name = QStringLiteral("all-backups");
    source.setBusy = [this](bool busy) {
        ui->IdcFind->setEnabled(!busy);
        ui->IdcExport->setEnabled(!busy);
    };
    m_export->Start(std::move(source));
}

void SearchAllWindow::accept()
{
    // Enter clicks Find, the default button; the window stays.
}

void SearchAllWindow::reject()
{
    // Nothing is searched once the window is going; an export still running ends first.
    StopSearch();
    m_export->RequestClose([this](int result) { CloseWindow(result); });
}

void SearchAllWindow::CloseWindow(int result)
{
    m_export->StopCloseTimer();
    StopSearch();
#ifdef ORVIK_HAS_PLAYER
    m_player->clear();
#endif
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    QDialog::done(result);
}

void SearchAllWindow::ShowCurrentRecording()
{
#ifdef ORVIK_HAS_PLAYER
    const QModelIndex current = ui->IdcResultList->currentIndex();
    if (current.isValid()) {
        const int row = current.row();
        m_player->setRecording(m_model.CellText(row, BackupSearchModel::ColumnOfCell(ResultListModel::CellFile)),
                               m_model.BackupRows(row).Recordings());
    } else {
        m_player->clear();
    }
#endif
}

void SearchAllWindow::OnListDblClk(const QModelIndex &index)
{
    if (index.isValid())
        PlayRow(index.row());
}

void SearchAllWindow::OnListRightClick(const QPoint &position)
{
    QTableView *list = ui->IdcResultList;
    const QModelIndex index = list->indexAt(position);
    if (!index.isValid())
        return;
    // The row may move while the menu is open (another backup's rows come in): keep the
    // row itself, by its backup and its place there.
    ResultListModel *rows = &m_model.BackupRows(index.row());
    const int inBackup = m_model.RowInBackup(index.row());
    const int generation = m_search.Generation();

    const int command = ChooseFromRecordListPopup(this, list->viewport()->mapToGlobal(position));
    if (generation != m_search.Generation())
        return; // a new Find while the menu was open
    int row = -1;
    for (int r = 0; r < m_model.RowCount() && row < 0; ++r) {
        if (&m_model.BackupRows(r) == rows && m_model.RowInBackup(r) == inBackup)
            row = r;
    }
    if (row < 0)
        return;
    if (command == Ids::CmdPlayRecord)
        PlayRow(row);
    else if (command == Ids::CmdDelete)
        DeleteRow(row);
}

void SearchAllWindow::PlayRow(int row)
{
    // Playback needs no database; the actions take the row's own backup list.
    CAdoDb none;
    RecordActions actions(none, m_model.BackupRows(row), g_config, this);
    actions.PlayRecording(m_model.CellText(row, BackupSearchModel::ColumnOfCell(ResultListModel::CellFile)));
}

void SearchAllWindow::DeleteRow(int row)
{
    // Only this row's backup is opened, read-write as the query window opens it, for as
    // long as the delete takes. Its list loses the row, and with it this list.
    CAdoDb db;
    if (!db.OpenAccessDatabase(CBackupArray::DatabaseOf(m_model.BackupDir(row)), QString())) {
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                       GetDialogText(Ids::TxtDatabaseOpenFailed), Desktop::Buttons::Ok);
        return;
    }
    ResultListModel &rows = m_model.BackupRows(row);
    RecordActions actions(db, rows, g_config, this);
    actions.DeleteRecord(m_model.RowInBackup(row));
}

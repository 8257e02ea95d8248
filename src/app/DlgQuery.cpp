#include "app/DlgQuery.h"

#include "app/BuiltInMenus.h"
#include "app/DlgProgress.h"
#include "app/ListExport.h"
#include "app/QueryForm.h"
#include "app/WindowMemory.h"
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "config/Desktop.h"
#include "export/CallListExport.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/BuildStatement.h"
#include "query/CellFormat.h"
#include "query/RecordActions.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif

#include "ui_DlgQuery.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QResizeEvent>
#include <QTableView>

namespace {

// Where the window's size and columns are remembered.
constexpr char kMemoryName[] = "QueryWindow";

// Result list columns by cell position: title (a column id, or a fixed text) and width.
struct ResultColumn
{
    int titleId;            // 0: the fixed title below
    const char *fixedTitle; // not translated
    int width;
};
constexpr ResultColumn kResultColumns[ResultListModel::kCellCount] = {
    {1, nullptr, 60}, {2, nullptr, 70},  {3, nullptr, 80},  {4, nullptr, 100}, {5, nullptr, 250}, {6, nullptr, 80},
    {7, nullptr, 80}, {8, nullptr, 100}, {9, nullptr, 200}, {0, "DID", 0},     {0, "DTMFs", 0},
};

// The first rows of a Find are read at once; the rest in slices of about this length.
constexpr int kFirstBatch = 200;
constexpr int kFillSliceMilliseconds = 40;
constexpr int kInitialFillBatch = 2000;
constexpr int kMaxFillBatch = 200000;

} // namespace

CDlgQuery::CDlgQuery(const QString &backupDir, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CDlgQuery>())
    , m_backupDir(backupDir)
{
    m_form = std::make_unique<QueryForm>(*ui);
    // The filter as a new window has it: dates of now, all calls, all users.
    m_dateFrom = OleDate::fromDateTime(QDateTime::currentDateTime());
    m_dateTo = m_dateFrom;
    m_callType = CallTypeAll;
    m_userName = QStringLiteral("所有用户");

    ui->setupUi(this);
    m_form->SetUpWindow(this);

    m_fillTimer = new QTimer(this);
    m_fillTimer->setObjectName(QStringLiteral("FillTimer"));
    m_fillTimer->setInterval(0);
    connect(m_fillTimer, &QTimer::timeout, this, &CDlgQuery::OnFillTimer);

    OnInitDialog();

    connect(ui->IdcFromCheck, &QCheckBox::clicked, this, &CDlgQuery::OnFromCheck);
    connect(ui->IdcFind, &QPushButton::clicked, this, &CDlgQuery::OnFind);
    connect(ui->IdcExport, &QPushButton::clicked, this, &CDlgQuery::OnExport);
    connect(ui->IdcResultList, &QAbstractItemView::doubleClicked, this, &CDlgQuery::OnListDblClk);
    connect(ui->IdcResultList, &QWidget::customContextMenuRequested, this, &CDlgQuery::OnListRightClick);
    connect(ui->DatePresets, &QComboBox::activated, this, &CDlgQuery::OnDatePreset);

    // The status line follows every change of the rows shown.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, &CDlgQuery::UpdateStatusLine);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CDlgQuery::UpdateStatusLine);
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, &CDlgQuery::UpdateStatusLine);
    UpdateStatusLine();

    // The pane follows the current row: a new Find, a delete or a sort may change it
    // without the selection saying so.
    connect(ui->IdcResultList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CDlgQuery::ShowCurrentRecording);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CDlgQuery::ShowCurrentRecording);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &CDlgQuery::ShowCurrentRecording);
}

CDlgQuery::~CDlgQuery()
{
    StopFill();
    // Waits for an export worker still running.
    delete m_export;
    ui->IdcResultList->setModel(nullptr);
}

QTableView *CDlgQuery::List() const
{
    return ui->IdcResultList;
}

void CDlgQuery::OnInitDialog()
{
    UpdateData(false);
    g_config.ApplyFontToChildren(this);

    setWindowTitle(GetDialogText(Ids::TxtQueryCaption));
    m_form->SetTexts();

    SetUpResultList();

    // Recording paths are built as <backup dir><voice/...>: the directory ends in a separator.
    if (!m_backupDir.endsWith(u'/') && !m_backupDir.endsWith(u'\\'))
        m_backupDir += u'/';
    m_model.SetBackupDir(m_backupDir);

    if (!m_db.OpenAccessDatabase(CBackupArray::DatabaseOf(m_backupDir), QString())) {
        // The window still opens; every Find then leaves the list empty.
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                       GetDialogText(Ids::TxtDatabaseOpenFailed), Desktop::Buttons::Ok);
    }

    m_progress = new CDlgProgress(this);
    m_progress->hide();
    m_export = new ListExport(this, m_progress, &m_model, m_exportRunning, m_closeRequested);

#ifdef ORVIK_HAS_PLAYER
    m_player = new PlayerPane(this);
    m_player->takeSpaceKeyFrom(ui->IdcResultList);
#endif

    WindowMemory::restore(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    ResizeList();
    UpdateExportButton();
}

void CDlgQuery::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        m_useDateRange = ui->IdcFromCheck->isChecked();
        m_dateFrom = OleDate::fromDateTime(ui->IdcDateFrom->dateTime());
        m_dateTo = OleDate::fromDateTime(ui->IdcDateTo->dateTime());
        m_callType = ui->IdcCallType->currentIndex();
        m_userName = ui->IdcUserName->currentText();
        m_number = ui->IdcNumber->text();
        m_remark = ui->IdcRemark->text();
        return;
    }
    ui->IdcFromCheck->setChecked(m_useDateRange);
    const auto toDateTime = [](const OleDate &date) {
        const OleDate::Parts p = date.parts();
        return QDateTime(QDate(p.year, p.month, p.day), QTime(qMax(p.hour, 0), qMax(p.minute, 0), qMax(p.second, 0)));
    };
    ui->IdcDateFrom->setDateTime(toDateTime(m_dateFrom));
    ui->IdcDateTo->setDateTime(toDateTime(m_dateTo));
    ui->IdcCallType->setCurrentIndex(m_callType);
    ui->IdcUserName->setEditText(m_userName);
    ui->IdcNumber->setText(m_number);
    ui->IdcRemark->setText(m_remark);
}

void CDlgQuery::SetUpResultList()
{
    m_model.SetTitles(ResultListTitles());
    QTableView *list = ui->IdcResultList;
    list->setModel(&m_model);
    QueryForm::SetUpList(list, ResultListWidths().data(), ResultListModel::kCellCount);
    // A click on a title sorts by that column; the list opens in the statement's order.
    list->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    list->setSortingEnabled(true);
    m_model.SetMutedForeground(QVariant::fromValue(list->palette().brush(QPalette::Disabled, QPalette::Text)));
}

QStringList CDlgQuery::ResultListTitles()
{
    QStringList titles;
    for (const ResultColumn &column : kResultColumns)
        titles << (column.fixedTitle ? QString::fromLatin1(column.fixedTitle) : GetColumnText(column.titleId));
    return titles;
}

std::array<int, ResultListModel::kCellCount> CDlgQuery::ResultListWidths()
{
    std::array<int, ResultListModel::kCellCount> widths{};
    for (int position = 0; position < ResultListModel::kCellCount; ++position)
        widths[size_t(position)] = kResultColumns[position].width;
    return widths;
}

void CDlgQuery::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    ResizeList();
}

void CDlgQuery::ResizeList()
{
    if (!ui || !ui->IdcResultList)
        return;
    m_form->Layout(rect(), PlayerWidget());
}

void CDlgQuery::OnFromCheck()
{
    UpdateData(true);
    m_form->EnableDates();
}

void CDlgQuery::OnFind()
{
    UpdateData(true);
    FillResultList(m_form->Statement());
}

void CDlgQuery::FillResultList(const QString &statement)
{
    StopFill();
    // The list is emptied whether or not the statement runs.
    const bool opened = m_model.BeginFill(m_db, statement);
    // The new rows come in the statement's order, whatever the list was sorted by.
    ui->IdcResultList->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    if (opened) {
        // The first rows show at once; the rest arrive from the timer.
        m_model.FillMore(kFirstBatch);
        m_fillBatch = kInitialFillBatch;
        if (m_model.IsFilling())
            m_fillTimer->start();
        else
            ReportDamage();
    } else if (m_db.IsOpen()) {
        // The database refused the statement: an empty list would look like "no calls".
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                       m_db.LastError(), Desktop::Buttons::Ok);
    }
    UpdateExportButton();
}

void CDlgQuery::OnFillTimer()
{
    QElapsedTimer slice;
    slice.start();
    while (m_model.IsFilling() && slice.elapsed() < kFillSliceMilliseconds) {
        QElapsedTimer batch;
        batch.start();
        m_model.FillMore(m_fillBatch);
        // Fewer, larger batches cost the list less; the slice keeps the window answering.
        if (batch.elapsed() < kFillSliceMilliseconds / 4)
            m_fillBatch = qMin(m_fillBatch * 2, kMaxFillBatch);
    }
    if (!m_model.IsFilling()) {
        m_fillTimer->stop();
        UpdateExportButton();
        ReportDamage();
    }
}

void CDlgQuery::ReportDamage()
{
    const ScanReport &report = m_model.LastScanReport();
    if (report.isComplete())
        return;
    Desktop::current().showMessage(this, Desktop::Icon::Warning, GetDialogText(Ids::TxtErrorCaption),
                                   QueryForm::DamageText(report), Desktop::Buttons::Ok);
}

void CDlgQuery::StopFill()
{
    m_fillTimer->stop();
    m_model.EndFill();
}

void CDlgQuery::OnExport()
{
    if (m_model.RowCount() <= 0)
        return;
    ListExport::Source source;
    source.rowCount = [this] { return m_model.RowCount(); };
    // The worker writes a snapshot of the rows, asking the window for none of them.
    source.snapshot = [this] {
        const auto rows = std::make_shared<const ResultSnapshot>(m_model.Snapshot());
        ListExport::Snapshot snapshot;
        snapshot.rowCount = rows->RowCount();
        snapshot.isRemoved = [rows](int row) { return rows->IsRemoved(row); };
        snapshot.workbookRow = [rows](int row) {
            return CallListExport::WorkbookRow([&](int position) { return rows->CellText(row, position); });
        };
        return snapshot;
    };
    source.name = m_backupDir;
    source.setBusy = [this](bool busy) {
        ui->IdcFind->setEnabled(!busy);
        ui->IdcExport->setEnabled(!busy);
        // The list keeps its order while it is written: no sort while the export runs.
        ui->IdcResultList->horizontalHeader()->setSectionsClickable(!busy);
    };
    m_export->Start(std::move(source));
}

void CDlgQuery::UpdateExportButton()
{
    // A list still filling is not exported: the export takes the rows the list holds.
    ui->IdcExport->setEnabled(m_exportRunning == 0 && !m_model.IsFilling());
}

void CDlgQuery::accept()
{
    // OnOK: the window never closes on Enter; Enter clicks Find, the default button.
}

void CDlgQuery::reject()
{
    // Timer 1 closes the window once an export has ended.
    m_export->RequestClose([this](int result) {
        if (result == QDialog::Accepted)
            UpdateData(true);
        CloseWindow(result);
    });
}

void CDlgQuery::CloseWindow(int result)
{
    m_export->StopCloseTimer();
    StopFill();
#ifdef ORVIK_HAS_PLAYER
    m_player->clear();
#endif
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    QDialog::done(result);
}

void CDlgQuery::OnDatePreset(int index)
{
    m_form->ApplyDatePreset(index, m_today.isValid() ? m_today : QDate::currentDate());
    UpdateData(true);
}

void CDlgQuery::UpdateStatusLine()
{
    ui->StatusLine->setText(GetDialogText(Ids::TxtListStatus)
                                .arg(QString::number(m_model.RowCount()), QString::number(m_model.MissedCount()),
                                     CellFormat::TotalTalkTime(m_model.TotalTalkSeconds())));
}

void CDlgQuery::ShowCurrentRecording()
{
#ifdef ORVIK_HAS_PLAYER
    const QModelIndex current = ui->IdcResultList->currentIndex();
    if (current.isValid())
        m_player->setRecording(m_model.CellText(current.row(), ResultListModel::CellFile), m_model.Recordings());
    else
        m_player->clear();
#endif
}

QWidget *CDlgQuery::PlayerWidget() const
{
#ifdef ORVIK_HAS_PLAYER
    return m_player;
#else
    return nullptr;
#endif
}

void CDlgQuery::OnListDblClk(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    RecordActions actions(m_db, m_model, g_config, this);
    actions.PlayRecording(m_model.CellText(index.row(), ResultListModel::CellFile));
}

void CDlgQuery::OnListRightClick(const QPoint &position)
{
    QTableView *list = ui->IdcResultList;
    const QModelIndex index = list->indexAt(position);
    if (!index.isValid())
        return;
    const int row = index.row();

    const int command = ChooseFromRecordListPopup(this, list->viewport()->mapToGlobal(position));
    if (row >= m_model.RowCount()) // the list was refilled while the menu was open
        return;

    RecordActions actions(m_db, m_model, g_config, this);
    if (command == Ids::CmdPlayRecord)
        actions.PlayRecording(m_model.CellText(row, ResultListModel::CellFile));
    else if (command == Ids::CmdDelete)
        actions.DeleteRecord(row);
}

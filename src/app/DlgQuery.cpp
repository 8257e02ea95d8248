#include "app/DlgQuery.h"

#include "app/CallList.h"
#include "app/CallListView.h"
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
#include "query/SharedDatabase.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif
#include "app/ListStatistics.h"

#include "ui_DlgQuery.h"

#include <QHeaderView>
#include <QLayout>
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

} // namespace

CDlgQuery::CDlgQuery(const QString &backupDir, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CDlgQuery>())
    , m_backupDir(backupDir)
    , m_db(std::make_shared<SharedDatabase>())
{
    m_form = std::make_unique<QueryForm>(*ui);
    // The filter as a new window has it: dates of now, all calls, all users.
    m_dateFrom = OleDate::fromDateTime(QDateTime::currentDateTime());
    m_dateTo = m_dateFrom;
    m_callType = CallTypeAll;
    m_userName = QStringLiteral("所有用户");

    ui->setupUi(this);
    m_form->SetUpWindow(this);

    OnInitDialog();

    connect(ui->IdcFromCheck, &QCheckBox::clicked, this, &CDlgQuery::OnFromCheck);
    connect(ui->IdcFind, &QPushButton::clicked, this, &CDlgQuery::OnFind);
    connect(ui->IdcExport, &QPushButton::clicked, this, &CDlgQuery::OnExport);
    connect(ui->IdcResultList, &QAbstractItemView::doubleClicked, this, &CDlgQuery::OnListDblClk);
    connect(ui->IdcResultList, &QWidget::customContextMenuRequested, this, &CDlgQuery::OnListRightClick);
    connect(ui->DatePresets, &QComboBox::activated, this, &CDlgQuery::OnDatePreset);
    connect(&m_model, &ResultListModel::fillFinished, this, &CDlgQuery::OnFillFinished);
}

CDlgQuery::~CDlgQuery()
{
    // Nothing waits here: a fill, an export or a delete still running ends by itself.
    m_model.EndFill();
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

    if (!m_db->db.OpenAccessDatabase(CBackupArray::DatabaseOf(m_backupDir), QString())) {
        // The window still opens; every Find then leaves the list empty.
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                       GetDialogText(Ids::TxtDatabaseOpenFailed), Desktop::Buttons::Ok);
    }

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
    // The list with its columns, sorting, row menu, status line and export (CallList), the
    // export's progress window (hidden until an export shows it) and the player pane.
    m_calls = new CallList(this, ui->IdcResultList, ui->StatusLine, &m_model, m_exportRunning, m_closeRequested);
    m_progress = m_calls->Progress();
    m_player = m_calls->Pane();
    m_calls->SetColumns(ResultListTitles(), ResultListWidths().data());
    m_calls->SetDatabaseFor([db = m_db](const QString &) { return db; });
    m_calls->Export().SetTimerHandler([this] { OnTimer(); });
    m_form->SetUpLayout(this, PlayerWidget());
    m_calls->PlaceDetailPanel(*m_form);
    // The export's statistics option under Export, and the statistics tab over the list.
    m_calls->PlaceExportOption(ui->FilterGrid, 1, 8);
    new ListStatistics(*m_calls, m_form->ListArea(), this);
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
    // The window's layout places the list below the filter band at every size.
    if (layout())
        layout()->activate();
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
    // The list is emptied whether or not the statement runs, and the new rows come in the
    // statement's order, whatever the list was sorted by.
    ui->IdcResultList->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_model.StartFill(m_db, statement);
    UpdateExportButton();
}

void CDlgQuery::OnFillFinished(bool opened, const QString &error)
{
    UpdateExportButton();
    if (!opened) {
        // The database refused the statement: an empty list would look like "no calls".
        if (m_db->db.IsOpen())
            Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption), error,
                                           Desktop::Buttons::Ok);
        return;
    }
    const ScanReport &report = m_model.LastScanReport();
    if (report.isComplete())
        return;
    // Said once all rows have come: the database could not be read whole.
    Desktop::current().showMessage(this, Desktop::Icon::Warning, GetDialogText(Ids::TxtErrorCaption),
                                   QueryForm::DamageText(report), Desktop::Buttons::Ok);
}

void CDlgQuery::OnExport()
{
    ExportToExcel();
}

void CDlgQuery::ExportToExcel()
{
    m_calls->StartExport(m_backupDir, {}, false, [this](bool busy) {
        ui->IdcFind->setEnabled(!busy);
        ui->IdcExport->setEnabled(!busy);
        if (!busy)
            UpdateExportButton();
    });
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
    // OnCancel: at once when no export runs; otherwise timer 1 (OnTimer) closes the window
    // once the export has ended.
    m_calls->Export().RequestClose([this](int result) { CloseWindow(result); });
}

void CDlgQuery::OnTimer()
{
    if (m_exportRunning != 0)
        return;
    UpdateData(true);
    CloseWindow(QDialog::Accepted);
}

void CDlgQuery::CloseWindow(int result)
{
    m_calls->Export().StopCloseTimer();
    m_model.EndFill();
    m_calls->ClearPlayer();
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    QDialog::done(result);
}

void CDlgQuery::OnDatePreset(int index)
{
    m_form->ApplyDatePreset(index, m_today.isValid() ? m_today : QDate::currentDate());
    UpdateData(true);
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
    m_calls->OnListDblClk(index);
}

void CDlgQuery::OnListRightClick(const QPoint &position)
{
    m_calls->OnListRightClick(position);
}

#include "app/DlgQuery.h"

#include "app/AppResources.h"
#include "app/BuiltInMenus.h"
#include "app/DlgProgress.h"
#include "app/MenuRetitler.h"
#include "app/WindowMemory.h"
#include "config/Config.h"
#include "config/Desktop.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/BuildStatement.h"
#include "query/CellFormat.h"
#include "query/DatePresets.h"
#include "query/RecordActions.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif

#include "ui_DlgQuery.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QResizeEvent>
#include <QTableView>

#include <chrono>
#include <iterator>

namespace {

constexpr char kMenuElement[] = "Orvik_Menu";
// Where the window's size and columns are remembered.
constexpr char kMemoryName[] = "QueryWindow";

// The filter band above the list keeps this height whatever the window's size.
constexpr int kFilterBandHeight = 70;

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

constexpr int kCloseTimerMilliseconds = 100;

// A count with its thousands grouped: 1,629.
QString countText(std::uint64_t count)
{
    return QLocale(QLocale::English).toString(qulonglong(count));
}

} // namespace

CDlgQuery::CDlgQuery(const QString &backupDir, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CDlgQuery>())
    , m_backupDir(backupDir)
{
    // The filter as a new window has it: dates of now, all calls, all users.
    m_dateFrom = OleDate::fromDateTime(QDateTime::currentDateTime());
    m_dateTo = m_dateFrom;
    m_callType = CallTypeAll;
    m_userName = QStringLiteral("所有用户");

    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    const QString shortDate = QLocale().dateFormat(QLocale::ShortFormat);
    ui->IdcDateFrom->setDisplayFormat(shortDate);
    ui->IdcDateTo->setDisplayFormat(shortDate);

    m_fillTimer = new QTimer(this);
    m_fillTimer->setObjectName(QStringLiteral("FillTimer"));
    m_fillTimer->setInterval(0);
    connect(m_fillTimer, &QTimer::timeout, this, &CDlgQuery::OnFillTimer);
    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("CloseTimer"));
    m_closeTimer->setInterval(kCloseTimerMilliseconds);
    connect(m_closeTimer, &QTimer::timeout, this, &CDlgQuery::OnTimer);

    OnInitDialog();

    connect(ui->IdcFromCheck, &QCheckBox::clicked, this, &CDlgQuery::OnFromCheck);
    connect(ui->IdcFind, &QPushButton::clicked, this, &CDlgQuery::OnFind);
    connect(ui->IdcExport, &QPushButton::clicked, this, &CDlgQuery::OnExport);
    connect(ui->IdcResultList, &QAbstractItemView::doubleClicked, this, &CDlgQuery::OnListDblClk);
    connect(ui->IdcResultList, &QWidget::customContextMenuRequested, this, &CDlgQuery::OnListRightClick);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (first < m_exportRow)
            m_exportRow -= qMin(last + 1, m_exportRow) - first;
    });
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
    m_closeTimer->stop();
    if (m_worker.joinable()) {
        // Normally the window closes only after the worker has ended. If it is destroyed
        // otherwise, the worker is told to stop, and its calls on the UI thread are still
        // served until it has.
        m_closeRequested = 1;
        while (m_exportRunning != 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_worker.join();
    }
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

    ui->IdcCallTypeLabel->setText(GetDialogText(Ids::TxtCallTypeLabel));
    ui->IdcToLabel->setText(GetDialogText(Ids::TxtToLabel));
    ui->IdcUserNameLabel->setText(GetDialogText(Ids::TxtUserNameLabel));
    ui->IdcNumberLabel->setText(GetDialogText(Ids::TxtNumberLabel));
    ui->IdcRemarkLabel->setText(GetDialogText(Ids::TxtRemarkLabel));
    ui->IdcFromCheck->setText(GetDialogText(Ids::TxtFromCheck));
    ui->IdcFind->setText(GetDialogText(Ids::TxtFindButton));
    setWindowTitle(GetDialogText(Ids::TxtQueryCaption));
    ui->IdcExport->setText(GetDialogText(Ids::TxtExportButton));

    ui->DatePresets->clear();
    for (const int textId : {Ids::TxtPresetToday, Ids::TxtPresetYesterday, Ids::TxtPresetThisWeek,
                             Ids::TxtPresetLastWeek, Ids::TxtPresetThisMonth, Ids::TxtPresetLastMonth})
        ui->DatePresets->addItem(GetDialogText(textId));
    ui->DatePresets->setPlaceholderText(GetDialogText(Ids::TxtDatePresetPrompt));
    ui->DatePresets->setCurrentIndex(-1);

    ui->IdcCallType->clear();
    for (const int textId : {Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtAllCalls, Ids::TxtMissed})
        ui->IdcCallType->addItem(GetDialogText(textId));
    ui->IdcCallType->setCurrentIndex(m_callType);

    const QString allUsers = GetDialogText(Ids::TxtAllUsers);
    ui->IdcUserName->clear();
    ui->IdcUserName->addItem(allUsers);
    ui->IdcUserName->setEditText(allUsers);

    SetUpResultList();

    // Recording paths are built as <backup dir><voice/...>: the directory ends in a separator.
    if (!m_backupDir.endsWith(u'/') && !m_backupDir.endsWith(u'\\'))
        m_backupDir += u'/';
    m_model.SetBackupDir(m_backupDir);

    if (!m_db.OpenAccessDatabase(m_backupDir + QStringLiteral("dbR.mdb"), QString())) {
        // The window still opens; every Find then leaves the list empty.
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                       GetDialogText(Ids::TxtDatabaseOpenFailed), Desktop::Buttons::Ok);
    }

    m_progress = new CDlgProgress(this);
    m_progress->hide();

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
    QStringList titles;
    for (const ResultColumn &column : kResultColumns)
        titles << (column.fixedTitle ? QString::fromLatin1(column.fixedTitle) : GetColumnText(column.titleId));
    m_model.SetTitles(titles);

    QTableView *list = ui->IdcResultList;
    list->setModel(&m_model);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(false);

    QHeaderView *header = list->horizontalHeader();
    header->setSectionsMovable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(0);
    for (int position = 0; position < ResultListModel::kCellCount; ++position)
        header->resizeSection(position, kResultColumns[position].width);
    // A click on a title sorts by that column; the list opens in the statement's order.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    list->setSortingEnabled(true);
    m_model.SetMutedForeground(QVariant::fromValue(list->palette().brush(QPalette::Disabled, QPalette::Text)));

    // Every row has the same height, so a million rows cost nothing to lay out.
    QHeaderView *rows = list->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(qMax(20, list->fontMetrics().height() + 6));
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
    // From the top: the filter band, the list, its status line, the player pane.
    const QRect client = rect();
    ui->FilterBand->setGeometry(client.left(), client.top(), client.width(), kFilterBandHeight);
    const int statusHeight = ui->StatusLine->sizeHint().height() + 4;
    QWidget *pane = PlayerWidget();
    const int paneHeight = pane ? pane->sizeHint().height() : 0;
    const int listHeight = qMax(0, client.height() - kFilterBandHeight - statusHeight - paneHeight);
    int y = client.top() + kFilterBandHeight;
    ui->IdcResultList->setGeometry(client.left(), y, client.width(), listHeight);
    y += listHeight;
    ui->StatusLine->setGeometry(client.left(), y, client.width(), statusHeight);
    if (pane)
        pane->setGeometry(client.left(), y + statusHeight, client.width(), paneHeight);
}

void CDlgQuery::OnFromCheck()
{
    UpdateData(true);
    ui->IdcDateFrom->setEnabled(m_useDateRange);
    ui->IdcDateTo->setEnabled(m_useDateRange);
}

void CDlgQuery::OnFind()
{
    UpdateData(true);
    const QString statement = BuildStatement(m_number, ui->IdcUserName->currentText(), GetDialogText(Ids::TxtAllUsers),
                                             m_remark, m_callType, m_useDateRange, m_dateFrom, m_dateTo);
    FillResultList(statement);
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
    QString text = GetDialogText(Ids::TxtDatabaseDamaged);
    for (const std::uint64_t count : {report.rowsReadable(), report.rowsCounted()}) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"));
        if (at >= 0)
            text.replace(at, 2, countText(count));
    }
    Desktop::current().showMessage(this, Desktop::Icon::Warning, GetDialogText(Ids::TxtErrorCaption), text,
                                   Desktop::Buttons::Ok);
}

void CDlgQuery::StopFill()
{
    m_fillTimer->stop();
    m_model.EndFill();
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
    m_closeRequested = 1;
    if (m_exportRunning == 0) {
        CloseWindow(QDialog::Rejected);
        return;
    }
    // Timer 1, restarted by every further request: the window closes once the export ended.
    m_closeTimer->start();
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
    m_closeTimer->stop();
    StopFill();
#ifdef ORVIK_HAS_PLAYER
    m_player->clear();
#endif
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    QDialog::done(result);
}

void CDlgQuery::OnDatePreset(int index)
{
    if (index < 0 || index >= int(std::size(kDatePresets)))
        return;
    const QDate today = m_today.isValid() ? m_today : QDate::currentDate();
    const auto [from, to] = DatePresetRange(kDatePresets[index], today, QLocale().firstDayOfWeek());
    ui->IdcFromCheck->setChecked(true);
    OnFromCheck();
    ui->IdcDateFrom->setDate(from);
    ui->IdcDateTo->setDate(to);
    // The list shows its prompt again, ready for the next choice.
    ui->DatePresets->setCurrentIndex(-1);
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

    // Built afresh and translated for every display.
    std::unique_ptr<QMenu> popup(CreateRecordListPopup(this));
    MenuRetitler retitler(popup.get());
    g_language.TranslatePopupMenu(retitler, kMenuElement, "PopMenus1");
    const QAction *chosen = popup->exec(list->viewport()->mapToGlobal(position));
    const int command = chosen ? chosen->data().toInt() : 0;
    popup.reset();
    if (row >= m_model.RowCount()) // the list was refilled while the menu was open
        return;

    RecordActions actions(m_db, m_model, g_config, this);
    if (command == Ids::CmdPlayRecord)
        actions.PlayRecording(m_model.CellText(row, ResultListModel::CellFile));
    else if (command == Ids::CmdDelete)
        actions.DeleteRecord(row);
}

#include "app/SearchAllWindow.h"

#include "app/CallList.h"
#include "app/CallListView.h"
#include "app/DlgProgress.h"
#include "app/DlgQuery.h"
#include "app/ListExport.h"
#include "app/QueryForm.h"
#include "app/WindowMemory.h"
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "config/Desktop.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/SharedDatabase.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#endif
#include "app/ListStatistics.h"

#include "ui_DlgQuery.h"

#include <QBoxLayout>
#include <QDir>
#include <QHeaderView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

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

    m_calls = new CallList(this, ui->IdcResultList, ui->StatusLine, &m_model, m_exportRunning, m_closeRequested);
    m_progress = m_calls->Progress();
    m_player = m_calls->Pane();
    // The backup's name first, then the query window's eleven columns.
    int widths[BackupSearchModel::kColumnCount] = {kBackupColumnWidth};
    const auto cellWidths = CDlgQuery::ResultListWidths();
    std::copy(cellWidths.begin(), cellWidths.end(), widths + 1);
    m_calls->SetColumns(QStringList{GetColumnText(Ids::ColSearchBackup)} + CDlgQuery::ResultListTitles(), widths);
    // Only this row's backup is opened, read-write as the query window opens it, for as
    // long as the delete takes.
    m_calls->SetDatabaseFor([this](const QString &backupDir) -> std::shared_ptr<SharedDatabase> {
        auto db = std::make_shared<SharedDatabase>();
        if (!db->db.OpenAccessDatabase(CBackupArray::DatabaseOf(backupDir), QString())) {
            Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                           GetDialogText(Ids::TxtDatabaseOpenFailed), Desktop::Buttons::Ok);
            return nullptr;
        }
        return db;
    });
    m_form->SetUpLayout(this, PlayerWidget());
    m_calls->PlaceDetailPanel(*m_form);
    // Beside "k of n backups searched": a progress bar and Stop, while a search runs; under
    // the list, the backups that could not be searched.
    m_searchProgress = new QProgressBar(this);
    m_searchProgress->setObjectName(QStringLiteral("SearchProgress"));
    m_searchProgress->setMaximumWidth(200);
    m_searchProgress->setTextVisible(false);
    m_stop = new QPushButton(GetDialogText(Ids::TxtStopSearch), this);
    m_stop->setObjectName(QStringLiteral("StopSearch"));
    m_stop->setAutoDefault(false);
    m_form->StatusArea()->addWidget(m_searchProgress);
    m_form->StatusArea()->addWidget(m_stop);
    m_failurePanel = new QListWidget(this);
    m_failurePanel->setObjectName(QStringLiteral("FailurePanel"));
    m_failurePanel->setSelectionMode(QAbstractItemView::NoSelection);
    m_failurePanel->setFocusPolicy(Qt::NoFocus);
    m_failurePanel->hide();
    m_form->ListArea()->addWidget(m_failurePanel);
    connect(m_stop, &QPushButton::clicked, this, &SearchAllWindow::OnStop);
    // The export's statistics option under Export, and the statistics tab over the list.
    m_calls->PlaceExportOption(ui->FilterGrid, 1, 8);
    new ListStatistics(*m_calls, m_form->ListArea(), this);
    WindowMemory::restore(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());

    connect(&m_search, &BackupSearch::BackupSearched, this, &SearchAllWindow::OnBackupSearched);
    connect(ui->IdcFromCheck, &QCheckBox::clicked, this, [this] { m_form->EnableDates(); });
    connect(ui->DatePresets, &QComboBox::activated, this,
            [this](int index) { m_form->ApplyDatePreset(index, m_today.isValid() ? m_today : QDate::currentDate()); });
    connect(ui->IdcFind, &QPushButton::clicked, this, &SearchAllWindow::OnFind);
    connect(ui->IdcExport, &QPushButton::clicked, this, &SearchAllWindow::OnExport);
    connect(ui->IdcResultList, &QAbstractItemView::doubleClicked, m_calls, &CallList::OnListDblClk);
    connect(ui->IdcResultList, &QWidget::customContextMenuRequested, m_calls, &CallList::OnListRightClick);
    UpdateStatusLine();
    UpdateButtons();
}

SearchAllWindow::~SearchAllWindow()
{
    // Nothing waits here: the search and an export still running end by themselves.
    m_search.Stop();
    ui->IdcResultList->setModel(nullptr);
}

QTableView *SearchAllWindow::List() const
{
    return ui->IdcResultList;
}

bool SearchAllWindow::IsSearching() const
{
    return !m_stopped && m_received < m_search.TargetCount();
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
    ui->IdcResultList->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_failurePanel->clear();
    m_failurePanel->hide();
    m_received = 0;
    m_stopped = false;
    std::vector<BackupSearch::Target> targets;
    for (int i = 0; i < m_catalogue.GetCount(); ++i)
        targets.push_back({m_catalogue.GetAt(i)->m_name, m_catalogue.GetAt(i)->m_path});
    m_search.Start(std::move(targets), m_form->Statement());
    m_model.SetSearching(IsSearching());
    UpdateStatusLine();
    UpdateButtons();
}

void SearchAllWindow::StopSearch()
{
    m_search.Stop();
    // The line under the list keeps saying how many were searched.
    m_stopped = true;
    m_model.SetSearching(false);
}

void SearchAllWindow::OnStop()
{
    StopSearch();
    UpdateStatusLine();
    UpdateButtons();
}

void SearchAllWindow::OnBackupSearched(int generation, int index)
{
    if (generation != m_search.Generation() || !IsSearching())
        return;
    ++m_received;
    const BackupSearch::Target &target = m_search.TargetAt(index);
    const BackupSearch::Result &result = m_search.ResultAt(index);
    if (!result.failure.isEmpty()) {
        AddFailure(target.name, target.dir, BackupSearch::FailureTextId(result.failure), result.failure);
    } else {
        if (!result.report.isComplete())
            AddFailure(target.name, target.dir, Ids::TxtFailurePartly, QueryForm::DamageText(result.report));
        m_model.AddBackup(index, target.name, target.dir, m_search.TakeRows(index));
        // The backup column is as wide as the longest name (a width the user chose stays
        // when it is wider).
        QHeaderView *header = ui->IdcResultList->horizontalHeader();
        const int needed = header->fontMetrics().horizontalAdvance(target.name)
                           + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
        if (needed > header->sectionSize(0))
            header->resizeSection(0, needed);
    }
    UpdateStatusLine();
    if (!IsSearching()) {
        m_model.SetSearching(false);
        UpdateButtons();
    }
}

void SearchAllWindow::AddFailure(const QString &name, const QString &dir, int reasonId, const QString &detail)
{
    // In the catalogue's order of their outcomes, the reason in words, the database's own
    // text and the folder in the tooltip.
    auto *line = new QListWidgetItem(QStringLiteral("%1: %2").arg(name, GetDialogText(reasonId)), m_failurePanel);
    line->setToolTip(detail + u'\n' + QDir::toNativeSeparators(dir));
    line->setData(Qt::UserRole, reasonId);
    // As tall as its lines, up to five (then it scrolls).
    const int lines = std::min(m_failurePanel->count(), 5);
    const int lineHeight = std::max(m_failurePanel->sizeHintForRow(0), m_failurePanel->fontMetrics().height());
    m_failurePanel->setFixedHeight(lines * lineHeight + 2 * m_failurePanel->frameWidth() + 2);
    m_failurePanel->show();
}

void SearchAllWindow::UpdateStatusLine()
{
    const int targets = m_search.TargetCount();
    m_calls->SetStatusPrefix(
        targets > 0 ? GetDialogText(Ids::TxtSearchProgress).arg(QString::number(m_received), QString::number(targets))
                    : QString());
    m_searchProgress->setRange(0, std::max(targets, 1));
    m_searchProgress->setValue(m_received);
    m_searchProgress->setVisible(IsSearching());
    m_stop->setVisible(IsSearching());
    m_stop->setEnabled(IsSearching());
}

void SearchAllWindow::UpdateButtons()
{
    // The export takes the rows the list holds: not while more are coming, nor twice.
    ui->IdcExport->setEnabled(m_exportRunning == 0 && !IsSearching());
}

void SearchAllWindow::OnExport()
{
    if (IsSearching())
        return;
    m_calls->StartExport(QStringLiteral("all-backups"), QStringList{GetColumnText(Ids::ColSearchBackup)}, true,
                         [this](bool busy) {
                             ui->IdcFind->setEnabled(!busy);
                             ui->IdcExport->setEnabled(!busy);
                             if (!busy)
                                 UpdateButtons();
                         });
}

void SearchAllWindow::accept()
{
    // Enter clicks Find, the default button; the window stays.
}

void SearchAllWindow::reject()
{
    // Nothing is searched once the window is going; an export still running ends first.
    StopSearch();
    m_calls->Export().RequestClose([this](int result) { CloseWindow(result); });
}

void SearchAllWindow::CloseWindow(int result)
{
    m_calls->Export().StopCloseTimer();
    StopSearch();
    m_calls->ClearPlayer();
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcResultList->horizontalHeader());
    QDialog::done(result);
}

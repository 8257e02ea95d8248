#include "app/ListStatistics.h"

#include "app/CallList.h"
#include "app/CallListView.h"
#include "app/StatisticsView.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "stats/CallStatistics.h"
#include "task/TaskRunner.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

namespace {

// While rows still arrive, the figures are counted again at most this often.
constexpr int kFillingInterval = 1000;
constexpr int kListTab = 0;
constexpr int kStatisticsTab = 1;

} // namespace

ListStatistics::ListStatistics(CallList &calls, QVBoxLayout *listArea, QObject *parent)
    : QObject(parent)
    , m_calls(calls)
    , m_runner(new TaskRunner(this))
    , m_timer(new QTimer(this))
{
    QWidget *list = calls.View();
    QWidget *area = list->parentWidget();

    auto *head = new QWidget(area);
    head->setObjectName(QStringLiteral("StatisticsTabs"));
    auto *row = new QHBoxLayout(head);
    row->setContentsMargins(0, 0, 4, 0);
    m_tabs = new QTabBar(head);
    m_tabs->setDocumentMode(true);
    m_tabs->setDrawBase(false);
    m_tabs->addTab(GetDialogText(Ids::TxtListTab));
    m_tabs->addTab(GetDialogText(Ids::TxtStatsTab));
    row->addWidget(m_tabs);
    row->addStretch(1);
    m_narrowedLine = new QLabel(head);
    m_narrowedLine->setObjectName(QStringLiteral("NarrowedLine"));
    m_narrowedLine->hide();
    row->addWidget(m_narrowedLine);
    m_showAll = new QPushButton(GetDialogText(Ids::TxtStatsShowAll), head);
    m_showAll->setObjectName(QStringLiteral("ShowAllCalls"));
    m_showAll->setAutoDefault(false);
    m_showAll->hide();
    row->addWidget(m_showAll);

    m_view = new StatisticsView(area);
    m_view->hide();
    const int at = listArea->indexOf(list);
    listArea->insertWidget(at, head);
    listArea->insertWidget(at + 2, m_view, 1);

    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &ListStatistics::count);
    connect(m_tabs, &QTabBar::currentChanged, this, &ListStatistics::onTab);
    connect(m_showAll, &QPushButton::clicked, this, &ListStatistics::showAllCalls);
    connect(m_view, &StatisticsView::callsChosen, this, &ListStatistics::showCalls);

    CallListModel &model = calls.Model();
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&model, signal, this, &ListStatistics::markStale);
    connect(&model, &QAbstractItemModel::modelReset, this, &ListStatistics::markStale);
    connect(&model, &QAbstractItemModel::layoutChanged, this, &ListStatistics::markStale);
    connect(&model, &CallListModel::fillEnded, this, &ListStatistics::markStale);
}

ListStatistics::~ListStatistics() = default;

void ListStatistics::onTab(int index)
{
    const bool statistics = index == kStatisticsTab;
    m_calls.View()->setVisible(!statistics);
    m_view->setVisible(statistics);
    if (statistics && m_dirty)
        markStale();
}

void ListStatistics::markStale()
{
    // The narrowing line goes when something else showed every call again.
    if (m_narrowedHere && !m_calls.Model().IsNarrowed()) {
        m_narrowedHere = false;
        m_narrowedLine->hide();
        m_showAll->hide();
    }
    m_dirty = true;
    if (m_tabs->currentIndex() != kStatisticsTab)
        return;
    if (!m_calls.Model().IsFilling())
        m_timer->start(0);
    else if (!m_timer->isActive() && !m_counting)
        m_timer->start(kFillingInterval);
}

void ListStatistics::count()
{
    if (!m_dirty || m_tabs->currentIndex() != kStatisticsTab)
        return;
    m_dirty = false;
    m_counting = true;
    auto rows = std::make_shared<ResultSnapshot>(m_calls.Model().Snapshot());
    m_runner->start([this, rows](const TaskRunner::Request &request) {
        auto statistics = std::make_shared<const CallStatistics>(CallStatistics::fromSnapshot(*rows));
        request.deliver([this, statistics] { counted(statistics); });
    });
}

void ListStatistics::counted(std::shared_ptr<const CallStatistics> statistics)
{
    m_counting = false;
    m_view->showStatistics(std::move(statistics));
    if (m_dirty) {
        // More rows came meanwhile.
        markStale();
        return;
    }
    emit ready();
}

void ListStatistics::showCalls(const CallSelection &selection)
{
    m_calls.Model().Narrow([selection](const ResultRows &rows, int stored) { return selection.matches(rows, stored); });
    m_narrowedHere = true;
    m_narrowedLine->setText(GetDialogText(Ids::TxtStatsNarrowed).arg(describe(selection)));
    m_narrowedLine->show();
    m_showAll->show();
    m_tabs->setCurrentIndex(kListTab);
    m_calls.View()->setFocus();
}

void ListStatistics::showAllCalls()
{
    m_narrowedHere = false;
    m_narrowedLine->hide();
    m_showAll->hide();
    m_calls.Model().Narrow(nullptr);
}

QString ListStatistics::describe(const CallSelection &selection)
{
    const int typeTexts[] = {Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed};
    QString text;
    switch (selection.kind()) {
    case CallSelection::Kind::User:
        return GetDialogText(Ids::TxtStatsUser) + QStringLiteral(": ") + selection.text();
    case CallSelection::Kind::Number:
        return GetDialogText(Ids::TxtStatsNumber) + QStringLiteral(": ") + selection.text();
    case CallSelection::Kind::Period: {
        const qint64 from = selection.fromDay(), to = selection.toDay();
        if (from == to)
            text = CallStatistics::dayText(from);
        else if (from == CallStatistics::monthOf(from) && to == CallStatistics::monthEnd(from))
            text = CallStatistics::monthText(from);
        else
            text = CallStatistics::dayText(from) + QStringLiteral(" – ") + CallStatistics::dayText(to);
        break;
    }
    case CallSelection::Kind::Slot:
        text = QStringLiteral("%1 %2:00–%2:59")
                   .arg(GetDialogText(Ids::TxtStatsMonday + selection.weekday()))
                   .arg(selection.hour(), 2, 10, QLatin1Char('0'));
        break;
    }
    if (selection.type() != CallSelection::kAnyType)
        text += QStringLiteral(", ") + GetDialogText(typeTexts[selection.type()]);
    return text;
}

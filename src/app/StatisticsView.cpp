#include "app/StatisticsView.h"

#include "app/CallHeatMap.h"
#include "app/PeriodChart.h"
#include "app/StatisticsTable.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "stats/CallSelection.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTableWidget>

#include <algorithm>

namespace {

using Grouping = CallStatistics::Grouping;

// A chart over time with more bars than this shows only the periods that had calls.
constexpr std::size_t kMaxContinuousBars = 400;
QString duration(qint64 seconds)
{
    return CellFormat::TotalTalkTime(seconds);
}

QString rate(const CallFigures &figures)
{
    const qint64 perMille = figures.missedPerMille();
    return QStringLiteral("%1.%2 %").arg(perMille / 10).arg(perMille % 10);
}

QLabel *title(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

StatisticsView::StatisticsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatisticsView"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    outer->addWidget(m_pages);

    auto *scroll = new QScrollArea(m_pages);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget(scroll);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(10);

    // The totals: a caption over each value.
    auto *totals = new QGridLayout;
    totals->setHorizontalSpacing(24);
    totals->setVerticalSpacing(0);
    const int captions[] = {Ids::TxtStatsCalls,    Ids::TxtMissed,       Ids::TxtStatsMissedRate, Ids::TxtStatsAnswered,
                            Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsMedian,     Ids::TxtStatsLongest};
    for (int i = 0; i < int(std::size(captions)); ++i) {
        auto *caption = new QLabel(GetDialogText(captions[i]), content);
        caption->setForegroundRole(QPalette::PlaceholderText);
        auto *value = new QLabel(content);
        value->setObjectName(QStringLiteral("Total%1").arg(i));
        QFont font = value->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.4);
        value->setFont(font);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        totals->addWidget(caption, 0, i);
        totals->addWidget(value, 1, i);
        m_totals.push_back(value);
    }
    totals->setColumnStretch(int(std::size(captions)), 1);
    column->addLayout(totals);

    m_chartTitle = title(QString(), content);
    column->addWidget(m_chartTitle);
    m_periods = new PeriodChart(content);
    column->addWidget(m_periods, 1);

    auto *heatHead = new QHBoxLayout;
    heatHead->addWidget(title(GetDialogText(Ids::TxtStatsHeatMap), content));
    m_heatMode = new QComboBox(content);
    m_heatMode->setObjectName(QStringLiteral("HeatMapMode"));
    m_heatMode->addItem(GetDialogText(Ids::TxtStatsHeatAll));
    m_heatMode->addItem(GetDialogText(Ids::TxtStatsHeatMissed));
    heatHead->addWidget(m_heatMode);
    heatHead->addStretch(1);
    column->addLayout(heatHead);
    m_heatMap = new CallHeatMap(content);
    m_heatMap->setObjectName(QStringLiteral("HeatMap"));
    QStringList weekdays;
    for (int id = Ids::TxtStatsMonday; id <= Ids::TxtStatsSunday; ++id)
        weekdays << GetDialogText(id);
    m_heatMap->setTexts(weekdays, GetDialogText(Ids::TxtStatsCalls));
    column->addWidget(m_heatMap);

    auto *tables = new QGridLayout;
    tables->addWidget(title(GetDialogText(Ids::TxtStatsPerUser), content), 0, 0);
    tables->addWidget(title(GetDialogText(Ids::TxtStatsTopNumbers), content), 0, 1);
    m_users = makeStatisticsTable(content, QStringLiteral("UserTable"),
                                  {Ids::TxtStatsUser, Ids::TxtStatsCalls, Ids::TxtMissed, Ids::TxtStatsMissedRate,
                                   Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsLongest});
    m_numbers = makeStatisticsTable(
        content, QStringLiteral("NumberTable"),
        {Ids::TxtStatsNumber, Ids::TxtStatsCalls, Ids::TxtStatsTalkTime, Ids::TxtStatsFirst, Ids::TxtStatsLast});
    tables->addWidget(m_users, 1, 0);
    tables->addWidget(m_numbers, 1, 1);
    column->addLayout(tables);

    auto *hint = new QLabel(GetDialogText(Ids::TxtStatsClickHint), content);
    hint->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(hint);
    scroll->setWidget(content);
    m_pages->addWidget(scroll);

    auto *empty = new QLabel(GetDialogText(Ids::TxtStatsNoCalls), m_pages);
    empty->setObjectName(QStringLiteral("NoCalls"));
    empty->setAlignment(Qt::AlignCenter);
    m_pages->addWidget(empty);
    m_pages->setCurrentIndex(1);

    connect(m_periods, &PeriodChart::barChosen, this, [this](int index, int type) {
        const PeriodBar &bar = m_periods->bars()[std::size_t(index)];
        emit callsChosen(CallSelection::period(bar.fromDay, bar.toDay, type));
    });
    connect(m_heatMode, &QComboBox::currentIndexChanged, this, &StatisticsView::showHeatMap);
    connect(m_heatMap, &CallHeatMap::slotClicked, this, [this](int weekday, int hour) {
        emit callsChosen(CallSelection::slot(weekday, hour, m_heatMode->currentIndex() == 1));
    });
    connect(m_users, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (const QTableWidgetItem *item = m_users->item(row, 0))
            emit callsChosen(CallSelection::user(item->data(Qt::UserRole).toString()));
    });
    connect(m_numbers, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (const QTableWidgetItem *item = m_numbers->item(row, 0))
            emit callsChosen(CallSelection::number(item->data(Qt::UserRole).toString()));
    });
}

StatisticsView::~StatisticsView() = default;

void StatisticsView::showStatistics(std::shared_ptr<const CallStatistics> statistics)
{
    m_statistics = std::move(statistics);
    const bool any = m_statistics && m_statistics->totals().calls > 0;
    m_pages->setCurrentIndex(any ? 0 : 1);
    if (!m_statistics)
        return;
    showTotals();
    showPeriodChart();
    showHeatMap();
    showUsers();
    showNumbers();
}

void StatisticsView::showTotals()
{
    const CallFigures &t = m_statistics->totals();
    const QString values[] = {QString::number(t.calls),
                              QString::number(t.missed),
                              rate(t),
                              QString::number(t.answered()),
                              duration(t.talkSeconds),
                              duration(t.averageSeconds()),
                              duration(m_statistics->medianSeconds()),
                              duration(t.longestSeconds)};
    for (std::size_t i = 0; i < m_totals.size(); ++i)
        m_totals[i]->setText(values[i]);
}

void StatisticsView::showPeriodChart()
{
    m_period = m_statistics->chartPeriod();
    m_chartTitle->setText(GetDialogText(m_period == Grouping::Day    ? Ids::TxtStatsPerDay
                                        : m_period == Grouping::Week ? Ids::TxtStatsPerWeek
                                                                     : Ids::TxtStatsPerMonth));
    const std::vector<CallStatistics::Group> groups = m_statistics->groups(m_period);

    // One bar per period from the first call to the last, those without calls too, so
    // that the bars keep the calendar's spacing.
    std::vector<PeriodBar> bars;
    if (!groups.empty()) {
        const auto next = [this](qint64 day) {
            return m_period == Grouping::Day    ? day + 1
                   : m_period == Grouping::Week ? day + 7
                                                : CallStatistics::monthEnd(day) + 1;
        };
        std::size_t continuous = 0;
        for (qint64 day = groups.front().fromDay; day <= groups.back().fromDay && continuous <= kMaxContinuousBars;
             day = next(day))
            ++continuous;
        if (continuous <= kMaxContinuousBars) {
            std::size_t g = 0;
            for (qint64 day = groups.front().fromDay; day <= groups.back().fromDay; day = next(day)) {
                PeriodBar bar;
                bar.fromDay = day;
                bar.toDay = next(day) - 1;
                if (g < groups.size() && groups[g].fromDay == day)
                    bar.figures = groups[g++].figures;
                bars.push_back(bar);
            }
        } else {
            for (const CallStatistics::Group &group : groups)
                bars.push_back(PeriodBar{group.fromDay, group.toDay, {}, {}, group.figures});
        }
    }
    const bool oneYear =
        bars.empty()
        || CallStatistics::dayText(bars.front().fromDay).left(4) == CallStatistics::dayText(bars.back().toDay).left(4);
    for (PeriodBar &bar : bars) {
        const QString from =
            m_period == Grouping::Month ? CallStatistics::monthText(bar.fromDay) : CallStatistics::dayText(bar.fromDay);
        bar.name =
            m_period == Grouping::Week ? from + QStringLiteral(" – ") + CallStatistics::dayText(bar.toDay) : from;
        bar.label = m_period != Grouping::Month && oneYear ? from.mid(5) : from;
    }
    m_periods->showBars(std::move(bars), m_period);
}

void StatisticsView::showHeatMap()
{
    if (!m_statistics)
        return;
    const bool missed = m_heatMode->currentIndex() == 1;
    CallHeatMap::Counts counts{};
    for (int weekday = 0; weekday < CallStatistics::kWeekdays; ++weekday) {
        for (int hour = 0; hour < CallStatistics::kHours; ++hour) {
            const CallFigures &slot = m_statistics->slot(weekday, hour);
            counts[std::size_t(weekday * CallStatistics::kHours + hour)] = missed ? slot.missed : slot.calls;
        }
    }
    m_heatMap->setTexts({}, GetDialogText(missed ? Ids::TxtStatsHeatMissed : Ids::TxtStatsCalls));
    m_heatMap->setCounts(counts, missed);
}

void StatisticsView::showUsers()
{
    const std::vector<CallStatistics::Group> users = m_statistics->groups(Grouping::User);
    m_users->setSortingEnabled(false);
    m_users->setRowCount(int(users.size()));
    for (int row = 0; row < int(users.size()); ++row) {
        const CallFigures &f = users[std::size_t(row)].figures;
        auto *name = new QTableWidgetItem(users[std::size_t(row)].key);
        name->setData(Qt::UserRole, users[std::size_t(row)].key);
        m_users->setItem(row, 0, name);
        m_users->setItem(row, 1, new NumberItem(QString::number(f.calls), f.calls));
        m_users->setItem(row, 2, new NumberItem(QString::number(f.missed), f.missed));
        m_users->setItem(row, 3, new NumberItem(rate(f), f.missedPerMille()));
        m_users->setItem(row, 4, new NumberItem(duration(f.talkSeconds), f.talkSeconds));
        m_users->setItem(row, 5, new NumberItem(duration(f.averageSeconds()), f.averageSeconds()));
        m_users->setItem(row, 6, new NumberItem(duration(f.longestSeconds), f.longestSeconds));
    }
    // Those with the most calls first; a click on a title sorts by another column.
    m_users->setSortingEnabled(true);
    m_users->sortByColumn(1, Qt::DescendingOrder);
    m_users->resizeColumnsToContents();
}

void StatisticsView::showNumbers()
{
    const std::vector<CallStatistics::Group> numbers = m_statistics->topNumbers(kTopNumbers);
    m_numbers->setRowCount(int(numbers.size()));
    for (int row = 0; row < int(numbers.size()); ++row) {
        const CallFigures &f = numbers[std::size_t(row)].figures;
        auto *number = new QTableWidgetItem(numbers[std::size_t(row)].key);
        number->setData(Qt::UserRole, numbers[std::size_t(row)].key);
        m_numbers->setItem(row, 0, number);
        m_numbers->setItem(row, 1, new NumberItem(QString::number(f.calls), f.calls));
        m_numbers->setItem(row, 2, new NumberItem(duration(f.talkSeconds), f.talkSeconds));
        m_numbers->setItem(row, 3, new QTableWidgetItem(CallStatistics::timeText(f.first)));
        m_numbers->setItem(row, 4, new QTableWidgetItem(CallStatistics::timeText(f.last)));
    }
    m_numbers->resizeColumnsToContents();
}

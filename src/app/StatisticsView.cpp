#include "app/StatisticsView.h"

#include "app/CallHeatMap.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "stats/CallSelection.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QScrollArea>
#include <QStackedBarSeries>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>

namespace {

using Grouping = CallStatistics::Grouping;

// A chart over time with more bars than this shows only the periods that had calls.
constexpr std::size_t kMaxContinuousBars = 400;
// Below this much talk time in a period the second axis counts minutes, from it hours.
constexpr qint64 kHoursFrom = 10 * 3600;

const int kTypeTexts[CallStatistics::kTypes] = {Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed};

// The colours of the call types and of the talk time, for a light and for a dark ground:
// the same hues, lighter on dark.
QColor typeColour(int type, bool dark)
{
    static const QColor light[] = {QColor(0x2f, 0x6f, 0xb3), QColor(0x3a, 0x94, 0x4a), QColor(0xc6, 0x28, 0x28)};
    static const QColor darker[] = {QColor(0x6a, 0xa8, 0xe8), QColor(0x72, 0xc2, 0x7c), QColor(0xef, 0x6b, 0x67)};
    return (dark ? darker : light)[type];
}

QColor talkColour(bool dark)
{
    return dark ? QColor(0xf5, 0xb8, 0x4a) : QColor(0xd9, 0x8a, 0x00);
}

QString duration(qint64 seconds)
{
    return CellFormat::TotalTalkTime(seconds);
}

QString rate(const CallFigures &figures)
{
    const qint64 perMille = figures.missedPerMille();
    return QStringLiteral("%1.%2 %").arg(perMille / 10).arg(perMille % 10);
}

// A table cell that sorts by a number of its own (counts, seconds) rather than by its text.
class NumberItem : public QTableWidgetItem
{
public:
    NumberItem(const QString &text, qint64 value) : QTableWidgetItem(text)
    {
        setData(Qt::UserRole, value);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
    }
};

QTableWidget *makeTable(QWidget *parent, const QString &name, const QList<int> &titles)
{
    auto *table = new QTableWidget(parent);
    table->setObjectName(name);
    QStringList headers;
    for (const int id : titles)
        headers << GetDialogText(id);
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setWordWrap(false);
    // Widths are fitted once the rows are in (resizeColumnsToContents): fitted at every
    // cell set, twenty rows took a twentieth of a second.
    table->horizontalHeader()->setStretchLastSection(true);
    table->setMinimumHeight(180);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->viewport()->setCursor(Qt::PointingHandCursor);
    return table;
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
    m_chartView = new QChartView(content);
    m_chartView->setObjectName(QStringLiteral("PeriodChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(280);
    m_chartView->setCursor(Qt::PointingHandCursor);
    column->addWidget(m_chartView, 1);

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
    m_users = makeTable(content, QStringLiteral("UserTable"),
                        {Ids::TxtStatsUser, Ids::TxtStatsCalls, Ids::TxtMissed, Ids::TxtStatsMissedRate,
                         Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsLongest});
    m_numbers = makeTable(
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
    std::vector<const CallStatistics::Group *> bars;
    m_bars.clear();
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
        std::size_t g = 0;
        if (continuous <= kMaxContinuousBars) {
            for (qint64 day = groups.front().fromDay; day <= groups.back().fromDay; day = next(day)) {
                const bool has = g < groups.size() && groups[g].fromDay == day;
                bars.push_back(has ? &groups[g++] : nullptr);
                const qint64 to = m_period == Grouping::Day    ? day
                                  : m_period == Grouping::Week ? day + 6
                                                               : CallStatistics::monthEnd(day);
                m_bars.emplace_back(day, to);
            }
        } else {
            for (const CallStatistics::Group &group : groups) {
                bars.push_back(&group);
                m_bars.emplace_back(group.fromDay, group.toDay);
            }
        }
    }
    const bool oneYear = m_bars.empty()
                         || CallStatistics::dayText(m_bars.front().first).left(4)
                                == CallStatistics::dayText(m_bars.back().second).left(4);
    m_barNames.clear();
    QStringList categories;
    for (const auto &[from, to] : m_bars) {
        QString name = m_period == Grouping::Month ? CallStatistics::monthText(from) : CallStatistics::dayText(from);
        m_barNames.push_back(m_period == Grouping::Week ? name + QStringLiteral(" – ") + CallStatistics::dayText(to)
                                                        : name);
        categories << (m_period != Grouping::Month && oneYear ? name.mid(5) : name);
    }

    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *series = new QStackedBarSeries(chart);
    qint64 largestCalls = 0, largestTalk = 0;
    for (const CallStatistics::Group *bar : bars) {
        if (bar) {
            largestCalls = std::max(largestCalls, bar->figures.calls);
            largestTalk = std::max(largestTalk, bar->figures.talkSeconds);
        }
    }
    const bool hours = largestTalk >= kHoursFrom;
    for (int type = 0; type < CallStatistics::kTypes; ++type) {
        auto *set = new QBarSet(GetDialogText(kTypeTexts[type]), series);
        set->setObjectName(QStringLiteral("Bars%1").arg(type));
        for (const CallStatistics::Group *bar : bars) {
            const CallFigures f = bar ? bar->figures : CallFigures();
            *set << double(type == 0 ? f.incoming : type == 1 ? f.outgoing : f.missed);
        }
        connect(set, &QBarSet::clicked, this, [this, type](int index) { onBarClicked(type, index); });
        connect(set, &QBarSet::hovered, this,
                [this, type](bool status, int index) { onBarHovered(type, status, index); });
        series->append(set);
        m_sets[std::size_t(type)] = set;
    }
    series->setBarWidth(0.8);
    auto *talk = new QLineSeries(chart);
    talk->setName(GetDialogText(hours ? Ids::TxtStatsTalkHours : Ids::TxtStatsTalkMinutes));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const qint64 seconds = bars[i] ? bars[i]->figures.talkSeconds : 0;
        talk->append(double(i), double(seconds) / (hours ? 3600.0 : 60.0));
    }
    chart->addSeries(series);
    chart->addSeries(talk);

    auto *periods = new QBarCategoryAxis(chart);
    periods->append(categories);
    if (categories.size() > 16)
        periods->setLabelsAngle(-90);
    // No axis titles: the chart's title says what the bars count, the legend what the line
    // is and in which unit (a title of a short axis would be cut in some languages).
    auto *calls = new QValueAxis(chart);
    calls->setRange(0, double(std::max<qint64>(largestCalls, 1)));
    calls->setLabelFormat(QStringLiteral("%d"));
    calls->applyNiceNumbers();
    auto *talkAxis = new QValueAxis(chart);
    talkAxis->setRange(0, std::max(1.0, double(largestTalk) / (hours ? 3600.0 : 60.0)));
    talkAxis->applyNiceNumbers();
    talkAxis->setLabelFormat(talkAxis->max() >= 10 ? QStringLiteral("%.0f") : QStringLiteral("%.1f"));
    talkAxis->setGridLineVisible(false);
    chart->addAxis(periods, Qt::AlignBottom);
    chart->addAxis(calls, Qt::AlignLeft);
    chart->addAxis(talkAxis, Qt::AlignRight);
    series->attachAxis(periods);
    series->attachAxis(calls);
    talk->attachAxis(periods);
    talk->attachAxis(talkAxis);

    QChart *old = m_chartView->chart();
    m_chart = chart;
    m_chartView->setChart(chart);
    // The view lets the chart before go; it goes with its series and axes.
    if (old && old != chart)
        delete old;
    styleChart();
}

void StatisticsView::styleChart()
{
    if (!m_chart)
        return;
    const QPalette &p = palette();
    const bool dark = p.color(QPalette::Window).lightness() < 128;
    const QColor text = p.color(QPalette::WindowText);
    QColor grid = p.color(QPalette::Mid);
    m_chart->setBackgroundBrush(p.brush(QPalette::Base));
    m_chart->setBackgroundPen(QPen(p.color(QPalette::Mid)));
    m_chart->legend()->setLabelColor(text);
    for (QAbstractAxis *axis : m_chart->axes()) {
        axis->setLabelsColor(text);
        axis->setLinePenColor(grid);
        axis->setGridLineColor(grid.lighter(dark ? 80 : 120));
    }
    for (int type = 0; type < CallStatistics::kTypes; ++type) {
        if (QBarSet *set = m_sets[std::size_t(type)]) {
            set->setColor(typeColour(type, dark));
            set->setBorderColor(typeColour(type, dark).darker(dark ? 100 : 115));
        }
    }
    for (QAbstractSeries *series : m_chart->series()) {
        if (auto *line = qobject_cast<QLineSeries *>(series)) {
            QPen pen(talkColour(dark));
            pen.setWidthF(2.0);
            line->setPen(pen);
        }
    }
}

void StatisticsView::onBarClicked(int type, int index)
{
    if (index < 0 || std::size_t(index) >= m_bars.size())
        return;
    emit callsChosen(CallSelection::period(m_bars[std::size_t(index)].first, m_bars[std::size_t(index)].second, type));
}

void StatisticsView::onBarHovered(int type, bool status, int index)
{
    if (!status || index < 0 || std::size_t(index) >= m_bars.size()) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(QCursor::pos(),
                       QStringLiteral("%1\n%2: %3")
                           .arg(m_barNames[std::size_t(index)], GetDialogText(kTypeTexts[type]))
                           .arg(m_sets[std::size_t(type)]->at(index)),
                       m_chartView);
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

void StatisticsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        styleChart();
}

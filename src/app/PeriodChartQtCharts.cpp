// The statistics view's picture over time drawn with Qt Charts: bars stacked by call type,
// the talk time as a line on a second axis.
#include "app/PeriodChart.h"

#include "lang/Ids.h"
#include "lang/Language.h"
#include "stats/CallStatistics.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QEvent>
#include <QLegend>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <array>

namespace {

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

} // namespace

struct PeriodChart::Drawing
{
    QChartView *view = nullptr;
    QChart *chart = nullptr;
    std::array<QBarSet *, CallStatistics::kTypes> sets{};

    // The chart's colours for the palette `p`.
    void style(const QPalette &p);
};

PeriodChart::PeriodChart(QWidget *parent) : QWidget(parent), m_drawing(std::make_unique<Drawing>())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_drawing->view = new QChartView(this);
    m_drawing->view->setObjectName(QStringLiteral("PeriodChart"));
    m_drawing->view->setRenderHint(QPainter::Antialiasing);
    m_drawing->view->setMinimumHeight(280);
    m_drawing->view->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_drawing->view);
}

PeriodChart::~PeriodChart() = default;

void PeriodChart::showBars(std::vector<PeriodBar> bars, CallStatistics::Grouping)
{
    m_bars = std::move(bars);
    QStringList categories;
    qint64 largestCalls = 0, largestTalk = 0;
    for (const PeriodBar &bar : m_bars) {
        categories << bar.label;
        largestCalls = std::max(largestCalls, bar.figures.calls);
        largestTalk = std::max(largestTalk, bar.figures.talkSeconds);
    }
    const bool hours = largestTalk >= kHoursFrom;

    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *series = new QStackedBarSeries(chart);
    for (int type = 0; type < CallStatistics::kTypes; ++type) {
        auto *set = new QBarSet(GetDialogText(kTypeTexts[type]), series);
        set->setObjectName(QStringLiteral("Bars%1").arg(type));
        for (const PeriodBar &bar : m_bars)
            *set << double(bar.figures.ofType(type));
        connect(set, &QBarSet::clicked, this, [this, type](int index) {
            if (index >= 0 && std::size_t(index) < m_bars.size())
                emit barChosen(index, type);
        });
        connect(set, &QBarSet::hovered, this, [this, type, set](bool status, int index) {
            if (!status || index < 0 || std::size_t(index) >= m_bars.size()) {
                QToolTip::hideText();
                return;
            }
            QToolTip::showText(QCursor::pos(),
                               QStringLiteral("%1\n%2: %3")
                                   .arg(m_bars[std::size_t(index)].name, GetDialogText(kTypeTexts[type]))
                                   .arg(set->at(index)),
                               m_drawing->view);
        });
        series->append(set);
        m_drawing->sets[std::size_t(type)] = set;
    }
    series->setBarWidth(0.8);
    auto *talk = new QLineSeries(chart);
    talk->setName(GetDialogText(hours ? Ids::TxtStatsTalkHours : Ids::TxtStatsTalkMinutes));
    for (std::size_t i = 0; i < m_bars.size(); ++i)
        talk->append(double(i), double(m_bars[i].figures.talkSeconds) / (hours ? 3600.0 : 60.0));
    chart->addSeries(series);
    chart->addSeries(talk);

    auto *periods = new QBarCategoryAxis(chart);
    periods->append(categories);
    if (categories.size() > 16)
        periods->setLabelsAngle(-90);
    // No axis titles: the view's title says what the bars count, the legend what the line
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

    QChart *old = m_drawing->view->chart();
    m_drawing->chart = chart;
    m_drawing->view->setChart(chart);
    // The view lets the chart before go; it goes with its series and axes.
    if (old && old != chart)
        delete old;
    m_drawing->style(palette());
}

void PeriodChart::Drawing::style(const QPalette &p)
{
    if (!chart)
        return;
    const bool dark = p.color(QPalette::Window).lightness() < 128;
    const QColor text = p.color(QPalette::WindowText);
    QColor grid = p.color(QPalette::Mid);
    chart->setBackgroundBrush(p.brush(QPalette::Base));
    chart->setBackgroundPen(QPen(p.color(QPalette::Mid)));
    chart->legend()->setLabelColor(text);
    for (QAbstractAxis *axis : chart->axes()) {
        axis->setLabelsColor(text);
        axis->setLinePenColor(grid);
        axis->setGridLineColor(grid.lighter(dark ? 80 : 120));
    }
    for (int type = 0; type < CallStatistics::kTypes; ++type) {
        if (QBarSet *set = sets[std::size_t(type)]) {
            set->setColor(typeColour(type, dark));
            set->setBorderColor(typeColour(type, dark).darker(dark ? 100 : 115));
        }
    }
    for (QAbstractSeries *series : chart->series()) {
        if (auto *line = qobject_cast<QLineSeries *>(series)) {
            QPen pen(talkColour(dark));
            pen.setWidthF(2.0);
            line->setPen(pen);
        }
    }
}

double PeriodChart::shownCount(int index, int type) const
{
    const QBarSet *set = m_drawing->sets[std::size_t(type)];
    return set ? set->at(index) : 0.0;
}

QWidget *PeriodChart::clickTarget() const
{
    return m_drawing->view->viewport();
}

QPoint PeriodChart::pointOf(int index, int type) const
{
    // The middle of that type's part of the stacked bar.
    const CallFigures &f = m_bars[std::size_t(index)].figures;
    double below = 0;
    for (int t = 0; t < type; ++t)
        below += double(f.ofType(t));
    const QPointF value(index, below + double(f.ofType(type)) / 2);
    QAbstractSeries *series = m_drawing->chart ? m_drawing->chart->series().value(0) : nullptr;
    if (!series)
        return {};
    return m_drawing->view->mapFromScene(m_drawing->chart->mapToPosition(value, series));
}

void PeriodChart::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        m_drawing->style(palette());
}

#pragma once

#include "stats/CallStatistics.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// One period of the statistics view's picture over time: a day, a week or a month.
struct PeriodBar
{
    qint64 fromDay = 0; // the days it covers, as CallStatistics counts them
    qint64 toDay = 0;
    QString name;  // in full, for a tooltip ("2009-12-07 – 2009-12-13")
    QString label; // under the bar, short when all periods are in one year
    CallFigures figures;
};

// The calls of each period, by call type, with the talk time. Where Qt Charts is built in,
// a chart of bars stacked by call type with the talk time as a line on a second axis
// (PeriodChartQtCharts.cpp); without it, the same figures as a table with a row a period
// (PeriodChartTable.cpp). Either way a click on the calls of one type in one period asks
// for them (barChosen).
class PeriodChart : public QWidget
{
    Q_OBJECT

public:
    explicit PeriodChart(QWidget *parent = nullptr);
    ~PeriodChart() override;

    void showBars(std::vector<PeriodBar> bars, CallStatistics::Grouping period);
    const std::vector<PeriodBar> &bars() const { return m_bars; }

    // What tests look at and click: the count shown for `type` (0 incoming, 1 outgoing,
    // 2 missed) in bar `index`, the widget that takes the clicks, and where in it a click
    // chooses that part of that bar.
    double shownCount(int index, int type) const;
    QWidget *clickTarget() const;
    QPoint pointOf(int index, int type) const;

signals:
    // `type` is CallSelection::kAnyType when the click chose the whole period.
    void barChosen(int index, int type);

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Drawing;
    std::unique_ptr<Drawing> m_drawing;
    std::vector<PeriodBar> m_bars;
};

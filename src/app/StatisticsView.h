#pragma once

#include "stats/CallStatistics.h"

#include <QWidget>

#include <array>
#include <memory>
#include <utility>
#include <vector>

class CallHeatMap;
class CallSelection;
class QBarSet;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QStackedWidget;
class QTableWidget;

// The statistics of the calls listed, at a glance: the totals on one line, the calls of
// each day (or week, or month, when the calls span more) as bars stacked by call type with
// the talk time as a line on a second axis, the calls (or missed calls) of each hour of
// each weekday as a grid, and tables of the calls per user and of the most frequent
// numbers. Every bar, square and table row stands for calls: a click on one asks for them
// (callsChosen), and the window narrows its list to them.
//
// It only shows figures computed elsewhere (CallStatistics, on a worker): building the
// charts from them takes a few milliseconds whatever the number of calls. The colours
// follow the palette, light or dark, and change with it.
class StatisticsView : public QWidget
{
    Q_OBJECT

public:
    // How many numbers the table of the most frequent ones lists.
    static constexpr int kTopNumbers = 20;

    explicit StatisticsView(QWidget *parent = nullptr);
    ~StatisticsView() override;

    void showStatistics(std::shared_ptr<const CallStatistics> statistics);
    // The figures shown (null before the first).
    const CallStatistics *statistics() const { return m_statistics.get(); }

    // What tests and screenshots look at: the chart over time, its bars of one call type
    // (0 incoming, 1 outgoing, 2 missed) and the days each bar covers, the grid, the tables.
    QChartView *periodChart() const { return m_chartView; }
    QBarSet *typeBars(int type) const { return m_sets[std::size_t(type)]; }
    const std::vector<std::pair<qint64, qint64>> &barDays() const { return m_bars; }
    CallHeatMap *heatMap() const { return m_heatMap; }
    QComboBox *heatMapMode() const { return m_heatMode; }
    QTableWidget *userTable() const { return m_users; }
    QTableWidget *numberTable() const { return m_numbers; }

signals:
    void callsChosen(const CallSelection &selection);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showTotals();
    void showPeriodChart();
    void showHeatMap();
    void showUsers();
    void showNumbers();
    // The chart's colours for the palette now in use.
    void styleChart();
    void onBarClicked(int type, int index);
    void onBarHovered(int type, bool status, int index);

    std::shared_ptr<const CallStatistics> m_statistics;
    QStackedWidget *m_pages = nullptr;
    std::vector<QLabel *> m_totals; // the values of the totals line
    QLabel *m_chartTitle = nullptr;
    QChartView *m_chartView = nullptr;
    QChart *m_chart = nullptr;
    std::array<QBarSet *, CallStatistics::kTypes> m_sets{};
    std::vector<std::pair<qint64, qint64>> m_bars; // the days of each bar
    std::vector<QString> m_barNames;
    CallStatistics::Grouping m_period = CallStatistics::Grouping::Day;
    CallHeatMap *m_heatMap = nullptr;
    QComboBox *m_heatMode = nullptr;
    QTableWidget *m_users = nullptr;
    QTableWidget *m_numbers = nullptr;
};

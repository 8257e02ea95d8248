#pragma once

#include "stats/CallStatistics.h"

#include <QWidget>

#include <memory>

class CallHeatMap;
class CallSelection;
class PeriodChart;
class QComboBox;
class QLabel;
class QStackedWidget;
class QTableWidget;

// The statistics of the calls listed, at a glance: the totals on one line, the calls of
// each day (or week, or month, when the calls span more) by call type with their talk time
// (PeriodChart), the calls (or missed calls) of each hour of each weekday as a grid, and
// tables of the calls per user and of the most frequent numbers. Every bar, square and
// table row stands for calls: a click on one asks for them (callsChosen), and the window
// narrows its list to them.
//
// It only shows figures computed elsewhere (CallStatistics, on a worker): building the
// picture from them takes a few milliseconds whatever the number of calls. The colours
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

    // What tests and screenshots look at: the picture over time, the grid, the tables.
    PeriodChart *periodChart() const { return m_periods; }
    CallHeatMap *heatMap() const { return m_heatMap; }
    QComboBox *heatMapMode() const { return m_heatMode; }
    QTableWidget *userTable() const { return m_users; }
    QTableWidget *numberTable() const { return m_numbers; }

signals:
    void callsChosen(const CallSelection &selection);

private:
    void showTotals();
    void showPeriodChart();
    void showHeatMap();
    void showUsers();
    void showNumbers();

    std::shared_ptr<const CallStatistics> m_statistics;
    QStackedWidget *m_pages = nullptr;
    std::vector<QLabel *> m_totals; // the values of the totals line
    QLabel *m_chartTitle = nullptr;
    PeriodChart *m_periods = nullptr;
    CallStatistics::Grouping m_period = CallStatistics::Grouping::Day;
    CallHeatMap *m_heatMap = nullptr;
    QComboBox *m_heatMode = nullptr;
    QTableWidget *m_users = nullptr;
    QTableWidget *m_numbers = nullptr;
};

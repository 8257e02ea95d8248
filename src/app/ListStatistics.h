#pragma once

#include "stats/CallSelection.h"

#include <QObject>
#include <QString>

#include <memory>

class CallList;
class CallStatistics;
class QLabel;
class QPushButton;
class QTabBar;
class QTimer;
class QVBoxLayout;
class StatisticsView;
class TaskRunner;

// The statistics beside a window's list: two tabs over the list, "Calls" and "Statistics",
// the second showing the StatisticsView in the list's place (the filter band, the status
// line and the player pane stay). The figures are those of the rows the list shows: after
// a Find, a narrowing or a delete they are counted again, from a snapshot of the rows, on a
// worker (never on the window's thread); while rows still arrive at most once a second,
// at once when the last have come. Nothing is counted while the list's tab is shown.
//
// A click on a bar, a square or a table row narrows the list to the calls behind it and
// shows the list: the line beside the tabs says what it shows, with a button that shows
// all calls again.
class ListStatistics : public QObject
{
    Q_OBJECT

public:
    // Places the tabs, the view and the narrowing line in `listArea` around the list's view.
    ListStatistics(CallList &calls, QVBoxLayout *listArea, QObject *parent);
    ~ListStatistics() override;

    StatisticsView *view() const { return m_view; }
    QTabBar *tabs() const { return m_tabs; }
    // Whether the figures shown are those of the rows listed now.
    bool isCurrent() const { return !m_dirty && !m_counting; }
    // Narrows the list to the calls of `selection` and shows the list.
    void showCalls(const CallSelection &selection);
    // Shows every call again.
    void showAllCalls();
    // What the narrowing line says of a selection: "2009-12-05, Missed".
    static QString describe(const CallSelection &selection);

signals:
    // The view shows the figures of the rows listed now.
    void ready();

private:
    void onTab(int index);
    // The rows changed: the figures are counted again when the view is shown.
    void markStale();
    void count();
    void counted(std::shared_ptr<const CallStatistics> statistics);

    CallList &m_calls;
    QTabBar *m_tabs = nullptr;
    QLabel *m_narrowedLine = nullptr;
    QPushButton *m_showAll = nullptr;
    StatisticsView *m_view = nullptr;
    TaskRunner *m_runner = nullptr;
    QTimer *m_timer = nullptr;
    bool m_dirty = true;
    bool m_counting = false;
    bool m_narrowedHere = false;
};

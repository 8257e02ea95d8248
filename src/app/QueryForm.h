#pragma once

#include <QString>

class QDate;
class ScanReport;
class QRect;
class QTableView;
class QWidget;
class QHBoxLayout;
class QVBoxLayout;

namespace Ui {
class CDlgQuery;
}

// What the query window and the search window share of their form (DlgQuery.ui): the
// filter band on top with its texts, the date presets and the statement Find builds from
// it, the list's set-up, and the layout of band, list, status line and player pane.
class QueryForm
{
public:
    explicit QueryForm(Ui::CDlgQuery &ui) : m_ui(ui) {}

    // After setupUi: a resizable top-level window with the program's icon, and dates shown
    // in the locale's short format.
    void SetUpWindow(QWidget *window) const;
    // The texts of the labels and buttons, the date presets, the call types and the
    // all-users entry (the caption is the window's own).
    void SetTexts() const;
    // The statement Find builds from the filter as the controls show it now.
    QString Statement() const;
    // The "from" check box enables or disables both date pickers.
    void EnableDates() const;
    // Sets both dates to date preset `index` counted from `today` and ticks the check box.
    void ApplyDatePreset(int index, const QDate &today) const;
    // Lays the window out, from the top: the filter band (70 pixels), then a splitter whose
    // upper part holds the list with its status line under it (ListArea()) and whose lower
    // part holds the player pane (PaneArea(); absent when `pane` is null), which the user
    // can make taller.
    void SetUpLayout(QWidget *window, QWidget *pane);
    // The column that holds the list and its status line, for what goes above or under them.
    QVBoxLayout *ListArea() const { return m_listArea; }
    // The row that holds the pane, for what goes beside it; null without a pane.
    QHBoxLayout *PaneArea() const { return m_paneArea; }
    // Grid, whole-row single selection, movable left-aligned titles, `widths` by column,
    // and rows of one fixed height (a million rows cost nothing to lay out).
    static void SetUpList(QTableView *list, const int *widths, int columns);
    // Ids::TxtDatabaseDamaged with the counts of a table that could not be read whole.
    static QString DamageText(const ScanReport &report);

private:
    Ui::CDlgQuery &m_ui;
    QVBoxLayout *m_listArea = nullptr;
    QHBoxLayout *m_paneArea = nullptr;
};

#pragma once

#include <QString>

class QDate;
class ScanReport;
class QRect;
class QTableView;
class QWidget;

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
    // From the top: the filter band (70 pixels), the list, its status line, the pane (may be null).
    void Layout(const QRect &client, QWidget *pane) const;
    // Grid, whole-row single selection, movable left-aligned titles, `widths` by column,
    // and rows of one fixed height (a million rows cost nothing to lay out).
    static void SetUpList(QTableView *list, const int *widths, int columns);
    // Ids::TxtDatabaseDamaged with the counts of a table that could not be read whole.
    static QString DamageText(const ScanReport &report);

private:
    Ui::CDlgQuery &m_ui;
};

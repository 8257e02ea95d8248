#pragma once

#include <QString>

class QDate;
class ScanReport;
class QRect;
class QTableView;
class QWidget;
class QHBoxLayout;
class QHeaderView;
class QLineEdit;
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

    // How the date pickers show a date: as the list's start times do.
    static constexpr char kDateFormat[] = "yyyy-MM-dd";

    // After setupUi: a resizable top-level window with the program's icon, and dates shown
    // as kDateFormat.
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
    // Lays the window out, from the top: the filter band (70 pixels, more only where the
    // texts need it), then a splitter whose upper part holds the filter box, the list and
    // its status line (ListArea()) and whose lower
    // part holds the player pane (PaneArea(); absent when `pane` is null), which the user
    // can make taller.
    void SetUpLayout(QWidget *window, QWidget *pane);
    // The column that holds the filter box, the list and its status line, for what goes
    // above or under them.
    QVBoxLayout *ListArea() const { return m_listArea; }
    // The row of the status line, for what goes beside it.
    QHBoxLayout *StatusArea() const { return m_statusArea; }
    // The filter box above the list (ListNarrower), made by SetUpLayout.
    QLineEdit *NarrowBox() const { return m_narrowBox; }
    // The row that holds the pane, for what goes beside it; null without a pane.
    QHBoxLayout *PaneArea() const { return m_paneArea; }
    // Grid, whole-row single selection, movable left-aligned titles, `widths` by column
    // (widened where a title would be cut; a width of 0 hides the column), the last column
    // shown stretching to the window's width, and rows of one fixed height (a million rows
    // cost nothing to lay out).
    static void SetUpList(QTableView *list, const int *widths, int columns);
    // The width section `section` of `header` needs to show its whole title.
    static int TitleWidth(const QHeaderView *header, int section);
    // Widens every column shown whose title would be cut.
    static void WidenForTitles(QHeaderView *header);
    // Ids::TxtDatabaseDamaged with the counts of a table that could not be read whole.
    static QString DamageText(const ScanReport &report);

private:
    Ui::CDlgQuery &m_ui;
    QVBoxLayout *m_listArea = nullptr;
    QHBoxLayout *m_paneArea = nullptr;
    QHBoxLayout *m_statusArea = nullptr;
    QLineEdit *m_narrowBox = nullptr;
};

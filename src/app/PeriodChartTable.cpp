// The statistics view's picture over time where Qt Charts is not built in: a table with a
// row a period (its calls, of each type, and its talk time). A click on a count of one
// type chooses those calls; anywhere else in the row, all the period's calls.
#include "app/PeriodChart.h"

#include "app/StatisticsTable.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "stats/CallSelection.h"

#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The table's columns: the period, its calls, then one for each call type, then its talk time.
constexpr int kFirstTypeColumn = 2;

} // namespace

struct PeriodChart::Drawing
{
    QTableWidget *table = nullptr;
};

PeriodChart::PeriodChart(QWidget *parent) : QWidget(parent), m_drawing(std::make_unique<Drawing>())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_drawing->table = makeStatisticsTable(this, QStringLiteral("PeriodTable"),
                                           {Ids::TxtStatsDay, Ids::TxtStatsCalls, Ids::TxtIncoming, Ids::TxtOutgoing,
                                            Ids::TxtMissed, Ids::TxtStatsTalkTime});
    m_drawing->table->setMinimumHeight(280);
    layout->addWidget(m_drawing->table);
    connect(m_drawing->table, &QTableWidget::cellClicked, this, [this](int row, int column) {
        const int type = column - kFirstTypeColumn;
        emit barChosen(row, type >= 0 && type < CallStatistics::kTypes ? type : CallSelection::kAnyType);
    });
}

PeriodChart::~PeriodChart() = default;

void PeriodChart::showBars(std::vector<PeriodBar> bars, CallStatistics::Grouping period)
{
    m_bars = std::move(bars);
    QTableWidget *table = m_drawing->table;
    table->horizontalHeaderItem(0)->setText(GetDialogText(period == CallStatistics::Grouping::Day ? Ids::TxtStatsDay
                                                          : period == CallStatistics::Grouping::Week
                                                              ? Ids::TxtStatsWeek
                                                              : Ids::TxtStatsMonth));
    table->setRowCount(int(m_bars.size()));
    for (int row = 0; row < int(m_bars.size()); ++row) {
        const PeriodBar &bar = m_bars[std::size_t(row)];
        const CallFigures &f = bar.figures;
        table->setItem(row, 0, new QTableWidgetItem(bar.name));
        table->setItem(row, 1, new NumberItem(QString::number(f.calls), f.calls));
        for (int type = 0; type < CallStatistics::kTypes; ++type)
            table->setItem(row, kFirstTypeColumn + type,
                           new NumberItem(QString::number(f.ofType(type)), f.ofType(type)));
        table->setItem(row, kFirstTypeColumn + CallStatistics::kTypes,
                       new NumberItem(CellFormat::TotalTalkTime(f.talkSeconds), f.talkSeconds));
    }
    table->resizeColumnsToContents();
}

double PeriodChart::shownCount(int index, int type) const
{
    const QTableWidgetItem *item = m_drawing->table->item(index, kFirstTypeColumn + type);
    return item ? item->text().toDouble() : 0.0;
}

QWidget *PeriodChart::clickTarget() const
{
    return m_drawing->table->viewport();
}

QPoint PeriodChart::pointOf(int index, int type) const
{
    QTableWidget *table = m_drawing->table;
    table->scrollToItem(table->item(index, kFirstTypeColumn + type));
    return table->visualItemRect(table->item(index, kFirstTypeColumn + type)).center();
}

void PeriodChart::changeEvent(QEvent *event)
{
    // A table takes its colours from the palette as it paints: nothing to restyle.
    QWidget::changeEvent(event);
}

#include "app/StatisticsTable.h"

#include "lang/Language.h"

#include <QHeaderView>
#include <QTableWidget>

NumberItem::NumberItem(const QString &text, qint64 value) : QTableWidgetItem(text)
{
    setData(Qt::UserRole, value);
    setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

bool NumberItem::operator<(const QTableWidgetItem &other) const
{
    return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
}

QTableWidget *makeStatisticsTable(QWidget *parent, const QString &name, const QList<int> &titles)
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

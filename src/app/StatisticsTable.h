#pragma once

#include <QList>
#include <QTableWidgetItem>

class QTableWidget;
class QWidget;

// The tables of the statistics view: read-only, a row selected whole, one line a row, the
// titles from the language file (text ids), the last column stretched.
QTableWidget *makeStatisticsTable(QWidget *parent, const QString &name, const QList<int> &titles);

// A table cell that sorts by a number of its own (counts, seconds) rather than by its text.
class NumberItem : public QTableWidgetItem
{
public:
    NumberItem(const QString &text, qint64 value);
    bool operator<(const QTableWidgetItem &other) const override;
};

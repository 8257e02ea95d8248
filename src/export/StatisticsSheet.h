#pragma once

#include "export/WorkbookWriter.h"

#include <QString>

#include <vector>

class CallStatistics;

// The sheet "Statistics" that the export adds after the list's sheet when asked: the
// tables of the statistics view, one under the other, each under its title and its header
// row: the totals, the calls per day, the calls by weekday and hour, the calls per user and
// the most frequent numbers. Texts come from the language file; times are written as the
// list writes them, talk times as hours, minutes and seconds.
class StatisticsSheet
{
public:
    // The sheet's name (the same in every language, for whoever reads the workbook back).
    static QString name();
    // How many numbers the sheet lists, those with the most calls first.
    static constexpr int kTopNumbers = 100;

    static std::vector<WorkbookWriter::SheetRow> rows(const CallStatistics &statistics);
    static std::vector<double> columnWidths();
};

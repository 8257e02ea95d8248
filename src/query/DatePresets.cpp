#include "query/DatePresets.h"

std::pair<QDate, QDate> DatePresetRange(DatePreset preset, const QDate &today, Qt::DayOfWeek firstDayOfWeek)
{
    const QDate weekStart = today.addDays(-((today.dayOfWeek() - int(firstDayOfWeek) + 7) % 7));
    const QDate monthStart(today.year(), today.month(), 1);
    switch (preset) {
    case DatePreset::Today:
        return {today, today};
    case DatePreset::Yesterday:
        return {today.addDays(-1), today.addDays(-1)};
    case DatePreset::ThisWeek:
        return {weekStart, weekStart.addDays(6)};
    case DatePreset::LastWeek:
        return {weekStart.addDays(-7), weekStart.addDays(-1)};
    case DatePreset::ThisMonth:
        return {monthStart, monthStart.addMonths(1).addDays(-1)};
    case DatePreset::LastMonth:
        return {monthStart.addMonths(-1), monthStart.addDays(-1)};
    }
    return {today, today};
}

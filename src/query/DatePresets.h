#pragma once

#include <QDate>

#include <utility>

// The date ranges the query window offers beside its date pickers, counted from a given
// day so that they can be checked against any "today". Weeks begin on the locale's first
// day of the week; every range spans whole days, both ends included.
enum class DatePreset { Today, Yesterday, ThisWeek, LastWeek, ThisMonth, LastMonth };

constexpr DatePreset kDatePresets[] = {DatePreset::Today,    DatePreset::Yesterday, DatePreset::ThisWeek,
                                       DatePreset::LastWeek, DatePreset::ThisMonth, DatePreset::LastMonth};

// The first and the last day of `preset` as seen on `today`.
std::pair<QDate, QDate> DatePresetRange(DatePreset preset, const QDate &today, Qt::DayOfWeek firstDayOfWeek);

#pragma once
// Jet Date/Time values: a double counting days since 1899-12-30 00:00. The integer part,
// truncated toward zero, is the day; the absolute fraction is the time of day, so -1.25
// is 1899-12-29 06:00. Conversions round the time of day to the nearest second in one
// step (half a second rounds up), which is how Access shows stored values.

#include <QDate>
#include <QString>
#include <QTime>

#include <cstdint>

namespace jet {

class JetDate
{
public:
    // Wall-clock seconds since 1899-12-30 00:00:00. False for NaN, infinities and values
    // more than a billion days away.
    static bool toSeconds(double days, std::int64_t *seconds);
    static bool toDateTime(double days, QDate *date, QTime *time);
    // The same as calendar fields (proleptic Gregorian, astronomical years), without
    // going through QDate.
    struct Fields
    {
        std::int64_t year;
        int month, day, hour, minute, second;
    };
    static bool toFields(double days, Fields *fields);
    // "yyyy-MM-dd HH:mm:ss", or an empty string when toSeconds() fails.
    static QString toString(double days);

    // The value Access stores for a calendar date and time (the inverse of toDateTime).
    static double fromDateTime(const QDate &date, const QTime &time);

    // The calendar arithmetic everything else counts days with (proleptic Gregorian):
    // the days from 1899-12-30 to a date, and the days of a month.
    static std::int64_t daysFromCivil(std::int64_t year, int month, int day);
    static int daysInMonth(std::int64_t year, int month);

    static QDate epoch() { return QDate(1899, 12, 30); }
};

} // namespace jet

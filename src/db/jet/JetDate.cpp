#include "db/jet/JetDate.h"

#include <cmath>

namespace jet {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

bool JetDate::toSeconds(double days, std::int64_t *seconds)
{
    if (!std::isfinite(days) || std::fabs(days) > 1e9)
        return false;
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    const std::int64_t timeOfDay = std::int64_t(std::floor(fraction * double(kSecondsPerDay) + 0.5));
    *seconds = std::int64_t(whole) * kSecondsPerDay + timeOfDay;
    return true;
}

bool JetDate::toDateTime(double days, QDate *date, QTime *time)
{
    std::int64_t seconds = 0;
    if (!toSeconds(days, &seconds))
        return false;
    const std::int64_t day = floorDiv(seconds, kSecondsPerDay);
    const std::int64_t second = seconds - day * kSecondsPerDay;
    *date = epoch().addDays(day);
    *time = QTime(int(second / 3600), int(second / 60 % 60), int(second % 60));
    return true;
}

bool JetDate::toFields(double days, Fields *f)
{
    std::int64_t seconds = 0;
    if (!toSeconds(days, &seconds))
        return false;
    const std::int64_t day = floorDiv(seconds, kSecondsPerDay);
    const std::int64_t second = seconds - day * kSecondsPerDay;
    f->hour = int(second / 3600);
    f->minute = int(second / 60 % 60);
    f->second = int(second % 60);

    // Day number to civil date, counting in 400-year eras that start on March 1st so
    // that the leap day ends each year.
    const std::int64_t z = day - 25569 + 719468; // days since 0000-03-01
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    f->day = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    f->month = int(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    f->year = yearOfEra + era * 400 + (f->month <= 2 ? 1 : 0);
    return true;
}

QString JetDate::toString(double days)
{
    Fields f;
    if (!toFields(days, &f))
        return QString();
    return QString::asprintf("%04lld-%02d-%02d %02d:%02d:%02d", static_cast<long long>(f.year), f.month, f.day, f.hour,
                             f.minute, f.second);
}

std::int64_t JetDate::daysFromCivil(std::int64_t year, int month, int day)
{
    // Counting in 400-year eras that start on March 1st, so that the leap day ends each
    // year: the inverse of the conversion in toFields().
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + 25569; // days since 0000-03-01, then since 1899-12-30
}

int JetDate::daysInMonth(std::int64_t year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

double JetDate::fromDateTime(const QDate &date, const QTime &time)
{
    const double day = double(daysFromCivil(date.year(), date.month(), date.day()));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
    // Before the epoch the time of day counts away from zero, as the day does.
    return day < 0 ? day - fraction : day + fraction;
}

} // namespace jet

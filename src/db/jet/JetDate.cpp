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

double JetDate::fromDateTime(const QDate &date, const QTime &time)
{
    const double day = double(epoch().daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
    // Before the epoch the time of day counts away from zero, as the day does.
    return day < 0 ? day - fraction : day + fraction;
}

} // namespace jet

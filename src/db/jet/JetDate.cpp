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

QString JetDate::toString(double days)
{
    QDate date;
    QTime time;
    if (!toDateTime(days, &date, &time))
        return QString();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second());
}

double JetDate::fromDateTime(const QDate &date, const QTime &time)
{
    const double day = double(epoch().daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / 86400000.0 : 0.0;
    // Before the epoch the time of day counts away from zero, as the day does.
    return day < 0 ? day - fraction : day + fraction;
}

} // namespace jet

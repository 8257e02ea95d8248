#include "db/OleDate.h"

#include <cmath>

namespace {
// The range of OLE automation dates: 100-01-01 to 9999-12-31 23:59:59. Before the epoch
// the fraction counts forward, so all of 100-01-01 lies between -657434 and -657435.
constexpr double kMinDays = -657434.99999;
constexpr double kMaxDays = 2958465.99999;
} // namespace

OleDate OleDate::fromDateTime(const QDateTime &dt)
{
    const qint64 days = QDate(1899, 12, 30).daysTo(dt.date());
    const double time = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return OleDate(days >= 0 ? double(days) + time : double(days) - time);
}

OleDate::Parts OleDate::parts() const
{
    Parts p;
    if (!isValid() || !std::isfinite(m_dt) || m_dt < kMinDays || m_dt > kMaxDays)
        return p;
    double whole = std::trunc(m_dt);
    // Rounded in one step: the time of day in whole seconds.
    qint64 seconds = std::llround(std::fabs(m_dt - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += 1.0; // the next calendar day, also for dates before 1899-12-30
    }
    // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days):
    // plain arithmetic, as this runs for every row of a large result.
    const qint64 z = static_cast<qint64>(whole) - 25569 + 719468; // 25569: 1899-12-30 to 1970-01-01
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    p.day = int(doy - (153 * mp + 2) / 5 + 1);
    p.month = int(mp < 10 ? mp + 3 : mp - 9);
    p.year = int(yoe + era * 400 + (p.month <= 2 ? 1 : 0));
    p.hour = int(seconds / 3600);
    p.minute = int(seconds / 60 % 60);
    p.second = int(seconds % 60);
    return p;
}

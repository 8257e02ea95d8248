#include "db/OleDate.h"

#include <cmath>

namespace {
// The range of OLE automation dates: 100-01-01 to 9999-12-31 23:59:59.
constexpr double kMinDays = -657434.0;
constexpr double kMaxDays = 2958465.99999;
const QDate kEpoch(1899, 12, 30);
} // namespace

OleDate OleDate::fromDateTime(const QDateTime &dt)
{
    const qint64 days = kEpoch.daysTo(dt.date());
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
    const QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    p.year = date.year();
    p.month = date.month();
    p.day = date.day();
    p.hour = int(seconds / 3600);
    p.minute = int(seconds / 60 % 60);
    p.second = int(seconds % 60);
    return p;
}

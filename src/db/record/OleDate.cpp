#include "db/record/OleDate.h"

#include "db/jet/JetDate.h"

#include <cmath>

namespace {
// The range of OLE automation dates: 100-01-01 to 9999-12-31 23:59:59. Before the epoch
// the fraction counts forward, so all of 100-01-01 lies between -657434 and -657435.
constexpr double kMinDays = -657434.99999;
constexpr double kMaxDays = 2958465.99999;
} // namespace

OleDate OleDate::fromDateTime(const QDateTime &dt)
{
    return OleDate(jet::JetDate::fromDateTime(dt.date(), dt.time()));
}

OleDate::Parts OleDate::parts() const
{
    Parts p;
    jet::JetDate::Fields f;
    // The stored day count is the engine's date: its calendar arithmetic serves both.
    if (!isValid() || !std::isfinite(m_dt) || m_dt < kMinDays || m_dt > kMaxDays || !jet::JetDate::toFields(m_dt, &f))
        return p;
    p.year = int(f.year);
    p.month = f.month;
    p.day = f.day;
    p.hour = f.hour;
    p.minute = f.minute;
    p.second = f.second;
    return p;
}

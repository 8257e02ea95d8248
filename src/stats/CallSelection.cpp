#include "stats/CallSelection.h"

#include "query/ResultRows.h"
#include "stats/CallStatistics.h"

namespace {
constexpr int kMissed = 2;
} // namespace

CallSelection CallSelection::period(qint64 fromDay, qint64 toDay, int type)
{
    CallSelection selection;
    selection.m_kind = Kind::Period;
    selection.m_from = fromDay;
    selection.m_to = toDay;
    selection.m_type = type;
    return selection;
}

CallSelection CallSelection::slot(int weekday, int hour, bool missedOnly)
{
    CallSelection selection;
    selection.m_kind = Kind::Slot;
    selection.m_from = weekday;
    selection.m_to = hour;
    selection.m_type = missedOnly ? kMissed : kAnyType;
    return selection;
}

CallSelection CallSelection::user(const QString &name)
{
    CallSelection selection;
    selection.m_kind = Kind::User;
    selection.m_text = name.toUtf8();
    return selection;
}

CallSelection CallSelection::number(const QString &number)
{
    CallSelection selection;
    selection.m_kind = Kind::Number;
    selection.m_text = number.toUtf8();
    return selection;
}

bool CallSelection::matches(const ResultRows &rows, int row) const
{
    switch (m_kind) {
    case Kind::User:
        return rows.NameUtf8(row) == QByteArrayView(m_text);
    case Kind::Number:
        return rows.PhoneUtf8(row) == QByteArrayView(m_text);
    case Kind::Period:
    case Kind::Slot:
        break;
    }
    if (m_type != kAnyType && rows.CallType(row) != m_type)
        return false;
    qint64 start = 0;
    if (!CallStatistics::startSeconds(rows, row, &start))
        return false;
    const qint64 day = CallStatistics::dayOf(start);
    if (m_kind == Kind::Period)
        return day >= m_from && day <= m_to;
    return CallStatistics::weekdayOf(day) == m_from && CallStatistics::hourOf(start) == m_to;
}

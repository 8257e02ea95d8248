#include "stats/CallStatistics.h"

#include "db/jet/JetDate.h"
#include "db/record/OleDate.h"
#include "query/CellFormat.h"
#include "query/ResultRows.h"
#include "query/ResultSnapshot.h"
#include "query/TextOrder.h"
#include "task/CancelToken.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kSecondsPerDay = 86400;
// The dates the list can show (OleDate::parts): 100-01-01 to 9999-12-31 23:59:59. A start
// outside them shows as -01-... and counts as undated here too.
constexpr double kMinDays = -657434.99999;
constexpr double kMaxDays = 2958465.99999;

qint64 FloorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0))
        --q;
    return q;
}

QDate DateOf(qint64 day)
{
    return jet::JetDate::epoch().addDays(day);
}

const char *const kTypeKeys[CallStatistics::kTypes] = {"incoming", "outgoing", "missed"};

} // namespace

bool CallStatistics::StartSeconds(const ResultRows &rows, int row, qint64 *seconds)
{
    const double days = rows.StartOrderKey(row);
    if (!std::isfinite(days) || days < kMinDays || days > kMaxDays)
        return false;
    std::int64_t s = 0;
    if (!jet::JetDate::toSeconds(days, &s))
        return false;
    *seconds = s;
    return true;
}

qint64 CallStatistics::DayOf(qint64 seconds)
{
    return FloorDiv(seconds, kSecondsPerDay);
}

int CallStatistics::HourOf(qint64 seconds)
{
    return int((seconds - DayOf(seconds) * kSecondsPerDay) / 3600);
}

int CallStatistics::WeekdayOf(qint64 day)
{
    // Day 0, 1899-12-30, was a Saturday.
    return int(((day % 7) + 7 + 5) % 7);
}

qint64 CallStatistics::WeekOf(qint64 day)
{
    return day - WeekdayOf(day);
}

qint64 CallStatistics::MonthOf(qint64 day)
{
    const QDate date = DateOf(day);
    return day - (date.day() - 1);
}

qint64 CallStatistics::MonthEnd(qint64 day)
{
    const QDate date = DateOf(day);
    return day - date.day() + date.daysInMonth();
}

QString CallStatistics::DayText(qint64 day)
{
    return DateOf(day).toString(QStringLiteral("yyyy-MM-dd"));
}

QString CallStatistics::MonthText(qint64 day)
{
    return DateOf(day).toString(QStringLiteral("yyyy-MM"));
}

QString CallStatistics::TimeText(qint64 seconds)
{
    if (seconds == CallFigures::kNoTime)
        return QString();
    // Back to the list's day count: before 1899-12-30 the time of day counts away from zero.
    const qint64 day = DayOf(seconds);
    const double fraction = double(seconds - day * kSecondsPerDay) / double(kSecondsPerDay);
    return CellFormat::StartTime(OleDate(day >= 0 ? double(day) + fraction : double(day) - fraction));
}

CallFigures &CallStatistics::Of(TextFigures &map, QByteArrayView key, CallFigures *&last, QByteArrayView &lastKey)
{
    if (last && key == lastKey)
        return *last;
    const std::string_view text(key.data(), std::size_t(key.size()));
    auto found = map.find(text);
    if (found == map.end())
        found = map.emplace(std::string(text), CallFigures()).first;
    // The key as the map holds it: the row's own text may go before the next row comes.
    lastKey = QByteArrayView(found->first.data(), qsizetype(found->first.size()));
    last = &found->second;
    return found->second;
}

void CallStatistics::Add(const ResultRows &rows, int row)
{
    const int type = rows.CallType(row);
    const qint64 talk = rows.TalkedTime(row);
    qint64 start = CallFigures::kNoTime;
    const bool dated = StartSeconds(rows, row, &start);
    if (!dated) {
        start = CallFigures::kNoTime;
        ++m_undated;
    }
    m_totals.Add(type, talk, start);
    m_types[std::size_t(type)].Add(type, talk, start);
    if (type != 2) {
        if (talk >= 0 && talk < kCountedTalk) {
            if (m_talkCounts.empty())
                m_talkCounts.resize(kCountedTalk);
            ++m_talkCounts[std::size_t(talk)];
        } else {
            m_otherTalks.push_back(talk);
        }
    }
    if (dated) {
        const qint64 day = DayOf(start);
        if (!m_lastDayFigures || day != m_lastDay) {
            m_lastDayFigures = &m_days[day];
            m_lastDay = day;
        }
        m_lastDayFigures->Add(type, talk, start);
        const int hour = int((start - day * kSecondsPerDay) / 3600);
        m_slots[std::size_t(WeekdayOf(day) * kHours + hour)].Add(type, talk, start);
    }
    Of(m_users, rows.NameUtf8(row), m_lastUser, m_lastUserKey).Add(type, talk, start);
    Of(m_numbers, rows.PhoneUtf8(row), m_lastNumber, m_lastNumberKey).Add(type, talk, start);
}

qint64 CallStatistics::NthTalk(qint64 k) const
{
    // The talk times below 0 and from kCountedTalk on are few; they sort around the counts.
    std::vector<qint64> others = m_otherTalks;
    std::sort(others.begin(), others.end());
    const auto negative = qint64(std::lower_bound(others.begin(), others.end(), 0) - others.begin());
    if (k < negative)
        return others[std::size_t(k)];
    k -= negative;
    for (std::size_t seconds = 0; seconds < m_talkCounts.size(); ++seconds) {
        if (k < qint64(m_talkCounts[seconds]))
            return qint64(seconds);
        k -= m_talkCounts[seconds];
    }
    return others[std::size_t(negative + k)];
}

void CallStatistics::Finish()
{
    const qint64 answered = m_totals.Answered();
    if (answered <= 0) {
        m_median = 0;
    } else {
        // The middle talk time; of an even count the mean of the middle two, half a second
        // rounded up.
        const qint64 low = NthTalk((answered - 1) / 2);
        const qint64 high = NthTalk(answered / 2);
        m_median = FloorDiv(low + high + 1, 2);
    }
    m_lastDayFigures = nullptr;
    m_lastUser = nullptr;
    m_lastNumber = nullptr;
}

CallStatistics CallStatistics::Of(const ResultSnapshot &rows)
{
    CallStatistics statistics;
    CancelPoll poll;
    for (int row = 0; row < rows.RowCount(); ++row) {
        poll.step();
        if (rows.IsRemoved(row))
            continue;
        int stored = 0;
        const ResultRows &storage = rows.StoredRow(row, &stored);
        statistics.Add(storage, stored);
    }
    statistics.Finish();
    return statistics;
}

bool CallStatistics::DayRange(qint64 *first, qint64 *last) const
{
    if (m_totals.first == CallFigures::kNoTime)
        return false;
    *first = DayOf(m_totals.first);
    *last = DayOf(m_totals.last);
    return true;
}

CallStatistics::Grouping CallStatistics::ChartPeriod() const
{
    qint64 first = 0, last = 0;
    if (!DayRange(&first, &last) || last - first < 62)
        return Grouping::Day;
    return last - first < 371 ? Grouping::Week : Grouping::Month;
}

std::vector<CallStatistics::Group> CallStatistics::TimeGroups(Grouping grouping) const
{
    std::vector<std::pair<qint64, const CallFigures *>> days;
    days.reserve(m_days.size());
    for (const auto &[day, figures] : m_days)
        days.emplace_back(day, &figures);
    std::sort(days.begin(), days.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Group> groups;
    for (const auto &[day, figures] : days) {
        qint64 from = day, to = day;
        if (grouping == Grouping::Week) {
            from = WeekOf(day);
            to = from + 6;
        } else if (grouping == Grouping::Month) {
            from = MonthOf(day);
            to = MonthEnd(day);
        }
        if (groups.empty() || groups.back().fromDay != from) {
            Group group;
            group.key = grouping == Grouping::Month ? MonthText(from) : DayText(from);
            group.fromDay = from;
            group.toDay = to;
            groups.push_back(std::move(group));
        }
        groups.back().figures.Merge(*figures);
    }
    return groups;
}

std::vector<CallStatistics::Group> CallStatistics::TextGroups(const TextFigures &map, Grouping grouping,
                                                              std::size_t count) const
{
    using Entry = const TextFigures::value_type *;
    std::vector<Entry> entries;
    entries.reserve(map.size());
    for (const auto &entry : map)
        entries.push_back(&entry);
    const auto view = [](Entry e) { return QByteArrayView(e->first.data(), qsizetype(e->first.size())); };
    if (grouping == Grouping::User) {
        std::sort(entries.begin(), entries.end(), [&](Entry a, Entry b) {
            const int order = CompareTexts(view(a), view(b));
            return order != 0 ? order < 0 : a->first < b->first;
        });
    } else {
        const auto before = [](Entry a, Entry b) {
            if (a->second.calls != b->second.calls)
                return a->second.calls > b->second.calls;
            if (a->second.talkSeconds != b->second.talkSeconds)
                return a->second.talkSeconds > b->second.talkSeconds;
            return a->first < b->first;
        };
        count = std::min(count, entries.size());
        std::partial_sort(entries.begin(), entries.begin() + std::ptrdiff_t(count), entries.end(), before);
    }
    count = std::min(count, entries.size());
    std::vector<Group> groups(count);
    for (std::size_t i = 0; i < count; ++i) {
        groups[i].key = QString::fromStdString(entries[i]->first);
        groups[i].figures = entries[i]->second;
    }
    return groups;
}

std::vector<CallStatistics::Group> CallStatistics::Groups(Grouping grouping) const
{
    std::vector<Group> groups;
    switch (grouping) {
    case Grouping::Day:
    case Grouping::Week:
    case Grouping::Month:
        return TimeGroups(grouping);
    case Grouping::Hour:
        for (int hour = 0; hour < kHours; ++hour) {
            Group group;
            group.key = QString::number(hour);
            group.index = hour;
            for (int weekday = 0; weekday < kWeekdays; ++weekday)
                group.figures.Merge(Slot(weekday, hour));
            groups.push_back(std::move(group));
        }
        return groups;
    case Grouping::Weekday:
        for (int weekday = 0; weekday < kWeekdays; ++weekday) {
            Group group;
            group.key = QString::number(weekday + 1);
            group.index = weekday;
            for (int hour = 0; hour < kHours; ++hour)
                group.figures.Merge(Slot(weekday, hour));
            groups.push_back(std::move(group));
        }
        return groups;
    case Grouping::User:
        return TextGroups(m_users, grouping, m_users.size());
    case Grouping::Number:
        return TextGroups(m_numbers, grouping, m_numbers.size());
    case Grouping::Type:
        for (int type = 0; type < kTypes; ++type) {
            Group group;
            group.key = QString::fromLatin1(kTypeKeys[type]);
            group.index = type;
            group.figures = m_types[std::size_t(type)];
            groups.push_back(std::move(group));
        }
        return groups;
    }
    return groups;
}

std::vector<CallStatistics::Group> CallStatistics::TopNumbers(int count) const
{
    return TextGroups(m_numbers, Grouping::Number, std::size_t(std::max(count, 0)));
}

#include "stats/CallStatistics.h"

#include "db/jet/JetDate.h"
#include "db/record/OleDate.h"
#include "query/CellFormat.h"
#include "query/ResultRows.h"
#include "query/ResultSnapshot.h"
#include "query/TextOrder.h"
#include "task/CancelToken.h"
#include "task/TaskPool.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kSecondsPerDay = 86400;
// The dates the list can show (OleDate::parts): 100-01-01 to 9999-12-31 23:59:59. A start
// outside them shows as -01-... and counts as undated here too.
constexpr double kMinDays = -657434.99999;
constexpr double kMaxDays = 2958465.99999;

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0))
        --q;
    return q;
}

// The calendar date of a day (days since 1899-12-30), as the engine counts days.
jet::JetDate::Fields dateOf(qint64 day)
{
    jet::JetDate::Fields fields{};
    jet::JetDate::toFields(double(day), &fields);
    return fields;
}

const char *const kTypeKeys[CallStatistics::kTypes] = {"incoming", "outgoing", "missed"};

} // namespace

bool CallStatistics::startSeconds(const ResultRows &rows, int row, qint64 *seconds)
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

qint64 CallStatistics::dayOf(qint64 seconds)
{
    return floorDiv(seconds, kSecondsPerDay);
}

int CallStatistics::hourOf(qint64 seconds)
{
    return int((seconds - dayOf(seconds) * kSecondsPerDay) / 3600);
}

int CallStatistics::weekdayOf(qint64 day)
{
    // Day 0, 1899-12-30, was a Saturday.
    return int(((day % 7) + 7 + 5) % 7);
}

qint64 CallStatistics::weekOf(qint64 day)
{
    return day - weekdayOf(day);
}

qint64 CallStatistics::monthOf(qint64 day)
{
    return day - (dateOf(day).day - 1);
}

qint64 CallStatistics::monthEnd(qint64 day)
{
    const jet::JetDate::Fields date = dateOf(day);
    return day - date.day + jet::JetDate::daysInMonth(date.year, date.month);
}

QString CallStatistics::dayText(qint64 day)
{
    const jet::JetDate::Fields date = dateOf(day);
    return QString::asprintf("%04lld-%02d-%02d", static_cast<long long>(date.year), date.month, date.day);
}

QString CallStatistics::monthText(qint64 day)
{
    const jet::JetDate::Fields date = dateOf(day);
    return QString::asprintf("%04lld-%02d", static_cast<long long>(date.year), date.month);
}

QString CallStatistics::timeText(qint64 seconds)
{
    if (seconds == CallFigures::kNoTime)
        return QString();
    // Back to the list's day count: before 1899-12-30 the time of day counts away from zero.
    const qint64 day = dayOf(seconds);
    const double fraction = double(seconds - day * kSecondsPerDay) / double(kSecondsPerDay);
    return CellFormat::StartTime(OleDate(day >= 0 ? double(day) + fraction : double(day) - fraction));
}

CallFigures &CallStatistics::figuresOf(TextFigures &map, QByteArrayView key, CallFigures *&last,
                                       QByteArrayView &lastKey)
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

void CallStatistics::add(const ResultRows &rows, int row)
{
    const int type = rows.CallType(row);
    const qint64 talk = rows.TalkedTime(row);
    qint64 start = CallFigures::kNoTime;
    const bool dated = startSeconds(rows, row, &start);
    if (!dated) {
        start = CallFigures::kNoTime;
        ++m_undated;
    }
    m_totals.add(type, talk, start);
    m_types[std::size_t(type)].add(type, talk, start);
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
        const qint64 day = dayOf(start);
        if (!m_lastDayFigures || day != m_lastDay) {
            m_lastDayFigures = &m_days[day];
            m_lastDay = day;
        }
        m_lastDayFigures->add(type, talk, start);
        const int hour = int((start - day * kSecondsPerDay) / 3600);
        m_slots[std::size_t(weekdayOf(day) * kHours + hour)].add(type, talk, start);
    }
    figuresOf(m_users, rows.NameUtf8(row), m_lastUser, m_lastUserKey).add(type, talk, start);
    if (m_everyNumber)
        figuresOf(m_numbers, rows.PhoneUtf8(row), m_lastNumber, m_lastNumberKey).add(type, talk, start);
}

qint64 CallStatistics::nthTalk(qint64 k) const
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

void CallStatistics::finish()
{
    const qint64 answered = m_totals.answered();
    if (answered <= 0) {
        m_median = 0;
    } else {
        // The middle talk time; of an even count the mean of the middle two, half a second
        // rounded up.
        const qint64 low = nthTalk((answered - 1) / 2);
        const qint64 high = nthTalk(answered / 2);
        m_median = floorDiv(low + high + 1, 2);
    }
    m_lastDayFigures = nullptr;
    m_lastUser = nullptr;
    m_lastNumber = nullptr;
}

CallStatistics CallStatistics::fromSnapshot(const ResultSnapshot &rows, const std::function<bool(int row)> &counts)
{
    const std::function<bool(int)> counted = counts ? counts : [&rows](int row) { return !rows.IsRemoved(row); };
    CallStatistics statistics;
    std::vector<Group> ranked;
    // The numbers on a second thread while this one counts the rest.
    TaskPool::shared().forEach(2, 2, [&](std::size_t part) {
        if (part == 1) {
            ranked = rankNumbers(rows, counted, kRankedNumbers);
            return;
        }
        CancelPoll poll;
        for (int row = 0; row < rows.RowCount(); ++row) {
            poll.step();
            if (!counted(row))
                continue;
            int stored = 0;
            const ResultRows &storage = rows.StoredRow(row, &stored);
            statistics.add(storage, stored);
        }
    });
    // A part not begun because the request was cancelled meanwhile.
    throwIfCancelled();
    statistics.m_rankedNumbers = std::move(ranked);
    statistics.finish();
    return statistics;
}

namespace {

// Sorts keys: in place, by their top byte into 256 parts, then each part, small enough to
// sort within the cache.
void sortKeys(std::vector<quint64> &keys)
{
    std::array<std::size_t, 257> start{};
    for (const quint64 key : keys)
        ++start[std::size_t(key >> 56) + 1];
    for (std::size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    std::array<std::size_t, 256> next;
    std::copy(start.begin(), start.end() - 1, next.begin());
    for (std::size_t b = 0; b < 256; ++b) {
        while (next[b] < start[b + 1]) {
            const std::size_t d = std::size_t(keys[next[b]] >> 56);
            if (d == b)
                ++next[b];
            else
                std::swap(keys[next[b]], keys[next[d]++]);
        }
    }
    // The parts on every thread free (the other figures' once they are counted): each by its
    // second byte through a buffer the size of the part, then the few keys of each
    // second byte.
    TaskPool::shared().forEach(256, 0, [&](std::size_t b) {
        quint64 *const first = keys.data() + start[b];
        const std::size_t size = start[b + 1] - start[b];
        if (size < 64) {
            std::sort(first, first + size);
            return;
        }
        std::array<std::size_t, 257> at{};
        for (std::size_t i = 0; i < size; ++i)
            ++at[std::size_t(first[i] >> 48 & 0xFF) + 1];
        for (std::size_t d = 1; d < at.size(); ++d)
            at[d] += at[d - 1];
        std::vector<quint64> sorted(size);
        std::array<std::size_t, 256> fill;
        std::copy(at.begin(), at.end() - 1, fill.begin());
        for (std::size_t i = 0; i < size; ++i)
            sorted[fill[std::size_t(first[i] >> 48 & 0xFF)]++] = first[i];
        for (std::size_t d = 0; d < 256; ++d)
            std::sort(sorted.begin() + std::ptrdiff_t(at[d]), sorted.begin() + std::ptrdiff_t(at[d + 1]));
        std::copy(sorted.begin(), sorted.end(), first);
    });
    throwIfCancelled();
}

quint32 hashOf(QByteArrayView text)
{
    return quint32(std::hash<std::string_view>()(std::string_view(text.data(), std::size_t(text.size()))) >> 32);
}

} // namespace

std::vector<CallStatistics::Group>
CallStatistics::rankNumbers(const ResultSnapshot &rows, const std::function<bool(int row)> &counted, std::size_t count)
{
    struct Place
    {
        const ResultRows *rows;
        int at;
    };
    const auto place = [&rows](int row) {
        Place p{nullptr, 0};
        p.rows = &rows.StoredRow(row, &p.at);
        return p;
    };
    const auto phoneOf = [&place](int row) {
        const Place p = place(row);
        return p.rows->PhoneUtf8(p.at);
    };
    const auto add = [](CallFigures &figures, const Place &p) {
        qint64 start = CallFigures::kNoTime;
        if (!startSeconds(*p.rows, p.at, &start))
            start = CallFigures::kNoTime;
        figures.add(p.rows->CallType(p.at), p.rows->TalkedTime(p.at), start);
    };

    // The best `count` numbers found, the worst of them first out: by calls, then talk time
    // (most first), then number.
    struct Candidate
    {
        qint64 calls;
        qint64 talk;
        QByteArrayView number;
        CallFigures figures;
    };
    const auto better = [](const Candidate &a, const Candidate &b) {
        if (a.calls != b.calls)
            return a.calls > b.calls;
        if (a.talk != b.talk)
            return a.talk > b.talk;
        return a.number < b.number;
    };
    std::vector<Candidate> best; // a heap whose top is the worst kept
    const auto offer = [&](Candidate candidate) {
        if (best.size() < count) {
            best.push_back(std::move(candidate));
            std::push_heap(best.begin(), best.end(), better);
        } else if (count > 0 && better(candidate, best.front())) {
            std::pop_heap(best.begin(), best.end(), better);
            best.back() = std::move(candidate);
            std::push_heap(best.begin(), best.end(), better);
        }
    };
    const auto ranked = [&] {
        std::sort(best.begin(), best.end(), better);
        std::vector<Group> groups;
        for (const Candidate &candidate : best) {
            Group group;
            group.key = QString::fromUtf8(candidate.number);
            group.figures = candidate.figures;
            groups.push_back(std::move(group));
        }
        return groups;
    };
    CancelPoll poll;

    // Few numbers (most lists: a backup's customers): each one's figures as the rows come.
    constexpr std::size_t kFewNumbers = 1 << 15;
    {
        std::unordered_map<std::string_view, CallFigures, TextHash> numbers;
        bool few = true;
        for (int row = 0; row < rows.RowCount() && few; ++row) {
            poll.step();
            if (!counted(row))
                continue;
            const Place p = place(row);
            const QByteArrayView phone = p.rows->PhoneUtf8(p.at);
            add(numbers[std::string_view(phone.data(), std::size_t(phone.size()))], p);
            few = numbers.size() <= kFewNumbers;
        }
        if (few) {
            for (const auto &[number, figures] : numbers)
                offer(Candidate{figures.calls, figures.talkSeconds,
                                QByteArrayView(number.data(), qsizetype(number.size())), figures});
            return ranked();
        }
    }

    // Many numbers (up to one a call): the rows sorted by a hash of their number above their
    // place bring each number's rows together, with those of the few other numbers of the
    // same hash. The talk times by place are kept apart, so that most rows are never read
    // again: the calls and talk time of a hash's rows together are never less than those of
    // any one of its numbers, and only a hash that may rank is looked at number by number.
    std::vector<quint64> keys;
    keys.reserve(std::size_t(rows.RowCount()));
    std::vector<qint32> talks(std::size_t(rows.RowCount()));
    for (int row = 0; row < rows.RowCount(); ++row) {
        poll.step();
        if (!counted(row))
            continue;
        const Place p = place(row);
        talks[std::size_t(row)] = p.rows->TalkedTime(p.at);
        keys.push_back(quint64(hashOf(p.rows->PhoneUtf8(p.at))) << 32 | quint32(row));
    }
    sortKeys(keys);
    const auto rowOf = [&keys](std::size_t i) { return int(quint32(keys[i])); };
    for (std::size_t begin = 0; begin < keys.size();) {
        poll.step();
        std::size_t end = begin + 1;
        qint64 talk = talks[std::size_t(rowOf(begin))];
        for (; end < keys.size() && keys[end] >> 32 == keys[begin] >> 32; ++end)
            talk += talks[std::size_t(rowOf(end))];
        const qint64 calls = qint64(end - begin);
        if (best.size() == count && count > 0) {
            const Candidate &worst = best.front();
            if (calls < worst.calls || (calls == worst.calls && talk < worst.talk)) {
                begin = end;
                continue;
            }
        }
        // It may rank: its numbers apart, each with its own figures.
        if (end - begin > 1) {
            std::sort(keys.begin() + std::ptrdiff_t(begin), keys.begin() + std::ptrdiff_t(end),
                      [&](quint64 a, quint64 b) {
                          const QByteArrayView x = phoneOf(int(quint32(a))), y = phoneOf(int(quint32(b)));
                          return x != y ? x < y : a < b;
                      });
        }
        for (std::size_t from = begin; from < end;) {
            Candidate candidate{0, 0, phoneOf(rowOf(from)), CallFigures()};
            std::size_t to = from;
            for (; to < end && (to == from || phoneOf(rowOf(to)) == candidate.number); ++to)
                add(candidate.figures, place(rowOf(to)));
            candidate.calls = candidate.figures.calls;
            candidate.talk = candidate.figures.talkSeconds;
            offer(std::move(candidate));
            from = to;
        }
        begin = end;
    }
    return ranked();
}

bool CallStatistics::dayRange(qint64 *first, qint64 *last) const
{
    if (m_totals.first == CallFigures::kNoTime)
        return false;
    *first = dayOf(m_totals.first);
    *last = dayOf(m_totals.last);
    return true;
}

CallStatistics::Grouping CallStatistics::chartPeriod() const
{
    qint64 first = 0, last = 0;
    if (!dayRange(&first, &last) || last - first < 62)
        return Grouping::Day;
    return last - first < 371 ? Grouping::Week : Grouping::Month;
}

std::vector<CallStatistics::Group> CallStatistics::timeGroups(Grouping grouping) const
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
            from = weekOf(day);
            to = from + 6;
        } else if (grouping == Grouping::Month) {
            from = monthOf(day);
            to = monthEnd(day);
        }
        if (groups.empty() || groups.back().fromDay != from) {
            Group group;
            group.key = grouping == Grouping::Month ? monthText(from) : dayText(from);
            group.fromDay = from;
            group.toDay = to;
            groups.push_back(std::move(group));
        }
        groups.back().figures.merge(*figures);
    }
    return groups;
}

std::vector<CallStatistics::Group> CallStatistics::textGroups(const TextFigures &map, Grouping grouping,
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

std::vector<CallStatistics::Group> CallStatistics::groups(Grouping grouping) const
{
    std::vector<Group> groups;
    switch (grouping) {
    case Grouping::Day:
    case Grouping::Week:
    case Grouping::Month:
        return timeGroups(grouping);
    case Grouping::Hour:
        for (int hour = 0; hour < kHours; ++hour) {
            Group group;
            group.key = QString::number(hour);
            group.index = hour;
            for (int weekday = 0; weekday < kWeekdays; ++weekday)
                group.figures.merge(slot(weekday, hour));
            groups.push_back(std::move(group));
        }
        return groups;
    case Grouping::Weekday:
        for (int weekday = 0; weekday < kWeekdays; ++weekday) {
            Group group;
            group.key = QString::number(weekday + 1);
            group.index = weekday;
            for (int hour = 0; hour < kHours; ++hour)
                group.figures.merge(slot(weekday, hour));
            groups.push_back(std::move(group));
        }
        return groups;
    case Grouping::User:
        return textGroups(m_users, grouping, m_users.size());
    case Grouping::Number:
        return m_everyNumber ? textGroups(m_numbers, grouping, m_numbers.size()) : m_rankedNumbers;
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

std::vector<CallStatistics::Group> CallStatistics::topNumbers(int count) const
{
    if (m_everyNumber)
        return textGroups(m_numbers, Grouping::Number, std::size_t(std::max(count, 0)));
    return std::vector<Group>(m_rankedNumbers.begin(),
                              m_rankedNumbers.begin()
                                  + std::ptrdiff_t(std::min(std::size_t(std::max(count, 0)), m_rankedNumbers.size())));
}

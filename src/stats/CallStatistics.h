#pragma once

#include "stats/CallFigures.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class ResultRows;
class ResultSnapshot;

// The figures of a list of calls at a glance, computed in one pass over its rows: the
// totals with the median talk time, the calls of each day (and so of each week and month),
// of each hour of each weekday, of each user (cell 1), of each number (cell 3) and of each
// call type. The statistics view, its sheet in the export and orvik-cli stats all take
// their figures from here.
//
// Times are the start times as the list shows them (wall-clock, no time zone), counted in
// seconds since 1899-12-30 00:00:00; a call whose start is no valid date counts in the
// totals, per user, per number and per type, not in the days and hours. Weeks start on
// Monday. The median and the average count the answered calls (those not missed).
//
// Numbers are many: a million calls may come from nearly as many numbers. Counted from a
// snapshot (fromSnapshot), on a second thread beside the other figures, only the
// kRankedNumbers with the most calls are kept: while the rows hold up to 32,768 numbers,
// from each one's figures; beyond, by sorting the rows by a hash of their number (12 bytes
// a row, for as long as the count takes) and looking number by number only at the hashes
// that may rank. Counted row by row (add), every number is kept only when asked for
// (orvik-cli stats --by number, the export of orvik-cli).
class CallStatistics
{
public:
    enum class Grouping { Day, Week, Month, Hour, Weekday, User, Number, Type };
    static constexpr int kWeekdays = 7; // Monday first
    static constexpr int kHours = 24;
    static constexpr int kTypes = 3; // incoming, outgoing, missed

    // The figures of one day, week, month, hour, weekday, user, number or call type.
    struct Group
    {
        // What the group is, as orvik-cli writes it: "2009-12-05" (a day), "2009-11-30" (a
        // week, by its Monday), "2009-12" (a month), "0" to "23" (an hour), "1" (Monday) to
        // "7" (Sunday), the user's name, the number, "incoming", "outgoing" or "missed".
        QString key;
        // Days, weeks and months: the first and last day they cover (days since 1899-12-30).
        qint64 fromDay = 0;
        qint64 toDay = 0;
        // Hours: 0 to 23; weekdays: 0 (Monday) to 6; call types: 0 to 2.
        int index = 0;
        CallFigures figures;
    };

    // How many numbers a count from a snapshot keeps (topNumbers, groups(Number)).
    static constexpr int kRankedNumbers = 100;

    // `everyNumber`: whether add keeps the figures of every number.
    explicit CallStatistics(bool everyNumber = false) : m_everyNumber(everyNumber) {}
    CallStatistics(CallStatistics &&) = default;
    CallStatistics &operator=(CallStatistics &&) = default;
    CallStatistics(const CallStatistics &) = delete;
    CallStatistics &operator=(const CallStatistics &) = delete;

    // Counts row `row` of `rows`.
    void add(const ResultRows &rows, int row);
    // After the last row: the median and what the groups need.
    void finish();
    // The figures of the rows of a snapshot that `counts` passes (by default those the list
    // has not removed), finished, with the kRankedNumbers first numbers. Throws
    // TaskCancelled when the calling thread's request is cancelled meanwhile.
    static CallStatistics fromSnapshot(const ResultSnapshot &rows, const std::function<bool(int row)> &counts = {});

    const CallFigures &totals() const { return m_totals; }
    qint64 medianSeconds() const { return m_median; }
    // Calls whose start is no valid date.
    qint64 undatedCalls() const { return m_undated; }
    // The calls of `hour` on `weekday` (0 Monday), over all days.
    const CallFigures &slot(int weekday, int hour) const { return m_slots[std::size_t(weekday * kHours + hour)]; }
    // The day of the first and of the last call with a valid start; false without one.
    bool dayRange(qint64 *first, qint64 *last) const;
    // The period a chart of calls over time is best drawn in: days up to 62 days, weeks
    // up to 371 days (53 weeks), months beyond.
    Grouping chartPeriod() const;

    // The groups of a grouping, every one with at least one call except hours, weekdays
    // and types (always all of them): days, weeks and months in time order, hours and
    // weekdays in their order, users by name (CompareTexts), numbers by calls, then talk
    // time (most first), then number (byte by byte), call types incoming, outgoing, missed.
    // Numbers: all of them when every number was kept, else the ranked ones.
    std::vector<Group> groups(Grouping grouping) const;
    // The first `count` numbers of groups(Grouping::Number), without making the others.
    std::vector<Group> topNumbers(int count) const;

    // How start times are counted, for whoever picks calls out by them (CallSelection).
    // The start of a row in seconds; false when it is no valid date.
    static bool startSeconds(const ResultRows &rows, int row, qint64 *seconds);
    static qint64 dayOf(qint64 seconds);
    static int hourOf(qint64 seconds);
    static int weekdayOf(qint64 day);   // 0 Monday .. 6 Sunday
    static qint64 weekOf(qint64 day);   // its Monday
    static qint64 monthOf(qint64 day);  // its first day
    static qint64 monthEnd(qint64 day); // its last day
    // "2009-12-05", "2009-12" and "2009-12-05 08:05:09", as the list writes dates.
    static QString dayText(qint64 day);
    static QString monthText(qint64 day);
    static QString timeText(qint64 seconds);

private:
    struct TextHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    using TextFigures = std::unordered_map<std::string, CallFigures, TextHash, std::equal_to<>>;

    static CallFigures &figuresOf(TextFigures &map, QByteArrayView key, CallFigures *&last, QByteArrayView &lastKey);
    // The `count` numbers of the rows `counted` passes with the most calls, by sorting the
    // rows by a hash of their number.
    static std::vector<Group> rankNumbers(const ResultSnapshot &rows, const std::function<bool(int row)> &counted,
                                          std::size_t count);
    std::vector<Group> timeGroups(Grouping grouping) const;
    std::vector<Group> textGroups(const TextFigures &map, Grouping grouping, std::size_t count) const;
    // The talk time of the k-th answered call in ascending order of talk time.
    qint64 nthTalk(qint64 k) const;

    CallFigures m_totals;
    qint64 m_undated = 0;
    qint64 m_median = 0;
    std::unordered_map<qint64, CallFigures> m_days;
    std::array<CallFigures, kWeekdays * kHours> m_slots;
    std::array<CallFigures, kTypes> m_types;
    TextFigures m_users;
    bool m_everyNumber = false;
    TextFigures m_numbers;              // with m_everyNumber
    std::vector<Group> m_rankedNumbers; // from a snapshot
    // Answered calls by talk time: below kCountedTalk seconds counted per second, the
    // others (and negative ones, from damaged records) kept as they are.
    static constexpr int kCountedTalk = 1 << 16;
    std::vector<quint32> m_talkCounts;
    std::vector<qint64> m_otherTalks;
    // The groups rows went to last: rows come in time order, and many in a row have the
    // same user or number.
    qint64 m_lastDay = 0;
    CallFigures *m_lastDayFigures = nullptr;
    CallFigures *m_lastUser = nullptr;
    QByteArrayView m_lastUserKey;
    CallFigures *m_lastNumber = nullptr;
    QByteArrayView m_lastNumberKey;
};

#pragma once

#include <QtGlobal>

#include <limits>

// What every table of the statistics tells about a set of calls: how many of each type,
// their talk time, the longest call, and the first and last start. Calls without a valid
// start time count everywhere except in first and last.
struct CallFigures
{
    // Start times are wall-clock seconds since 1899-12-30 00:00:00; kNoTime: none known.
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

    qint64 calls = 0;
    qint64 incoming = 0;
    qint64 outgoing = 0;
    qint64 missed = 0;
    qint64 talkSeconds = 0;
    qint64 longestSeconds = 0;
    qint64 first = kNoTime;
    qint64 last = kNoTime;

    // One call: `type` as ResultRows::CallType gives it (0 incoming, 1 outgoing, 2 missed).
    void add(int type, qint64 talk, qint64 start)
    {
        ++calls;
        ++ofType(type);
        talkSeconds += talk;
        if (talk > longestSeconds)
            longestSeconds = talk;
        if (start != kNoTime) {
            if (first == kNoTime || start < first)
                first = start;
            if (last == kNoTime || start > last)
                last = start;
        }
    }
    void merge(const CallFigures &other);

    // The calls of `type` (0 incoming, 1 outgoing, 2 missed).
    qint64 &ofType(int type) { return type == 0 ? incoming : type == 1 ? outgoing : missed; }
    qint64 ofType(int type) const { return type == 0 ? incoming : type == 1 ? outgoing : missed; }

    // The calls that were not missed: incoming calls talked, and outgoing calls.
    qint64 answered() const { return calls - missed; }
    // The talk time per answered call in whole seconds, half a second rounded up; 0 when
    // no call was answered.
    qint64 averageSeconds() const;
    // The missed calls per calls in tenths of a percent, half a tenth rounded up (125 for
    // 12.5 %); 0 without calls.
    qint64 missedPerMille() const;
};

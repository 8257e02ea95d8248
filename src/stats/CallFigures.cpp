#include "stats/CallFigures.h"

#include <algorithm>

namespace {

// a / b rounded to the nearest whole number, halves up (a >= 0, b > 0).
qint64 roundedQuotient(qint64 a, qint64 b)
{
    return (2 * a + b) / (2 * b);
}

} // namespace

void CallFigures::merge(const CallFigures &other)
{
    calls += other.calls;
    incoming += other.incoming;
    outgoing += other.outgoing;
    missed += other.missed;
    talkSeconds += other.talkSeconds;
    longestSeconds = std::max(longestSeconds, other.longestSeconds);
    if (other.first != kNoTime && (first == kNoTime || other.first < first))
        first = other.first;
    if (other.last != kNoTime && (last == kNoTime || other.last > last))
        last = other.last;
}

qint64 CallFigures::averageSeconds() const
{
    const qint64 answeredCalls = answered();
    if (answeredCalls <= 0)
        return 0;
    // A negative talk time (a damaged record) rounds toward zero like the others.
    return talkSeconds >= 0 ? roundedQuotient(talkSeconds, answeredCalls)
                            : -roundedQuotient(-talkSeconds, answeredCalls);
}

qint64 CallFigures::missedPerMille() const
{
    return calls > 0 ? roundedQuotient(missed * 1000, calls) : 0;
}

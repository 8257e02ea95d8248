#include "query/CellFormat.h"

#include "lang/Ids.h"

#include <cstdio>

namespace CellFormat {

namespace {

// printf's "%.2d" into `p`: at least two digits, the sign in front of them. Returns the
// end. Written by hand because it runs several times for every row of a large result.
char *writeTwoDigits(char *p, int value)
{
    if (value >= 0 && value < 100) {
        *p++ = char('0' + value / 10);
        *p++ = char('0' + value % 10);
        return p;
    }
    if (value < 0)
        *p++ = '-';
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (n < 2)
        digits[n++] = '0';
    while (n)
        *p++ = digits[--n];
    return p;
}

} // namespace

int CallTypeTextId(int callDirection, int talkedTime)
{
    if (callDirection != 0)
        return Ids::TxtOutgoing;
    return talkedTime != 0 ? Ids::TxtIncoming : Ids::TxtMissed;
}

void AppendStartTime(QByteArray &out, const OleDate &start)
{
    const OleDate::Parts parts = start.parts();
    char buffer[64];
    char *p = writeTwoDigits(buffer, parts.year);
    *p++ = '-';
    p = writeTwoDigits(p, parts.month);
    *p++ = '-';
    p = writeTwoDigits(p, parts.day);
    *p++ = ' ';
    p = writeTwoDigits(p, parts.hour);
    *p++ = ':';
    p = writeTwoDigits(p, parts.minute);
    *p++ = ':';
    p = writeTwoDigits(p, parts.second);
    out.append(buffer, p - buffer);
}

void AppendTalkTime(QByteArray &out, int talkedTime)
{
    // Division truncates toward zero, as in C.
    char buffer[32];
    char *p = writeTwoDigits(buffer, talkedTime / 60);
    *p++ = ':';
    p = writeTwoDigits(p, talkedTime % 60);
    out.append(buffer, p - buffer);
}

void AppendFileSize(QByteArray &out, qint64 bytes)
{
    const double kilobytes = double(bytes) / 1024.0;
    char buffer[64];
    if (kilobytes <= 1.0)
        std::snprintf(buffer, sizeof buffer, "%lld B", static_cast<long long>(bytes));
    else if (kilobytes < 1000.0)
        std::snprintf(buffer, sizeof buffer, "%0.2f KB", kilobytes);
    else
        std::snprintf(buffer, sizeof buffer, "%0.2f MB", kilobytes / 1024.0);
    out += buffer;
}

QString StartTime(const OleDate &start)
{
    QByteArray out;
    AppendStartTime(out, start);
    return QString::fromLatin1(out);
}

QString TalkTime(int talkedTime)
{
    QByteArray out;
    AppendTalkTime(out, talkedTime);
    return QString::fromLatin1(out);
}

QString TotalTalkTime(qint64 seconds)
{
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    return QString::asprintf("%s%02lld:%02lld:%02lld", seconds < 0 ? "-" : "", static_cast<long long>(magnitude / 3600),
                             static_cast<long long>(magnitude / 60 % 60), static_cast<long long>(magnitude % 60));
}

QString FileSize(qint64 bytes)
{
    QByteArray out;
    AppendFileSize(out, bytes);
    return QString::fromLatin1(out);
}

} // namespace CellFormat

#include "query/CellFormat.h"

#include "db/jet/Digits.h"
#include "lang/Ids.h"

#include <cstdio>

namespace CellFormat {

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
    char *p = jet::Digits::writeSigned(buffer, parts.year, 2);
    *p++ = '-';
    p = jet::Digits::writeSigned(p, parts.month, 2);
    *p++ = '-';
    p = jet::Digits::writeSigned(p, parts.day, 2);
    *p++ = ' ';
    p = jet::Digits::writeSigned(p, parts.hour, 2);
    *p++ = ':';
    p = jet::Digits::writeSigned(p, parts.minute, 2);
    *p++ = ':';
    p = jet::Digits::writeSigned(p, parts.second, 2);
    out.append(buffer, p - buffer);
}

void AppendTalkTime(QByteArray &out, int talkedTime)
{
    // Division truncates toward zero, as in C.
    char buffer[32];
    char *p = jet::Digits::writeSigned(buffer, talkedTime / 60, 2);
    *p++ = ':';
    p = jet::Digits::writeSigned(p, talkedTime % 60, 2);
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

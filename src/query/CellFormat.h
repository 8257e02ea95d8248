#pragma once

#include "db/record/OleDate.h"

#include <QByteArray>
#include <QString>

// The texts of the result list's cells that are computed from a call record. Each comes
// as text and, for callers that write many rows, appended to a UTF-8 buffer.
namespace CellFormat {

// Cell 2: outgoing (Ids::TxtOutgoing) when call_direction is not 0, else incoming
// (TxtIncoming) when the call was talked, else missed (TxtMissed).
int CallTypeTextId(int callDirection, int talkedTime);

// Cell 4: "2009-12-29 08:05:09" ("%.2d" parts); parts of a date that is not valid show as -01.
QString StartTime(const OleDate &start);
void AppendStartTime(QByteArray &out, const OleDate &start);
// Cell 5: minutes and seconds, minutes not wrapped into hours: 7507 s give "125:07".
QString TalkTime(int talkedTime);
void AppendTalkTime(QByteArray &out, int talkedTime);
// The talk time of many calls, for the status line: hours, minutes and seconds, hours not
// wrapped into days ("27:46:40" for 100000 s).
QString TotalTalkTime(qint64 seconds);
// Cell 6: up to 1024 bytes in B, below 1000 KB in KB, then MB (of 1024 KB).
QString FileSize(qint64 bytes);
void AppendFileSize(QByteArray &out, qint64 bytes);

} // namespace CellFormat

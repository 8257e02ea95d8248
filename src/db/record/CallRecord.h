#pragma once

#include "db/record/OleDate.h"

#include <QString>

#include <utility>

// One call record in memory: the columns of table `record`, each holding its default
// until a value is read, plus the full path of the recording file.
struct CallRecord
{
    int id = 0;
    int line_id = 0;
    OleDate record_time_start; // 1899-12-30 00:00:00, valid
    OleDate record_time_stop;
    int record_time = 0;
    int talked_time = 0; // seconds; 0 on an incoming call means a missed call
    int ring_time = 0;
    QString fsk;  // the telephone number
    QString dtmf; // digits dialled during the call
    QString name; // the user
    int record_type = 0;
    int call_direction = 1; // 0 incoming, 1 outgoing
    QString record_dir;
    int ryear = -1;
    int rmonth = -1;
    int rday = -1;
    QString record_file; // file name in the backup's voice folder, or "DEL"
    QString context;     // the remark
    QString address;
    // Not a column, and left empty: the result list (ResultListModel) forms the recording's
    // path from record_file straight into its cell 8 and never stores it here.
    QString record_path;

    // Back to the values of a fresh record, keeping the texts' buffers: a list filled from
    // a million rows reads them all into one record.
    void Reset()
    {
        static constexpr QString CallRecord::*kTexts[] = {
            &CallRecord::fsk,         &CallRecord::dtmf,    &CallRecord::name,    &CallRecord::record_dir,
            &CallRecord::record_file, &CallRecord::context, &CallRecord::address, &CallRecord::record_path};
        CallRecord fresh;
        for (QString CallRecord::*text : kTexts) {
            // Emptying a text is an out-of-line call; most rows leave half of them empty.
            if (!(this->*text).isEmpty())
                (this->*text).resize(0);
            std::swap(fresh.*text, this->*text);
        }
        *this = std::move(fresh);
    }
};

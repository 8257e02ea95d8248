#pragma once

#include <QDateTime>

// An OLE automation date: days since 1899-12-30 00:00, the fraction being the time of
// day (for dates before 1899-12-30 the fraction still counts forward from midnight), with
// a validity status as the call records and the query filter carry it.
struct OleDate
{
    enum Status { Valid = 0, Invalid = 1 };

    double m_dt = 0.0;
    int m_status = Valid;

    OleDate() = default;
    explicit OleDate(double days, int status = Valid) : m_dt(days), m_status(status) {}
    static OleDate fromDateTime(const QDateTime &dt);

    bool isValid() const { return m_status == Valid; }

    // Calendar parts, each -1 when the date is not valid or lies outside the years 100 to
    // 9999 that OLE dates cover. Seconds are rounded to the nearest second.
    struct Parts
    {
        int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
    };
    Parts parts() const;
};

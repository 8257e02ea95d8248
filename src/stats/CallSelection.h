#pragma once

#include <QByteArray>
#include <QString>

class ResultRows;

// The calls behind one figure of the statistics: those of a period (a day, a week, a
// month) and perhaps of one call type, those of one hour of one weekday (perhaps only the
// missed ones), or those of one user or one number. The list narrows itself to them
// (CallListModel::Narrow with matches), counting times as CallStatistics counts them, so
// that the list shows exactly the calls the figure counted.
class CallSelection
{
public:
    enum class Kind { Period, Slot, User, Number };
    static constexpr int kAnyType = -1;

    // The days fromDay to toDay (days since 1899-12-30); `type` 0 incoming, 1 outgoing,
    // 2 missed, or kAnyType.
    static CallSelection period(qint64 fromDay, qint64 toDay, int type = kAnyType);
    // Hour `hour` (0 to 23) of weekday `weekday` (0 Monday to 6 Sunday).
    static CallSelection slot(int weekday, int hour, bool missedOnly);
    static CallSelection user(const QString &name);
    static CallSelection number(const QString &number);

    bool matches(const ResultRows &rows, int row) const;

    Kind kind() const { return m_kind; }
    qint64 fromDay() const { return m_from; }
    qint64 toDay() const { return m_to; }
    int type() const { return m_type; }
    int weekday() const { return int(m_from); }
    int hour() const { return int(m_to); }
    // The user or the number.
    QString text() const { return QString::fromUtf8(m_text); }

private:
    Kind m_kind = Kind::Period;
    qint64 m_from = 0;
    qint64 m_to = 0;
    int m_type = kAnyType;
    QByteArray m_text; // UTF-8, as the rows keep it
};

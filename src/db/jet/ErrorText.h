#pragma once
// How the engine reports a failure: functions that can fail take an optional QString* and
// fill it with the reason, so a caller that only needs success or failure passes nullptr.

#include <QString>

namespace jet {

// Sets *error to text when the caller asked for the reason.
inline void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace jet

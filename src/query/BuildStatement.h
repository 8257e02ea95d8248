#pragma once

#include "db/record/OleDate.h"

#include <QString>

// The call-type list of the query window, by index.
enum CallTypeIndex : int {
    CallTypeIncoming = 0,
    CallTypeOutgoing = 1,
    CallTypeAll = 2,
    CallTypeMissed = 3,
};

// Turns the query window's filter into one SELECT statement over table Record, ordered by
// start time. The number overrides the user name; the all-users text (compared exactly)
// means no user condition; "%" and "_" typed into a text stay wildcards. An apostrophe
// typed into a text is doubled, so that it is searched for instead of ending the pattern.
// Only the calendar day of the two dates is used; a part that is not valid is -1.
QString BuildStatement(const QString &number, const QString &user, const QString &allUsersText, const QString &remark,
                       int callType, bool useDateRange, const OleDate &dateFrom, const OleDate &dateTo);

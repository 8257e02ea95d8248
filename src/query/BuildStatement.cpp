#include "query/BuildStatement.h"

namespace {

// Typed text as the inside of a '%...%' LIKE literal: a quote is written twice and "["
// (which would open a character set) becomes the set "[[]" holding only itself, so the
// text matches as typed; "%" and "_" stay wildcards.
QString quoted(QString text)
{
    return text.replace(u'\'', QStringLiteral("''")).replace(u'[', QStringLiteral("[[]"));
}

} // namespace

QString BuildStatement(const QString &number, const QString &user, const QString &allUsersText, const QString &remark,
                       int callType, bool useDateRange, const OleDate &dateFrom, const OleDate &dateTo)
{
    QString statement = QStringLiteral("select * from Record where");
    QString conditions;

    if (!number.isEmpty())
        conditions += QStringLiteral(" and fsk LIKE '%%1%'").arg(quoted(number));
    else if (user != allUsersText)
        conditions += QStringLiteral(" and name LIKE '%%1%'").arg(quoted(user));
    if (!remark.isEmpty())
        conditions += QStringLiteral(" and context LIKE '%%1%'").arg(quoted(remark));
    if (callType <= CallTypeOutgoing)
        conditions += QString::asprintf(" and call_direction = %d", callType);
    else if (callType >= CallTypeMissed)
        conditions += QStringLiteral(" and talked_time = 0 and call_direction = 0");
    if (useDateRange) {
        const OleDate::Parts from = dateFrom.parts();
        const OleDate::Parts to = dateTo.parts();
        conditions += QString::asprintf(" and record_time_start >= #%d-%d-%d 0:0:0# and record_time_start <= "
                                        "#%d-%d-%d 23:59:59#",
                                        from.year, from.month, from.day, to.year, to.month, to.day);
    }

    if (conditions.isEmpty()) {
        // "where" goes: every trailing w, h, e and r is cut, which leaves one blank.
        while (!statement.isEmpty() && QStringView(u"wher").contains(statement.back()))
            statement.chop(1);
    } else {
        // The leading " and" of the first condition goes: blanks, then a, n and d.
        qsizetype i = 0;
        while (i < conditions.size() && conditions.at(i) == u' ')
            ++i;
        while (i < conditions.size() && QStringView(u"and").contains(conditions.at(i)))
            ++i;
        statement += conditions.mid(i);
    }
    return statement + QStringLiteral(" order by record_time_start");
}

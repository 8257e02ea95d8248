#include "db/exec/ScanReport.h"

#include <QStringList>

QString ScanReport::describe() const
{
    if (isComplete())
        return QString();
    QStringList parts{QStringLiteral("the database is damaged: table %1 counts %2 rows, %3 could be read")
                          .arg(m_table)
                          .arg(m_rowsCounted)
                          .arg(rowsReadable())};
    if (m_pagesLost > 0)
        parts << QStringLiteral("%1 of its data pages lie past the end of the file").arg(m_pagesLost);
    if (m_rowsUnreadable > 0)
        parts << QStringLiteral("%1 rows could not be decoded").arg(m_rowsUnreadable);
    return parts.join(QStringLiteral("; "));
}

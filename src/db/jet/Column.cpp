#include "db/jet/Column.h"

namespace jet {

QString Column::typeName(std::uint8_t typeCode)
{
    switch (typeCode) {
    case 0x01:
        return QStringLiteral("BOOLEAN");
    case 0x02:
        return QStringLiteral("BYTE");
    case 0x03:
        return QStringLiteral("INT");
    case 0x04:
        return QStringLiteral("LONG");
    case 0x05:
        return QStringLiteral("MONEY");
    case 0x06:
        return QStringLiteral("FLOAT");
    case 0x07:
        return QStringLiteral("DOUBLE");
    case 0x08:
        return QStringLiteral("SHORT_DATE_TIME");
    case 0x09:
        return QStringLiteral("BINARY");
    case 0x0A:
        return QStringLiteral("TEXT");
    case 0x0B:
        return QStringLiteral("OLE");
    case 0x0C:
        return QStringLiteral("MEMO");
    case 0x0F:
        return QStringLiteral("GUID");
    case 0x10:
        return QStringLiteral("NUMERIC");
    case 0x12:
        return QStringLiteral("COMPLEX_TYPE");
    case 0x13:
        return QStringLiteral("BIG_INT");
    default:
        return QStringLiteral("UNKNOWN_%1").arg(typeCode, 2, 16, QLatin1Char('0')).toUpper();
    }
}

} // namespace jet

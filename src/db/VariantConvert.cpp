#include "db/VariantConvert.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace VariantConvert {

namespace {

bool roundToInt32(double v, int *out)
{
    if (!std::isfinite(v))
        return false;
    const double rounded = std::nearbyint(v); // the default rounding mode: ties to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return false;
    *out = static_cast<int>(rounded);
    return true;
}

// A number as VariantChangeType writes it: the significant digits of its type (15 for a
// Double, 7 for a Single), exponent notation only for very large and very small values
// (1000000, 0.3, 1E+15).
QString numberText(double v, int digits)
{
    return QString::number(v, 'G', digits);
}

} // namespace

bool parseNumber(const QString &text, double *out)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool toInt32(const jet::Value &value, int *out)
{
    if (value.kind() == jet::Value::Kind::Integer) {
        // Integers convert exactly, without a detour through a double.
        const std::int64_t v = value.toInt64();
        if (v < INT32_MIN || v > INT32_MAX)
            return false;
        *out = static_cast<int>(v);
        return true;
    }
    double v = 0;
    return toDouble(value, &v) && roundToInt32(v, out);
}

bool toDouble(const jet::Value &value, double *out)
{
    using K = jet::Value::Kind;
    switch (value.kind()) {
    case K::Boolean:
        *out = value.toBool() ? -1.0 : 0.0; // true is -1, as OLE has it
        return true;
    case K::Integer:
    case K::Currency:
    case K::Single:
    case K::Double:
    case K::DateTime:
    case K::Decimal:
        *out = value.toDouble();
        return true;
    case K::Text:
        return parseNumber(value.text(), out);
    case K::Null:
    case K::Binary:
    case K::Guid:
    case K::Error:
        break;
    }
    return false;
}

bool toText(const jet::Value &value, QString *out)
{
    using K = jet::Value::Kind;
    switch (value.kind()) {
    case K::Text:
        *out = value.text();
        return true;
    case K::Boolean:
        *out = value.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
        return true;
    case K::Integer:
        *out = QString::number(value.toInt64());
        return true;
    case K::Single:
        *out = numberText(value.toDouble(), 7);
        return true;
    case K::Currency:
    case K::Double:
    case K::Decimal:
        *out = numberText(value.toDouble(), 15);
        return true;
    case K::DateTime: {
        const double days = value.dateTimeDays();
        // In UTC: a stored date is a wall-clock time, which local time would shift by the
        // zone's offsets and daylight saving time.
        const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
        const double whole = std::trunc(days);
        const qint64 ms = std::llround((whole + std::fabs(days - whole)) * 86400000.0);
        *out = epoch.addMSecs(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return true;
    }
    case K::Null:
    case K::Binary:
    case K::Guid:
    case K::Error:
        break;
    }
    return false;
}

} // namespace VariantConvert

#include "db/ado/VariantConvert.h"

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

// The number in a text as VarI4FromStr and VarR8FromStr accept it: blanks around it, an
// optional sign, digits with an optional decimal point and exponent.
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

} // namespace

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

} // namespace VariantConvert

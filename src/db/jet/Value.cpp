#include "db/jet/Value.h"

#include "db/jet/JetDate.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace jet {

Value Value::text(QString s, std::uint8_t typeCode)
{
    Value v(Kind::Text, typeCode);
    v.m_text = std::move(s);
    return v;
}

Value Value::binary(QByteArray b, std::uint8_t typeCode)
{
    Value v(Kind::Binary, typeCode);
    v.m_bytes = std::move(b);
    return v;
}

Value Value::guid(const std::uint8_t *bytes16)
{
    Value v(Kind::Guid, 0x0F);
    std::memcpy(v.m_u.guid, bytes16, 16);
    return v;
}

Value Value::error(QString reason, std::uint8_t typeCode)
{
    Value v(Kind::Error, typeCode);
    v.m_text = std::move(reason);
    return v;
}

bool Value::toBool() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return m_u.b;
    case Kind::Integer:
    case Kind::Currency:
        return m_u.i != 0;
    case Kind::Single:
        return m_u.f != 0.0f;
    case Kind::Double:
    case Kind::DateTime:
        return m_u.d != 0.0;
    case Kind::Decimal:
        return m_u.dec.high != 0 || m_u.dec.low != 0;
    default:
        return false;
    }
}

std::int64_t Value::toInt64() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return m_u.b ? 1 : 0;
    case Kind::Integer:
        return m_u.i;
    case Kind::Currency:
        return m_u.i / 10000;
    default:
        return 0;
    }
}

double Value::toDouble() const
{
    switch (m_kind) {
    case Kind::Boolean:
        return m_u.b ? 1.0 : 0.0;
    case Kind::Integer:
        return double(m_u.i);
    case Kind::Currency:
        return double(m_u.i) / 10000.0;
    case Kind::Single:
        return double(m_u.f);
    case Kind::Double:
    case Kind::DateTime:
        return m_u.d;
    case Kind::Decimal: {
        const double magnitude = std::ldexp(double(m_u.dec.high), 64) + double(m_u.dec.low);
        const double v = magnitude / std::pow(10.0, m_u.dec.scale);
        return m_u.dec.negative ? -v : v;
    }
    default:
        return 0.0;
    }
}

bool Value::toText(QString *out) const
{
    switch (m_kind) {
    case Kind::Text:
        *out = m_text;
        return true;
    case Kind::Boolean:
        *out = m_u.b ? QStringLiteral("-1") : QStringLiteral("0");
        return true;
    case Kind::Integer:
        *out = QString::number(m_u.i);
        return true;
    case Kind::Single:
        *out = QString::number(double(m_u.f), 'G', 7);
        return true;
    case Kind::Currency:
    case Kind::Double:
    case Kind::Decimal:
        *out = QString::number(toDouble(), 'G', 15);
        return true;
    case Kind::DateTime: {
        const QString text = JetDate::toString(m_u.d);
        if (text.isEmpty())
            return false;
        *out = text;
        return true;
    }
    case Kind::Null:
    case Kind::Binary:
    case Kind::Guid:
    case Kind::Error:
        break;
    }
    return false;
}

std::array<std::uint8_t, 16> Value::guidBytes() const
{
    std::array<std::uint8_t, 16> out{};
    if (m_kind == Kind::Guid)
        std::memcpy(out.data(), m_u.guid, 16);
    return out;
}

Value::DecimalParts Value::decimalParts() const
{
    return m_kind == Kind::Decimal ? m_u.dec : DecimalParts{};
}

} // namespace jet

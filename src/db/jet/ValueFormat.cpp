#include "db/jet/ValueFormat.h"

#include "db/jet/JetDate.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace jet {

QByteArray ValueFormat::shortestDouble(double d)
{
    if (std::isnan(d))
        return QByteArrayLiteral("nan");
    if (std::isinf(d))
        return d < 0 ? QByteArrayLiteral("-inf") : QByteArrayLiteral("inf");
    if (d == 0)
        return std::signbit(d) ? QByteArrayLiteral("-0.0") : QByteArrayLiteral("0.0");

    // Shortest round-trip digits in scientific form, e.g. "-4.44555e+02".
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    const char *p = buf;
    const char *end = result.ptr;
    QByteArray out;
    if (*p == '-') {
        out.append('-');
        ++p;
    }
    QByteArray digits;
    while (p < end && *p != 'e') {
        if (*p != '.')
            digits.append(*p);
        ++p;
    }
    int exponent = 0;
    if (p < end && *p == 'e')
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);

    if (exponent >= -4 && exponent < 16) {
        if (exponent >= 0) {
            const int intDigits = exponent + 1;
            if (digits.size() <= intDigits) {
                out.append(digits);
                out.append(QByteArray(intDigits - digits.size(), '0'));
                out.append(".0");
            } else {
                out.append(digits.left(intDigits));
                out.append('.');
                out.append(digits.mid(intDigits));
            }
        } else {
            out.append("0.");
            out.append(QByteArray(-exponent - 1, '0'));
            out.append(digits);
        }
        return out;
    }
    out.append(digits.at(0));
    if (digits.size() > 1) {
        out.append('.');
        out.append(digits.mid(1));
    }
    out.append('e');
    out.append(exponent < 0 ? '-' : '+');
    const int absExp = exponent < 0 ? -exponent : exponent;
    if (absExp < 10)
        out.append('0');
    out.append(QByteArray::number(absExp));
    return out;
}

QByteArray ValueFormat::currency(std::int64_t units)
{
    const bool negative = units < 0;
    const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(units) : std::uint64_t(units);
    QByteArray out;
    if (negative)
        out.append('-');
    out.append(QByteArray::number(quint64(magnitude / 10000)));
    out.append('.');
    const QByteArray fraction = QByteArray::number(quint64(magnitude % 10000));
    out.append(QByteArray(4 - fraction.size(), '0'));
    out.append(fraction);
    return out;
}

QByteArray ValueFormat::decimal(const Value::DecimalParts &parts)
{
    // Long division of the 128-bit magnitude by 10, four 32-bit words at a time.
    std::uint32_t words[4] = {std::uint32_t(parts.high >> 32), std::uint32_t(parts.high),
                              std::uint32_t(parts.low >> 32), std::uint32_t(parts.low)};
    QByteArray digits;
    for (;;) {
        bool zero = true;
        std::uint64_t remainder = 0;
        for (std::uint32_t &w : words) {
            const std::uint64_t cur = (remainder << 32) | w;
            w = std::uint32_t(cur / 10);
            remainder = cur % 10;
            if (w)
                zero = false;
        }
        digits.prepend(char('0' + remainder));
        if (zero)
            break;
    }
    const bool isZero = digits == "0";
    const int scale = parts.scale;
    if (scale > 0) {
        if (digits.size() <= scale)
            digits.prepend(QByteArray(scale - digits.size() + 1, '0'));
        digits.insert(digits.size() - scale, '.');
    }
    if (parts.negative && !isZero)
        digits.prepend('-');
    return digits;
}

QByteArray ValueFormat::guid(const std::uint8_t *b)
{
    return QString::asprintf("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10],
                                b[11], b[12], b[13], b[14], b[15])
        .toLatin1();
}

QByteArray ValueFormat::dateTime(double days)
{
    QByteArray out = JetDate::toString(days).toLatin1();
    out.append('|');
    out.append(shortestDouble(days));
    return out;
}

QByteArray ValueFormat::hex(const QByteArray &bytes)
{
    return QByteArrayLiteral("0x") + bytes.toHex();
}

QByteArray ValueFormat::escapedText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const int n = int(text.size());
    const QChar *s = text.constData();
    const auto unicodeEscape = [&out](char16_t u) {
        out.append(QString::asprintf("\\u%04X", unsigned(u)));
    };
    for (int i = 0; i < n; ++i) {
        const char16_t u = s[i].unicode();
        switch (u) {
        case u'\\': out.append(QLatin1String("\\\\")); continue;
        case u'\t': out.append(QLatin1String("\\t")); continue;
        case u'\n': out.append(QLatin1String("\\n")); continue;
        case u'\r': out.append(QLatin1String("\\r")); continue;
        default: break;
        }
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
            unicodeEscape(u);
        } else if (QChar::isHighSurrogate(u)) {
            if (i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
                out.append(s[i]);
                out.append(s[i + 1]);
                ++i;
            } else {
                unicodeEscape(u);
            }
        } else if (QChar::isLowSurrogate(u)) {
            unicodeEscape(u);
        } else {
            out.append(s[i]);
        }
    }
    return out.toUtf8();
}

} // namespace jet

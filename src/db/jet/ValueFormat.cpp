#include "db/jet/ValueFormat.h"

#include "db/jet/Digits.h"
#include "db/jet/JetDate.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace jet {

namespace {

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

void appendUnicodeEscape(QByteArray &out, char16_t u)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    const char esc[6] = {'\\',
                         'u',
                         hexDigits[(u >> 12) & 0xF],
                         hexDigits[(u >> 8) & 0xF],
                         hexDigits[(u >> 4) & 0xF],
                         hexDigits[u & 0xF]};
    out.append(esc, 6);
}

} // namespace

void ValueFormat::appendShortestDouble(QByteArray &out, double d)
{
    if (std::isnan(d)) {
        out.append("nan");
        return;
    }
    if (std::isinf(d)) {
        out.append(d < 0 ? "-inf" : "inf");
        return;
    }
    if (d == 0) {
        out.append(std::signbit(d) ? "-0.0" : "0.0");
        return;
    }
    // Shortest round-trip digits in scientific form, e.g. "-4.44555e+02".
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    const char *p = buf;
    const char *end = result.ptr;
    if (*p == '-') {
        out.append('-');
        ++p;
    }
    char digits[32];
    int count = 0;
    while (p < end && *p != 'e') {
        if (*p != '.' && count < int(sizeof digits))
            digits[count++] = *p;
        ++p;
    }
    int exponent = 0;
    if (p < end && *p == 'e')
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    while (count > 1 && digits[count - 1] == '0')
        --count;

    if (exponent >= -4 && exponent < 16) {
        if (exponent >= 0) {
            const int intDigits = exponent + 1;
            if (count <= intDigits) {
                out.append(digits, count);
                for (int i = count; i < intDigits; ++i)
                    out.append('0');
                out.append(".0");
            } else {
                out.append(digits, intDigits);
                out.append('.');
                out.append(digits + intDigits, count - intDigits);
            }
        } else {
            out.append("0.");
            for (int i = 0; i < -exponent - 1; ++i)
                out.append('0');
            out.append(digits, count);
        }
        return;
    }
    out.append(digits[0]);
    if (count > 1) {
        out.append('.');
        out.append(digits + 1, count - 1);
    }
    out.append('e');
    out.append(exponent < 0 ? '-' : '+');
    Digits::appendUnsigned(out, std::uint64_t(exponent < 0 ? -exponent : exponent), 2);
}

QByteArray ValueFormat::shortestDouble(double d)
{
    QByteArray out;
    appendShortestDouble(out, d);
    return out;
}

void ValueFormat::appendCurrency(QByteArray &out, std::int64_t units)
{
    const bool negative = units < 0;
    const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(units) : std::uint64_t(units);
    if (negative)
        out.append('-');
    Digits::appendUnsigned(out, magnitude / 10000);
    out.append('.');
    Digits::appendUnsigned(out, magnitude % 10000, 4);
}

QByteArray ValueFormat::currency(std::int64_t units)
{
    QByteArray out;
    appendCurrency(out, units);
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
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                  b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return QByteArray(buf);
}

void ValueFormat::appendCalendarTime(QByteArray &out, double days)
{
    JetDate::Fields f;
    if (!JetDate::toFields(days, &f))
        return;
    // Written into a buffer and appended once: a listing formats two dates a row. Room for
    // six fields of twenty digits, whatever they hold.
    char buffer[160];
    char *p = buffer;
    if (f.year < 0)
        *p++ = '-';
    p = Digits::writeUnsigned(p, std::uint64_t(f.year < 0 ? -std::int64_t(f.year) : f.year), 4);
    for (const auto &[separator, part] :
         {std::pair{'-', f.month}, {'-', f.day}, {' ', f.hour}, {':', f.minute}, {':', f.second}}) {
        *p++ = separator;
        p = Digits::writeUnsigned(p, std::uint64_t(part), 2);
    }
    out.append(buffer, p - buffer);
}

void ValueFormat::appendDateTime(QByteArray &out, double days)
{
    appendCalendarTime(out, days);
    out.append('|');
    appendShortestDouble(out, days);
}

QByteArray ValueFormat::dateTime(double days)
{
    QByteArray out;
    appendDateTime(out, days);
    return out;
}

QByteArray ValueFormat::hex(const QByteArray &bytes)
{
    return QByteArrayLiteral("0x") + bytes.toHex();
}

void ValueFormat::appendEscapedText(QByteArray &out, const QString &text)
{
    const int n = int(text.size());
    const QChar *s = text.constData();
    for (int i = 0; i < n; ++i) {
        const char16_t u = s[i].unicode();
        if (u >= 0x20 && u < 0x7F) {
            if (u == u'\\')
                out.append("\\\\", 2);
            else
                out.append(char(u));
            continue;
        }
        switch (u) {
        case u'\t':
            out.append("\\t", 2);
            continue;
        case u'\n':
            out.append("\\n", 2);
            continue;
        case u'\r':
            out.append("\\r", 2);
            continue;
        default:
            break;
        }
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
            appendUnicodeEscape(out, u);
        } else if (QChar::isHighSurrogate(u)) {
            if (i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
                appendUtf8(out, QChar::surrogateToUcs4(u, s[i + 1].unicode()));
                ++i;
            } else {
                appendUnicodeEscape(out, u);
            }
        } else if (QChar::isLowSurrogate(u)) {
            appendUnicodeEscape(out, u);
        } else {
            appendUtf8(out, u);
        }
    }
}

QByteArray ValueFormat::escapedText(const QString &text)
{
    QByteArray out;
    appendEscapedText(out, text);
    return out;
}

} // namespace jet

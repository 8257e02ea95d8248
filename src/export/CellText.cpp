#include "CellText.h"

#include "db/jet/JetDate.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool ReadNumber(QStringView s, double &value)
{
    // Longer texts are never plain numbers Excel would take (it keeps 15 digits anyway).
    constexpr qsizetype kMaxLength = 64;
    const qsizetype n = s.size();
    if (n == 0 || n > kMaxLength)
        return false;
    char buf[kMaxLength + 1];
    qsizetype i = 0;
    int len = 0;
    if (s[0] == u'+' || s[0] == u'-') {
        if (s[0] == u'-')
            buf[len++] = '-';
        ++i;
    }
    int digits = 0;
    int significant = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (IsDigit(c)) {
            ++digits;
            if (significant > 0 || c != u'0')
                ++significant;
            // Excel keeps fifteen significant digits of what is typed; the rest become zeros.
            buf[len++] = significant > 15 ? '0' : char(c);
        } else if (c == u'.' && !point) {
            point = true;
            buf[len++] = '.';
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        buf[len++] = 'e';
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            buf[len++] = char(s[i++].unicode());
        int expDigits = 0;
        for (; i < n && IsDigit(s[i].unicode()); ++i, ++expDigits)
            buf[len++] = char(s[i].unicode());
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    const std::from_chars_result r = std::from_chars(buf, buf + len, value);
    if (r.ec != std::errc() || r.ptr != buf + len || !std::isfinite(value))
        return false;
    if (value == 0)
        value = 0; // no negative zero
    return true;
}

bool ReadDateTime(QStringView s, bool date1904, double &serial)
{
    // yyyy-mm-dd hh:mm:ss
    if (s.size() != 19)
        return false;
    static const char pattern[] = "dddd-dd-dd dd:dd:dd";
    for (int i = 0; i < 19; ++i) {
        const char16_t c = s[i].unicode();
        if (pattern[i] == 'd' ? !IsDigit(c) : c != char16_t(pattern[i]))
            return false;
    }
    auto num = [&](int at, int count) {
        int v = 0;
        for (int i = 0; i < count; ++i)
            v = v * 10 + (s[at + i].unicode() - u'0');
        return v;
    };
    const int year = num(0, 4), month = num(5, 2), day = num(8, 2);
    const int hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    long long days;
    if (date1904) {
        if (day > jet::JetDate::daysInMonth(year, month))
            return false;
        days = jet::JetDate::daysFromCivil(year, month, day) - jet::JetDate::daysFromCivil(1904, 1, 1);
        if (days < 0)
            return false;
    } else {
        if (year < 1900)
            return false;
        if (year == 1900 && month == 2 && day == 29) {
            days = 60; // the day Excel's 1900 date system has and the calendar has not
        } else {
            if (day > jet::JetDate::daysInMonth(year, month))
                return false;
            days = jet::JetDate::daysFromCivil(year, month, day) - jet::JetDate::daysFromCivil(1899, 12, 30);
            // Before March 1900 Excel counts from 1900-01-01 = 1, one day less.
            if (days < 61)
                --days;
        }
    }
    serial = double(days) + double(hour * 3600 + minute * 60 + second) / 86400.0;
    return true;
}

char *PutHexEscape(char *p, char16_t c)
{
    static const char hex[] = "0123456789ABCDEF";
    *p++ = '_';
    *p++ = 'x';
    *p++ = hex[(c >> 12) & 0xF];
    *p++ = hex[(c >> 8) & 0xF];
    *p++ = hex[(c >> 4) & 0xF];
    *p++ = hex[c & 0xF];
    *p++ = '_';
    return p;
}

bool IsHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "_xHHHH_" at p: a reader would take it for an escape.
bool LooksLikeEscape(const char16_t *p, const char16_t *end)
{
    return end - p >= 7 && p[1] == u'x' && IsHex(p[2]) && IsHex(p[3]) && IsHex(p[4]) && IsHex(p[5]) && p[6] == u'_';
}

} // namespace

TypedCell ReadTypedInput(QStringView input, bool date1904)
{
    TypedCell cell;
    if (input.isEmpty())
        return cell;
    if (input[0] == u'\'') {
        cell.quoted = true;
        cell.text = input.mid(1);
        cell.kind = cell.text.isEmpty() ? TypedCell::Empty : TypedCell::Text;
        return cell;
    }
    const char16_t first = input[0].unicode();
    if ((IsDigit(first) || first == u'-' || first == u'+' || first == u'.') && ReadNumber(input, cell.number)) {
        cell.kind = TypedCell::Number;
        return cell;
    }
    if (IsDigit(first) && ReadDateTime(input, date1904, cell.number)) {
        cell.kind = TypedCell::DateTime;
        return cell;
    }
    cell.kind = TypedCell::Text;
    cell.text = input;
    return cell;
}

void AppendNumber(std::string &out, double value)
{
    char buf[32];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, std::size_t(r.ptr - buf));
}

void AppendCellText(std::string &out, QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    // At most seven bytes per UTF-16 unit ("_xHHHH_").
    const std::size_t old = out.size();
    out.resize(old + std::size_t(text.size()) * 7);
    char *o = out.data() + old;
    while (p < end) {
        const char16_t c = *p;
        if (c < 0x80) {
            if (c >= 0x20) {
                switch (c) {
                case u'&':
                    std::memcpy(o, "&amp;", 5);
                    o += 5;
                    break;
                case u'<':
                    std::memcpy(o, "&lt;", 4);
                    o += 4;
                    break;
                case u'>':
                    std::memcpy(o, "&gt;", 4);
                    o += 4;
                    break;
                case u'_':
                    if (LooksLikeEscape(p, end))
                        o = PutHexEscape(o, c);
                    else
                        *o++ = '_';
                    break;
                default:
                    *o++ = char(c);
                    break;
                }
            } else if (c == u'\t' || c == u'\n') {
                *o++ = char(c);
            } else {
                o = PutHexEscape(o, c);
            }
            ++p;
        } else if (c < 0x800) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
            ++p;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && end - p >= 2 && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
                const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00);
                *o++ = char(0xF0 | (u >> 18));
                *o++ = char(0x80 | ((u >> 12) & 0x3F));
                *o++ = char(0x80 | ((u >> 6) & 0x3F));
                *o++ = char(0x80 | (u & 0x3F));
                p += 2;
            } else {
                o = PutHexEscape(o, c); // a lone surrogate
                ++p;
            }
        } else if (c >= 0xFFFE) {
            o = PutHexEscape(o, c);
            ++p;
        } else {
            *o++ = char(0xE0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
            ++p;
        }
    }
    out.resize(std::size_t(o - out.data()));
}

bool NeedsSpacePreserved(QStringView text)
{
    if (text.isEmpty())
        return false;
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    return blank(text.front()) || blank(text.back());
}

void AppendColumnName(std::string &out, int column)
{
    char buf[8];
    int n = 0;
    while (column > 0) {
        const int rem = (column - 1) % 26;
        buf[n++] = char('A' + rem);
        column = (column - 1) / 26;
    }
    while (n > 0)
        out += buf[--n];
}

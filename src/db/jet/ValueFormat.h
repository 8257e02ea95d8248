#pragma once
// Text forms of values, as the table dump (and orvik-cli) writes them. Each form comes as
// an append* function that writes into an existing buffer (what the dump uses, one line
// buffer for many cells) and as a function returning a new QByteArray.

#include "db/jet/Value.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace jet {

class ValueFormat
{
public:
    // The shortest decimal that reads back as `d`, laid out as the dump writes numbers: plain
    // notation with at least one digit after the point for 1e-4 <= |d| < 1e16, otherwise
    // d.ddde+XX; "-0.0", "nan", "inf", "-inf".
    static void appendShortestDouble(QByteArray &out, double d);
    static QByteArray shortestDouble(double d);
    // Currency: units of 1/10000 with four decimals ("3.5000").
    static void appendCurrency(QByteArray &out, std::int64_t units);
    static QByteArray currency(std::int64_t units);
    // Decimal: the magnitude divided by 10^scale, written with exactly `scale` decimals.
    static QByteArray decimal(const Value::DecimalParts &parts);
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" from the 16 stored bytes.
    static QByteArray guid(const std::uint8_t *bytes16);
    // "yyyy-MM-dd HH:mm:ss|RAW" (the date part is empty for values JetDate refuses).
    static void appendDateTime(QByteArray &out, double days);
    // The date part alone; nothing for values JetDate refuses.
    static void appendCalendarTime(QByteArray &out, double days);
    static QByteArray dateTime(double days);
    // "0x" and lower-case hex.
    static QByteArray hex(const QByteArray &bytes);
    // Text as UTF-8 with the dump's escapes (\\, \t, \n, \r, \uXXXX for other control
    // characters, U+007F-U+009F, U+2028, U+2029 and unpaired surrogates).
    static void appendEscapedText(QByteArray &out, const QString &text);
    static QByteArray escapedText(const QString &text);
};

} // namespace jet

#pragma once
// Decimal digits of whole numbers, written straight into a buffer: the one writer behind
// the dump, the list's cells and the command line's numbers, which format millions of them.

#include <QByteArray>

#include <cstdint>

namespace jet::Digits {

// Writes `v` with at least `minDigits` digits (zeros in front) at `p`; returns the end.
// At most 20 digits (or minDigits) are written.
inline char *writeUnsigned(char *p, std::uint64_t v, int minDigits = 1)
{
    if (minDigits <= 2 && v < 100) {
        // The common case of a list's cells (months, days, hours): no division loop.
        if (v >= 10 || minDigits == 2)
            *p++ = char('0' + v / 10);
        *p++ = char('0' + v % 10);
        return p;
    }
    char reversed[24];
    int n = 0;
    do {
        reversed[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n < minDigits && n < int(sizeof reversed))
        reversed[n++] = '0';
    while (n > 0)
        *p++ = reversed[--n];
    return p;
}

// The same for a signed value, as printf's "%.Nd": the sign in front of at least
// `minDigits` digits.
inline char *writeSigned(char *p, std::int64_t v, int minDigits = 1)
{
    if (v < 0)
        *p++ = '-';
    return writeUnsigned(p, v < 0 ? 0u - std::uint64_t(v) : std::uint64_t(v), minDigits);
}

inline void appendUnsigned(QByteArray &out, std::uint64_t v, int minDigits = 1)
{
    char buffer[24];
    out.append(buffer, writeUnsigned(buffer, v, minDigits) - buffer);
}

inline void appendSigned(QByteArray &out, std::int64_t v, int minDigits = 1)
{
    char buffer[26];
    out.append(buffer, writeSigned(buffer, v, minDigits) - buffer);
}

} // namespace jet::Digits

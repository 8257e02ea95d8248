#include "query/TextOrder.h"

#include <cstring>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

unsigned char folded(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : static_cast<unsigned char>(c);
}

// The end of the run of digits that starts at `i`, and where its leading zeros end.
qsizetype digitsEnd(QByteArrayView text, qsizetype i, qsizetype *significant)
{
    while (i < text.size() && text[i] == '0')
        ++i;
    *significant = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

} // namespace

int CompareTexts(QByteArrayView a, QByteArrayView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    int zeros = 0; // of equal numbers, the one written with fewer leading zeros goes first
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype si = 0;
            qsizetype sj = 0;
            const qsizetype ei = digitsEnd(a, i, &si);
            const qsizetype ej = digitsEnd(b, j, &sj);
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int digits = std::memcmp(a.data() + si, b.data() + sj, size_t(ei - si)))
                return digits;
            if (zeros == 0)
                zeros = int((si - i) - (sj - j));
            i = ei;
            j = ej;
            continue;
        }
        const unsigned char ca = folded(a[i]);
        const unsigned char cb = folded(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return zeros;
}

quint64 TextOrderPrefix(QByteArrayView text)
{
    // The text laid out so that comparing its bytes orders as CompareTexts does: letters
    // folded, and each run of digits as a '0' (digits against other characters compare as
    // any digit does), its count of digits without leading zeros, then those digits. The
    // zeros a run leads with only break ties, which the texts themselves settle.
    unsigned char bytes[8] = {};
    int n = 0;
    const auto put = [&](unsigned char b) {
        if (n < 8)
            bytes[n++] = b;
    };
    qsizetype i = 0;
    while (i < text.size() && n < 8) {
        if (isDigit(text[i])) {
            qsizetype significant = 0;
            const qsizetype end = digitsEnd(text, i, &significant);
            const qsizetype count = end - significant;
            if (count > 200)
                return 0; // a run too long to count in one byte: leave it to CompareTexts
            put('0');
            put(static_cast<unsigned char>(count + 1)); // never 0, which stands for the end
            for (qsizetype k = significant; k < end; ++k)
                put(static_cast<unsigned char>(text[k]));
            i = end;
            continue;
        }
        const unsigned char c = folded(text[i]);
        if (c == 0)
            return 0; // a NUL would read as the end of the text
        put(c);
        ++i;
    }
    quint64 prefix = 0;
    for (const unsigned char b : bytes)
        prefix = (prefix << 8) | b;
    return prefix;
}

#include "db/jet/IndexTextCodes.h"

#include <QChar>

#include <array>

namespace jet {

namespace {

constexpr char kValueFlag = 0x7F;
constexpr char kEnd = 0x00;
constexpr char kJet4CodesEnd = 0x01;

// Codes of the printable ASCII characters (0x20 to 0x7E) in Jet 3 keys; letters of either
// case share one.
constexpr std::array<std::uint8_t, 95> kJet3Codes = {
    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, // space to /
    0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,                                     // 0 to 9
    0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,                                                       // : to @
    0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72, 0x73, // A to P
    0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E,                                     // Q to Z
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D,                                                             // [ to `
    0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72, 0x73, // a to p
    0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E,                                     // q to z
    0x2E, 0x2F, 0x30, 0x31,                                                                         // { to ~
};

// Jet 4 codes of the small letters; a capital letter has its small letter's code (and adds
// case bytes after the codes).
constexpr std::array<std::uint8_t, 26> kJet4Letters = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                                       0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                                       0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};

// Whether some character other than the letter's two cases folds to the same character:
// then equal texts need not share the letter's code.
bool foldsFromElsewhere(char16_t c)
{
    static const std::array<bool, 128> shared = [] {
        std::array<bool, 128> table{};
        for (char32_t u = 0x80; u <= 0xFFFF; ++u) {
            if (u >= 0xD800 && u <= 0xDFFF)
                continue;
            const char32_t folded = QChar::toCaseFolded(u);
            if (folded < 128)
                table[folded] = true;
        }
        return table;
    }();
    return c < 128 && shared[QChar::toCaseFolded(char32_t(c))];
}

// The Jet 4 code of c, and whether c adds case or accent bytes; 0 when c has no known code.
std::uint8_t jet4Code(char16_t c, bool *addsCaseBytes)
{
    *addsCaseBytes = false;
    if (c >= u'0' && c <= u'9')
        return std::uint8_t(0x36 + 2 * (c - u'0'));
    if (c >= u'a' && c <= u'z')
        return kJet4Letters[std::size_t(c - u'a')];
    if (c >= u'A' && c <= u'Z') {
        *addsCaseBytes = true;
        return kJet4Letters[std::size_t(c - u'A')];
    }
    if (c == u' ')
        return 0x07;
    if (c == u'+')
        return 0x2C;
    return 0;
}

std::uint8_t jet3Code(char16_t c)
{
    return c >= 0x20 && c <= 0x7E ? kJet3Codes[std::size_t(c - 0x20)] : 0;
}

// 7F, the codes of `text`, and Jet 3's end; false when a character has no code (or, with
// `exact` in Jet 4, adds case bytes; with `equality`, folds from elsewhere).
bool appendCodes(Format format, QStringView text, bool exact, bool equality, QByteArray *out)
{
    out->clear();
    out->reserve(text.size() + 3);
    out->append(kValueFlag);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (equality && foldsFromElsewhere(c))
            return false;
        std::uint8_t code = 0;
        if (format == Format::Jet3) {
            code = jet3Code(c);
        } else {
            bool addsCaseBytes = false;
            code = jet4Code(c, &addsCaseBytes);
            if (exact && addsCaseBytes)
                return false;
        }
        if (code == 0)
            return false;
        out->append(char(code));
    }
    // Jet 3 has no case bytes: the end follows the codes (no sample has an empty Jet 3 key).
    if (format == Format::Jet3) {
        if (text.isEmpty())
            return false;
        out->append(kEnd);
    } else {
        out->append(kJet4CodesEnd);
    }
    return true;
}

} // namespace

bool IndexTextCodes::exactKey(Format format, QStringView text, QByteArray *key)
{
    if (!appendCodes(format, text, true, false, key))
        return false;
    if (format == Format::Jet4)
        key->append(kEnd);
    return true;
}

bool IndexTextCodes::equalityPrefix(Format format, QStringView text, QByteArray *prefix)
{
    if (!appendCodes(format, text, false, true, prefix))
        return false;
    // The empty text has no case bytes: its whole key.
    if (format == Format::Jet4 && text.isEmpty())
        prefix->append(kEnd);
    return true;
}

} // namespace jet

// CodePageTranscoder on the Windows code-page functions.
#include "platform/CodePageTranscoder.h"

#include <climits>
#include <cstdint>

#include <windows.h>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Code pages whose conversions take no flags at all (the ISO-2022 family, ISCII, UTF-7).
bool takesNoFlags(UINT codePage)
{
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011)
           || codePage == 65000;
}

// UTF-8 and GB18030 hold every character: they take no default character.
bool holdsEveryCharacter(UINT codePage)
{
    return codePage == CP_UTF8 || codePage == 54936;
}

int decodeStrict(UINT codePage, const char *data, int length, wchar_t *out, int outSize)
{
    const DWORD flags = takesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
    return MultiByteToWideChar(codePage, flags, data, length, out, outSize);
}

} // namespace

struct CodePageTranscoder::State
{
    UINT codePage = CP_UTF8;
    bool valid = false;
    int maxCharSize = 1;
};

CodePageTranscoder::CodePageTranscoder(int codePage) : m_state(std::make_unique<State>())
{
    // Code page 0 is UTF-8 here too, not the ANSI code page of the machine, so that a file
    // reads the same on every computer.
    m_state->codePage = codePage == 0 ? CP_UTF8 : UINT(codePage);
    // A system without GB18030 (Wine 8) still reads GBK, the part of it these files use.
    if (m_state->codePage == 54936 && !IsValidCodePage(54936))
        m_state->codePage = 936;
    CPINFO info{};
    m_state->valid = codePage >= 0 && IsValidCodePage(m_state->codePage) && GetCPInfo(m_state->codePage, &info);
    m_state->maxCharSize = m_state->valid ? int(info.MaxCharSize) : 1;
}

CodePageTranscoder::~CodePageTranscoder() = default;

bool CodePageTranscoder::isValid() const
{
    return m_state->valid;
}

bool CodePageTranscoder::isSingleByte() const
{
    return m_state->valid && m_state->maxCharSize == 1;
}

void CodePageTranscoder::toUtf16(const char *data, qsizetype length, QString &out)
{
    out.resize(0);
    if (!m_state->valid || length <= 0 || length > qsizetype(INT_MAX / 2))
        return;
    const UINT cp = m_state->codePage;
    const int n = decodeStrict(cp, data, int(length), nullptr, 0);
    if (n > 0) {
        out.resize(n);
        decodeStrict(cp, data, int(length), reinterpret_cast<wchar_t *>(out.data()), n);
    } else {
        // Some byte is invalid: one character at a time, trying each length a character of
        // this code page can have; a byte that starts none becomes U+FFFD.
        out.reserve(length);
        wchar_t units[2];
        for (qsizetype at = 0; at < length;) {
            int taken = 0;
            int produced = 0;
            for (int size = 1; size <= m_state->maxCharSize && at + size <= length && !produced; ++size) {
                produced = decodeStrict(cp, data + at, size, units, 2);
                taken = size;
            }
            if (produced > 0) {
                out.append(reinterpret_cast<const QChar *>(units), produced);
                at += taken;
            } else {
                out.append(QChar(kReplacement));
                ++at;
            }
        }
    }
    if (isSingleByte()) {
        // Windows maps the bytes a single-byte code page leaves undefined onto the C1
        // control of the same value (CP1252 0x81 -> U+0081); no ANSI text holds those.
        QChar *units = out.data();
        for (qsizetype i = 0; i < out.size(); ++i) {
            const char16_t u = units[i].unicode();
            if (u >= 0x80 && u <= 0x9F && u == std::uint8_t(data[i]))
                units[i] = QChar(kReplacement);
        }
    }
}

QByteArray CodePageTranscoder::fromUtf16(QStringView text)
{
    QByteArray out;
    if (!m_state->valid || text.isEmpty() || text.size() > qsizetype(INT_MAX / 4))
        return out;
    const UINT cp = m_state->codePage;
    const bool every = holdsEveryCharacter(cp);
    const DWORD flags = takesNoFlags(cp) ? 0 : (every ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS);
    const auto encode = [&](const char16_t *units, int count, char *buffer, int size) {
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(cp, flags, reinterpret_cast<const wchar_t *>(units), count, buffer, size,
                                          every ? nullptr : "?", every ? nullptr : &usedDefault);
        return usedDefault ? 0 : n;
    };
    const int n = encode(text.utf16(), int(text.size()), nullptr, 0);
    if (n > 0) {
        out.resize(n);
        encode(text.utf16(), int(text.size()), out.data(), n);
        return out;
    }
    // Some character has no bytes in this code page: one character at a time.
    char bytes[16];
    for (qsizetype at = 0; at < text.size();) {
        const bool pair = text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        const int units = pair ? 2 : 1;
        const int produced = encode(text.utf16() + at, units, bytes, int(sizeof bytes));
        if (produced > 0)
            out.append(bytes, produced);
        else
            out.append('?');
        at += units;
    }
    return out;
}

#include "lang/CodePageConverter.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>

#include <iconv.h>

namespace {

// UTF-16 in the machine's byte order, without a byte-order mark.
constexpr const char *kUtf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// One iconv conversion descriptor, closed on destruction.
class IconvHandle
{
public:
    IconvHandle(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (IsOpen())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts in[0, inLength) from the start state and hands each piece of output to sink.
    // Input that is invalid in the source encoding, or that the target cannot represent,
    // is passed over one character at a time (skip says how many bytes that character
    // takes) and replaced by `replacement`, the way the Windows converters substitute
    // instead of failing when no strict flag is given.
    template <typename Sink>
    void Run(const char *in, size_t inLength, size_t (*skip)(const char *, size_t), std::string_view replacement,
             Sink &&sink)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char scratch[512];
        char *inPtr = const_cast<char *>(in);
        size_t inLeft = inLength;
        bool flushing = false;
        for (;;) {
            char *outPtr = scratch;
            size_t outLeft = sizeof scratch;
            const size_t result = flushing ? iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft)
                                           : iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            sink(scratch, size_t(outPtr - scratch));
            if (result != size_t(-1)) {
                if (flushing)
                    return;
                flushing = true; // all input taken; let a stateful encoding close its shift
                continue;
            }
            if (error == E2BIG)
                continue;
            if ((error == EILSEQ || error == EINVAL) && !flushing && inLeft > 0) {
                const size_t n = std::clamp<size_t>(skip(inPtr, inLeft), 1, inLeft);
                inPtr += n;
                inLeft -= n;
                sink(replacement.data(), replacement.size());
                continue;
            }
            return;
        }
    }

private:
    iconv_t m_cd;
};

size_t SkipOneByte(const char *, size_t)
{
    return 1;
}

// One UTF-16 code unit, or two when they form a surrogate pair.
size_t SkipOneUtf16Character(const char *p, size_t left)
{
    char16_t first;
    std::memcpy(&first, p, sizeof first);
    if (first >= 0xD800 && first < 0xDC00 && left >= 4) {
        char16_t second;
        std::memcpy(&second, p + 2, sizeof second);
        if (second >= 0xDC00 && second < 0xE000)
            return 4;
    }
    return 2;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

CodePageConverter::CodePageConverter() = default;
CodePageConverter::~CodePageConverter() = default;

QStringView CodePageConverter::ToWide(const char *text, int codePage)
{
    if (!m_wide) {
        m_wide = std::make_unique<char16_t[]>(m_initialCapacity);
        m_wideCapacity = m_initialCapacity;
    }
    m_wide[0] = u'\0';
    if (!text)
        return {};
    IconvHandle cd(kUtf16Name, IconvNameForCodePage(codePage).constData());
    if (!cd.IsOpen())
        return {};

    static constexpr char16_t kReplacement = 0xFFFD;
    const std::string_view replacement(reinterpret_cast<const char *>(&kReplacement), sizeof kReplacement);
    const size_t length = std::strlen(text);

    // First pass: the size of the result, so the buffer can be made to fit it.
    size_t bytes = 0;
    cd.Run(text, length, SkipOneByte, replacement, [&](const char *, size_t n) { bytes += n; });
    const size_t units = bytes / sizeof(char16_t);
    if (units + 1 > size_t(INT_MAX))
        return {};
    if (size_t(m_wideCapacity) < units + 1) {
        m_wide = std::make_unique<char16_t[]>(units + 1);
        m_wideCapacity = int(units + 1);
    }

    char *out = reinterpret_cast<char *>(m_wide.get());
    size_t written = 0;
    cd.Run(text, length, SkipOneByte, replacement, [&](const char *p, size_t n) {
        n = std::min(n, units * sizeof(char16_t) - written);
        std::memcpy(out + written, p, n);
        written += n;
    });
    m_wide[units] = u'\0';
    return QStringView(m_wide.get(), qsizetype(units));
}

std::string_view CodePageConverter::ToNarrow(QStringView text, int codePage)
{
    if (!m_narrow) {
        m_narrow = std::make_unique<char[]>(m_initialCapacity);
        m_narrowCapacity = m_initialCapacity;
    }
    m_narrow[0] = '\0';
    // Like a terminated wide string, the text ends at its first U+0000.
    if (const qsizetype end = text.indexOf(QChar(u'\0')); end >= 0)
        text = text.left(end);
    IconvHandle cd(IconvNameForCodePage(codePage).constData(), kUtf16Name);
    if (!cd.IsOpen())
        return {};

    const char *in = reinterpret_cast<const char *>(text.utf16());
    const size_t inLength = size_t(text.size()) * sizeof(char16_t);
    size_t bytes = 0;
    cd.Run(in, inLength, SkipOneUtf16Character, "?", [&](const char *, size_t n) { bytes += n; });
    if (bytes + 1 > size_t(INT_MAX))
        return {};
    if (size_t(m_narrowCapacity) < bytes + 1) {
        m_narrow = std::make_unique<char[]>(bytes + 1);
        m_narrowCapacity = int(bytes + 1);
    }

    size_t written = 0;
    cd.Run(in, inLength, SkipOneUtf16Character, "?", [&](const char *p, size_t n) {
        n = std::min(n, bytes - written);
        std::memcpy(m_narrow.get() + written, p, n);
        written += n;
    });
    m_narrow[bytes] = '\0';
    return std::string_view(m_narrow.get(), bytes);
}

int CodePageFromEncoding(const char *encoding)
{
    if (!encoding)
        return 0;
    struct Entry
    {
        std::string_view name;
        int codePage;
    };
    static constexpr Entry kTable[] = {
        {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253},
        {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257},
        {"windows-1258", 1258}, {"big5", 950},          {"gb2312", 936},        {"shift_jis", 932},
        {"euc-kr", 51949},      {"tis-620", 874},       {"iso-8859-8", 28598},  {"utf-8", 65001},
    };
    const std::string_view name(encoding);
    for (const Entry &entry : kTable) {
        if (EqualsIgnoringAsciiCase(name, entry.name))
            return entry.codePage;
    }
    return 0;
}

QByteArray IconvNameForCodePage(int codePage)
{
    switch (codePage) {
    case 0: // the system's multibyte code page
    case 65001:
        return "UTF-8";
    case 936:
        return "CP936";
    case 950:
        return "CP950";
    case 932:
        return "CP932";
    case 949:
        return "CP949";
    case 51949:
        return "EUC-KR";
    case 874:
        return "CP874";
    case 54936:
        return "GB18030";
    case 20127:
        return "ASCII";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 51932:
        return "EUC-JP";
    case 28603:
        return "ISO-8859-13";
    case 28605:
        return "ISO-8859-15";
    default:
        break;
    }
    if (codePage >= 28591 && codePage <= 28599)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    // 437, 850, 866, 1250 … 1258 and the other Windows and DOS code pages.
    return "CP" + QByteArray::number(codePage);
}

// CodePageTranscoder on glibc's iconv.
#include "platform/CodePageTranscoder.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <iconv.h>

namespace {

// UTF-16 in the machine's byte order, without a byte-order mark.
constexpr const char *kUtf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = 0xFFFD;

// The iconv name of a Windows code page ("UTF-8" for 0 and 65001, "CP936" for 936, ...).
// Code pages without an entry of their own are tried as "CP<number>".
QByteArray iconvName(int codePage)
{
    switch (codePage) {
    case 0: // the system's multibyte code page
    case 65001:
        return "UTF-8";
    case 51949:
        return "EUC-KR";
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
    // 437, 850, 866, 874, 932, 936, 949, 950, 1250 … 1258 and the other Windows and DOS pages.
    return "CP" + QByteArray::number(codePage);
}

// One iconv conversion descriptor, closed on destruction.
class IconvHandle
{
public:
    IconvHandle(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts in[0, inLength) from the start state and hands each piece of output to sink.
    // Input that is invalid in the source encoding, or that the target cannot represent,
    // is passed over one character at a time (skip says how many bytes that character
    // takes) and replaced by `replacement`.
    template <typename Sink>
    void run(const char *in, size_t inLength, size_t (*skip)(const char *, size_t), std::string_view replacement,
             Sink &&sink)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        alignas(char16_t) char scratch[512];
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

    // Converts one byte from the start state: how many output bytes it gave, or -1 for an
    // invalid byte, -2 for a byte that only starts a sequence.
    int probe(char byte, char *out, size_t outSize)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *inPtr = &byte;
        size_t inLeft = 1;
        char *outPtr = out;
        size_t outLeft = outSize;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
            return errno == EINVAL ? -2 : -1;
        return int(outSize - outLeft);
    }

private:
    iconv_t m_cd;
};

size_t skipOneByte(const char *, size_t)
{
    return 1;
}

// One UTF-16 code unit, or two when they form a surrogate pair.
size_t skipOneUtf16Character(const char *p, size_t left)
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

} // namespace

struct CodePageTranscoder::State
{
    explicit State(int codePage)
        : name(iconvName(codePage))
        , decoder(kUtf16Name, name.constData())
        , encoder(name.constData(), kUtf16Name)
    {}
    QByteArray name;
    IconvHandle decoder;
    IconvHandle encoder;
};

CodePageTranscoder::CodePageTranscoder(int codePage) : m_state(std::make_unique<State>(codePage)) {}

CodePageTranscoder::~CodePageTranscoder() = default;

bool CodePageTranscoder::isValid() const
{
    return m_state->decoder.isOpen() && m_state->encoder.isOpen();
}

bool CodePageTranscoder::isSingleByte() const
{
    if (!isValid())
        return false;
    // A byte that only starts a sequence, or one that gives more than one UTF-16 unit,
    // marks a multi-byte code page.
    for (int b = 0; b < 256; ++b) {
        char out[8];
        const int produced = m_state->decoder.probe(char(b), out, sizeof out);
        if (produced == -2 || produced > 2)
            return false;
    }
    return true;
}

void CodePageTranscoder::toUtf16(const char *data, qsizetype length, QString &out)
{
    out.resize(0);
    if (!isValid() || length <= 0)
        return;
    out.reserve(length);
    const std::string_view replacement(reinterpret_cast<const char *>(&kReplacement), sizeof kReplacement);
    // iconv writes whole characters, so every piece holds whole UTF-16 units.
    m_state->decoder.run(data, size_t(length), skipOneByte, replacement, [&](const char *p, size_t n) {
        out.append(reinterpret_cast<const QChar *>(p), qsizetype(n / sizeof(char16_t)));
    });
}

QByteArray CodePageTranscoder::fromUtf16(QStringView text)
{
    QByteArray out;
    if (!isValid() || text.isEmpty())
        return out;
    m_state->encoder.run(reinterpret_cast<const char *>(text.utf16()), size_t(text.size()) * sizeof(char16_t),
                         skipOneUtf16Character, "?", [&](const char *p, size_t n) { out.append(p, qsizetype(n)); });
    return out;
}

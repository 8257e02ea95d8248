#include "db/jet/TextCodec.h"

#include <QByteArray>

#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <vector>

namespace jet {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

std::mutex &registryLock()
{
    static std::mutex lock;
    return lock;
}

// Code page -> codec (several code pages may share the 1252 fallback), and the owners.
std::map<int, const TextCodec *> &registry()
{
    static std::map<int, const TextCodec *> codecs;
    return codecs;
}

std::vector<std::unique_ptr<TextCodec>> &owners()
{
    static std::vector<std::unique_ptr<TextCodec>> list;
    return list;
}

iconv_t toIconv(void *p)
{
    return static_cast<iconv_t>(p);
}

} // namespace

QByteArray TextCodec::iconvName(int codePage)
{
    return "CP" + QByteArray::number(codePage);
}

const TextCodec *TextCodec::forCodePage(int codePage)
{
    if (codePage <= 0)
        codePage = 1252;
    std::lock_guard<std::mutex> guard(registryLock());
    auto &codecs = registry();
    auto it = codecs.find(codePage);
    if (it != codecs.end())
        return it->second;

    std::unique_ptr<TextCodec> codec(new TextCodec);
    if (!codec->init(codePage)) {
        if (codePage != 1252) {
            // Unknown to iconv: read it as 1252.
            auto fallback = codecs.find(1252);
            const TextCodec *result = nullptr;
            if (fallback != codecs.end()) {
                result = fallback->second;
            } else {
                std::unique_ptr<TextCodec> cp1252(new TextCodec);
                if (!cp1252->init(1252))
                    cp1252->initLatin1();
                result = cp1252.get();
                codecs.emplace(1252, result);
                owners().push_back(std::move(cp1252));
            }
            codecs.emplace(codePage, result);
            return result;
        }
        codec->initLatin1(); // no iconv data at all
    }
    const TextCodec *result = codec.get();
    codecs.emplace(codePage, result);
    owners().push_back(std::move(codec));
    return result;
}

void TextCodec::initLatin1()
{
    for (int b = 0; b < 256; ++b)
        m_table[b] = char16_t(b);
    m_singleByte = true;
    m_codePage = 1252;
}

TextCodec::~TextCodec()
{
    if (m_iconv)
        iconv_close(toIconv(m_iconv));
}

bool TextCodec::init(int codePage)
{
    const QByteArray name = iconvName(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == iconv_t(-1))
        return false;
    m_codePage = codePage;

    // Convert each byte on its own. A byte that is only the start of a sequence (EINVAL)
    // marks a multi-byte code page, which keeps iconv for whole values.
    bool singleByte = true;
    for (int b = 0; b < 256 && singleByte; ++b) {
        char in = char(b);
        char outBuf[8];
        char *inPtr = &in;
        size_t inLeft = 1;
        char *outPtr = outBuf;
        size_t outLeft = sizeof outBuf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const size_t produced = sizeof outBuf - outLeft;
        if (r == size_t(-1)) {
            if (errno == EINVAL) {
                singleByte = false;
            } else {
                m_table[b] = kReplacement;
            }
        } else if (produced == 2) {
            m_table[b] = char16_t(std::uint8_t(outBuf[0]) | (std::uint8_t(outBuf[1]) << 8));
        } else if (produced == 0) {
            m_table[b] = kReplacement;
        } else {
            singleByte = false; // a byte that maps to a surrogate pair or to several units
        }
    }
    m_singleByte = singleByte;
    if (singleByte) {
        iconv_close(cd);
    } else {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        m_iconv = cd;
    }
    return true;
}

void TextCodec::decode(const std::uint8_t *data, int length, QString &out) const
{
    if (length <= 0) {
        out.resize(0);
        return;
    }
    if (!m_singleByte) {
        decodeMultiByte(data, length, out);
        return;
    }
    out.resize(length);
    QChar *dst = out.data();
    for (int i = 0; i < length; ++i)
        dst[i] = QChar(m_table[data[i]]);
}

QString TextCodec::decode(const std::uint8_t *data, int length) const
{
    QString s;
    decode(data, length, s);
    return s;
}

void TextCodec::decodeMultiByte(const std::uint8_t *data, int length, QString &out) const
{
    std::lock_guard<std::mutex> guard(m_iconvLock);
    iconv_t cd = toIconv(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    // UTF-16 never needs more than two units per input byte here.
    std::vector<char> buffer(std::size_t(length) * 4 + 8);
    char *inPtr = const_cast<char *>(reinterpret_cast<const char *>(data));
    size_t inLeft = size_t(length);
    char *outPtr = buffer.data();
    size_t outLeft = buffer.size();
    while (inLeft > 0) {
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r != size_t(-1))
            break;
        if (outLeft < 2)
            break; // cannot happen with the size above; stop rather than loop
        if (errno == EILSEQ) {
            // Undefined byte: U+FFFD for it, then go on with the next byte.
            outPtr[0] = char(kReplacement & 0xFF);
            outPtr[1] = char(kReplacement >> 8);
            outPtr += 2;
            outLeft -= 2;
            ++inPtr;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (errno == EINVAL) {
            // A lead byte cut off at the end of the value.
            outPtr[0] = char(kReplacement & 0xFF);
            outPtr[1] = char(kReplacement >> 8);
            outPtr += 2;
            outLeft -= 2;
            break;
        } else {
            break;
        }
    }
    const int units = int((buffer.size() - outLeft) / 2);
    out.resize(units);
    QChar *dst = out.data();
    const auto *src = reinterpret_cast<const std::uint8_t *>(buffer.data());
    for (int i = 0; i < units; ++i)
        dst[i] = QChar(char16_t(src[2 * i] | (src[2 * i + 1] << 8)));
}

void TextCodec::decodeJet4(const std::uint8_t *data, int length, QString &out)
{
    if (length >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        // Compressed: at most one character per byte. Every 00 byte ends a segment and
        // toggles the mode; an uncompressed segment is read in pairs, and an odd byte left
        // at its end is dropped.
        out.resize(length - 2);
        QChar *dst = out.data();
        int n = 0;
        bool compressed = true;
        int segment = 2;
        for (int i = 2; i <= length; ++i) {
            if (i < length && data[i] != 0)
                continue;
            if (compressed) {
                for (int k = segment; k < i; ++k)
                    dst[n++] = QChar(char16_t(data[k]));
            } else {
                for (int k = segment; k + 1 < i; k += 2)
                    dst[n++] = QChar(char16_t(data[k] | (data[k + 1] << 8)));
            }
            compressed = !compressed;
            segment = i + 1;
        }
        out.resize(n);
        return;
    }
    const int units = length / 2;
    out.resize(units);
    QChar *dst = out.data();
    for (int i = 0; i < units; ++i)
        dst[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
}

QString TextCodec::decodeJet4(const std::uint8_t *data, int length)
{
    QString s;
    decodeJet4(data, length, s);
    return s;
}

QString TextCodec::decodeUcs2(const std::uint8_t *data, int length)
{
    QString s(length / 2, Qt::Uninitialized);
    QChar *dst = s.data();
    for (int i = 0; i < length / 2; ++i)
        dst[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
    return s;
}

} // namespace jet

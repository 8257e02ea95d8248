#include "db/jet/TextCodec.h"

#include "platform/CodePageTranscoder.h"

#include <cstring>
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

} // namespace

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
            // Unknown to this platform: read it as 1252.
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
        codec->initLatin1(); // no code-page data at all
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

TextCodec::TextCodec() = default;
TextCodec::~TextCodec() = default;

bool TextCodec::init(int codePage)
{
    auto transcoder = std::make_unique<CodePageTranscoder>(codePage);
    if (!transcoder->isValid())
        return false;
    m_codePage = codePage;
    m_singleByte = transcoder->isSingleByte();
    if (!m_singleByte) {
        m_transcoder = std::move(transcoder);
        return true;
    }
    QString one;
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        transcoder->toUtf16(&byte, 1, one);
        m_table[b] = one.size() == 1 ? one.at(0).unicode() : kReplacement;
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
    std::lock_guard<std::mutex> guard(m_transcoderLock);
    m_transcoder->toUtf16(reinterpret_cast<const char *>(data), length, out);
}

void TextCodec::decodeJet4(const std::uint8_t *data, int length, QString &out)
{
    if (length >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        // The usual case: one-byte characters all through, widened in one pass.
        if (std::memchr(data + 2, 0, std::size_t(length - 2)) == nullptr) {
            out.resize(length - 2);
            char16_t *dst = reinterpret_cast<char16_t *>(out.data());
            for (int i = 2; i < length; ++i)
                *dst++ = char16_t(data[i]);
            return;
        }
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

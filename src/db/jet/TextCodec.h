#pragma once
// Text decoding for Jet values and names.
//
// Jet 4 text is UCS-2LE, optionally "Unicode compressed": a value starting with FF FE is
// read one byte per character (U+0000-U+00FF) and every 00 byte toggles between that
// mode and plain UCS-2 pairs.
//
// Jet 3 text is in an ANSI code page and goes through CodePageTranscoder. Single-byte
// code pages are turned into a 256-entry table once, so decoding a value is a table
// lookup; bytes the code page does not define (CP1252 0x81, 0x8D, 0x8F, 0x90, 0x9D) become
// U+FFFD. Double-byte code pages (932, 936, 949, 950) are converted per value.

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

class CodePageTranscoder;

namespace jet {

class TextCodec
{
public:
    // The codec of a Windows code page, created on first use and kept for the life of the
    // program (the pointer stays valid). Code page 0 or one this platform does not know
    // falls back to 1252. Thread-safe.
    static const TextCodec *forCodePage(int codePage);

    int codePage() const { return m_codePage; }
    bool isSingleByte() const { return m_singleByte; }

    // Decodes ANSI bytes; `out` is overwritten (its buffer is reused when possible).
    void decode(const std::uint8_t *data, int length, QString &out) const;
    QString decode(const std::uint8_t *data, int length) const;

    // Jet 4 text: UCS-2LE, or compressed when the value starts with FF FE.
    static void decodeJet4(const std::uint8_t *data, int length, QString &out);
    static QString decodeJet4(const std::uint8_t *data, int length);
    // Plain UCS-2LE without the compression check (names in table definitions).
    static QString decodeUcs2(const std::uint8_t *data, int length);

    ~TextCodec();
    TextCodec(const TextCodec &) = delete;
    TextCodec &operator=(const TextCodec &) = delete;

private:
    TextCodec();
    bool init(int codePage);
    void initLatin1();
    void decodeMultiByte(const std::uint8_t *data, int length, QString &out) const;

    int m_codePage = 0;
    bool m_singleByte = true;
    char16_t m_table[256] = {};
    std::unique_ptr<CodePageTranscoder> m_transcoder; // for multi-byte code pages
    mutable std::mutex m_transcoderLock;
};

} // namespace jet

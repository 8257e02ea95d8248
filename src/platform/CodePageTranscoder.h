#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>

// Converts text between one Windows-numbered code page and UTF-16. The header is the same
// everywhere; the build picks the implementation: CodePageTranscoderPosix.cpp (iconv) or
// CodePageTranscoderWin32.cpp (MultiByteToWideChar / WideCharToMultiByte).
//
// Both follow the same rules, so text reads the same on every platform:
// - code page 0, the "system's multibyte code page" of the settings and language files,
//   is UTF-8;
// - a byte that does not start a valid character becomes one U+FFFD and decoding goes on
//   with the next byte (a lead byte cut off at the end of the input too); a byte that a
//   single-byte code page leaves undefined (CP1252 0x81, for example) becomes U+FFFD;
// - a character the code page cannot hold becomes one '?', a surrogate pair counting as
//   one character; nothing is replaced by a look-alike ("best fit").
// A transcoder may keep conversion state: one thread at a time.
class CodePageTranscoder
{
public:
    explicit CodePageTranscoder(int codePage);
    ~CodePageTranscoder();
    CodePageTranscoder(const CodePageTranscoder &) = delete;
    CodePageTranscoder &operator=(const CodePageTranscoder &) = delete;

    // False when this platform has no converter for the code page; nothing converts then.
    bool isValid() const;
    // True when every character of the code page is one byte.
    bool isSingleByte() const;

    // Decodes `length` bytes; `out` is overwritten (its buffer is reused when possible).
    void toUtf16(const char *data, qsizetype length, QString &out);
    // Encodes the whole of `text` (a U+0000 in it is encoded like any other character).
    QByteArray fromUtf16(QStringView text);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#pragma once

#include <QByteArray>
#include <QStringView>

#include <memory>
#include <string_view>

// Converts between multibyte text in a Windows-numbered code page and UTF-16.
//
// The language files and a few other inputs name their encoding by a Windows code-page
// number (936, 1254, 65001, ...); CodePageTranscoder converts, with its rules for invalid
// bytes and missing characters. Code page 0, the system's multibyte code page, is UTF-8.
//
// A converter owns two growable buffers, one of bytes and one of UTF-16 units. Each gets
// the initial capacity (1024) on its first use and is replaced by one of exactly the needed
// size when a result does not fit. The view a conversion returns points into the buffer and
// stays valid until the next conversion of the same direction or the converter's
// destruction. A converter is meant to live for one lookup or one menu translation; it is
// not shared between threads.
class CodePageConverter
{
public:
    static constexpr int kInitialCapacity = 1024;

    CodePageConverter();
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter &) = delete;
    CodePageConverter &operator=(const CodePageConverter &) = delete;

    // Decodes the NUL-terminated text from codePage. Bytes that are not valid in the code
    // page become U+FFFD. The result is empty when text is null or when the code page has no
    // converter.
    QStringView ToWide(const char *text, int codePage);

    // Encodes text (up to its first U+0000, if any) into codePage, NUL-terminated. Characters
    // the code page cannot represent become '?'. The result is empty when the code page has
    // no converter.
    std::string_view ToNarrow(QStringView text, int codePage);

    // Current buffer sizes (0 until the buffer is first used).
    int WideCapacity() const { return m_wideCapacity; }

private:
    int m_initialCapacity = kInitialCapacity;
    std::unique_ptr<char[]> m_narrow;
    int m_narrowCapacity = 0;
    std::unique_ptr<char16_t[]> m_wide;
    int m_wideCapacity = 0;
};

// The code page that an XML declaration's encoding name stands for, compared without regard
// to ASCII letter case: windows-1250 … windows-1258, big5 (950), gb2312 (936),
// shift_jis (932), euc-kr (51949), tis-620 (874), iso-8859-8 (28598) and utf-8 (65001).
// A null name, the empty name and every other name give 0.
int CodePageFromEncoding(const char *encoding);

#include "lang/CodePageConverter.h"

#include "platform/CodePageTranscoder.h"

#include <climits>
#include <cstring>

namespace {

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
    CodePageTranscoder transcoder(codePage);
    if (!transcoder.isValid())
        return {};
    QString wide;
    transcoder.toUtf16(text, qsizetype(std::strlen(text)), wide);
    const size_t units = size_t(wide.size());
    if (units + 1 > size_t(INT_MAX))
        return {};
    if (size_t(m_wideCapacity) < units + 1) {
        m_wide = std::make_unique<char16_t[]>(units + 1);
        m_wideCapacity = int(units + 1);
    }
    std::memcpy(m_wide.get(), wide.utf16(), units * sizeof(char16_t));
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
    CodePageTranscoder transcoder(codePage);
    if (!transcoder.isValid())
        return {};
    const QByteArray narrow = transcoder.fromUtf16(text);
    const size_t bytes = size_t(narrow.size());
    if (bytes + 1 > size_t(INT_MAX))
        return {};
    if (size_t(m_narrowCapacity) < bytes + 1) {
        m_narrow = std::make_unique<char[]>(bytes + 1);
        m_narrowCapacity = int(bytes + 1);
    }
    std::memcpy(m_narrow.get(), narrow.constData(), bytes);
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

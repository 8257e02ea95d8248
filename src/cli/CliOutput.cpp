#include "cli/CliOutput.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Cli {

namespace {
constexpr qsizetype kFlushThreshold = 1 << 16;
// Why the output last failed (errno), for the message at the end.
int g_outputError = 0;
} // namespace

void appendEscapedUtf8(std::string &line, QByteArrayView field)
{
    // The escape letter of each byte that needs one (0 for the others): a table lookup per
    // byte instead of four comparisons, as every cell of a listing passes through here.
    static constexpr auto kEscapes = [] {
        std::array<char, 256> table{};
        table[std::uint8_t('\\')] = '\\';
        table[std::uint8_t('\t')] = 't';
        table[std::uint8_t('\n')] = 'n';
        table[std::uint8_t('\r')] = 'r';
        return table;
    }();
    // Eight bytes at a time may be passed over when none of them is below 0E (tab, line
    // feed and carriage return are) or a backslash.
    static constexpr auto mayNeedEscape = [](std::uint64_t word) {
        constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
        const std::uint64_t backslashes = word ^ (ones * 0x5C);
        return (((word - ones * 0x0E) & ~word) | ((backslashes - ones) & ~backslashes)) & highs;
    };
    // Text between the characters that need an escape is copied in runs.
    const char *p = field.data();
    const char *const end = p + field.size();
    while (p < end) {
        const char *run = p;
        for (std::uint64_t word = 0; end - p >= 8; p += 8) {
            std::memcpy(&word, p, 8);
            if (mayNeedEscape(word))
                break;
        }
        while (p < end && kEscapes[std::uint8_t(*p)] == 0)
            ++p;
        line.append(run, size_t(p - run));
        if (p == end)
            break;
        line += '\\';
        line += kEscapes[std::uint8_t(*p)];
        ++p;
    }
}

void appendEscaped(std::string &line, const QString &field)
{
    appendEscapedUtf8(line, field.toUtf8());
}

void appendCsvField(std::string &line, QByteArrayView field)
{
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::none_of(field.begin(), field.end(), special)) {
        line.append(field.data(), size_t(field.size()));
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

LineWriter::LineWriter(std::FILE *stream) : m_stream(stream)
{
    m_buffer.reserve(size_t(kFlushThreshold) * 2);
}

LineWriter::~LineWriter()
{
    flush();
}

void LineWriter::writeFields(const QStringList &fields)
{
    if (m_failed)
        return;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            m_buffer += '\t';
        appendEscaped(m_buffer, fields.at(i));
    }
    m_buffer += '\n';
    if (qsizetype(m_buffer.size()) >= kFlushThreshold)
        flush();
}

void LineWriter::write(QByteArrayView bytes)
{
    if (m_failed)
        return;
    m_buffer.append(bytes.data(), size_t(bytes.size()));
    if (qsizetype(m_buffer.size()) >= kFlushThreshold)
        flush();
}

void LineWriter::flush()
{
    errno = 0;
    if (!m_failed && !m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_stream) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
    if (!m_failed && (std::fflush(m_stream) != 0 || std::ferror(m_stream)))
        m_failed = true;
    if (m_failed && errno != 0)
        g_outputError = errno;
}

QString outputFailedText()
{
    const int why = g_outputError;
    return why ? QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(why)))
               : QStringLiteral("cannot write the output");
}

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

void printErrorLine(const QString &text)
{
    std::string line;
    appendEscaped(line, text);
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace Cli

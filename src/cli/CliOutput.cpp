#include "cli/CliOutput.h"

#include <algorithm>

namespace Cli {

namespace {
constexpr qsizetype kFlushThreshold = 1 << 16;
}

void appendEscapedUtf8(std::string &line, QByteArrayView field)
{
    static constexpr auto needsEscape = [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; };
    // Text between the characters that need an escape is copied in runs.
    const char *p = field.data();
    const char *const end = p + field.size();
    while (p < end) {
        const char *run = p;
        while (p < end && !needsEscape(*p))
            ++p;
        line.append(run, size_t(p - run));
        if (p == end)
            break;
        line += '\\';
        line += *p == '\\' ? '\\' : *p == '\t' ? 't' : *p == '\n' ? 'n' : 'r';
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
    m_buffer.append(bytes.data(), size_t(bytes.size()));
    if (qsizetype(m_buffer.size()) >= kFlushThreshold)
        flush();
}

void LineWriter::flush()
{
    if (!m_buffer.empty())
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_stream);
    m_buffer.clear();
    std::fflush(m_stream);
}

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

} // namespace Cli

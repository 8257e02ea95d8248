#include "cli/CliOutput.h"

namespace Cli {

namespace {
constexpr qsizetype kFlushThreshold = 1 << 16;
}

void appendEscapedUtf8(QByteArray &line, QByteArrayView field)
{
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        const char *escape = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        if (!escape)
            continue;
        line += field.sliced(plainFrom, i - plainFrom);
        line += escape;
        plainFrom = i + 1;
    }
    line += field.sliced(plainFrom);
}

void appendEscaped(QByteArray &line, const QString &field)
{
    appendEscapedUtf8(line, field.toUtf8());
}

LineWriter::LineWriter(std::FILE *stream)
    : m_stream(stream)
{
    m_buffer.reserve(kFlushThreshold * 2);
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
    if (m_buffer.size() >= kFlushThreshold)
        flush();
}

void LineWriter::writeRaw(const QByteArray &line)
{
    m_buffer += line;
    m_buffer += '\n';
    if (m_buffer.size() >= kFlushThreshold)
        flush();
}

void LineWriter::flush()
{
    if (!m_buffer.isEmpty())
        std::fwrite(m_buffer.constData(), 1, static_cast<size_t>(m_buffer.size()), m_stream);
    m_buffer.clear();
    std::fflush(m_stream);
}

void printError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

} // namespace Cli

#include "cli/TableWriter.h"

#include <QCommandLineParser>
#include <QLocale>

#include <cmath>

namespace Cli {

namespace {

// A JSON string (RFC 8259) of UTF-8 text: quotes, backslashes and control characters
// escaped, everything else as it is.
void appendJsonString(std::string &line, QByteArrayView utf8)
{
    static const char kHex[] = "0123456789abcdef";
    // Text that is not UTF-8 (it never should be) is made so, its faults replaced.
    QByteArray repaired;
    if (!utf8.isValidUtf8()) {
        repaired = QString::fromUtf8(utf8).toUtf8();
        utf8 = repaired;
    }
    line += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            line += "\\\"";
            break;
        case '\\':
            line += "\\\\";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\b':
            line += "\\b";
            break;
        case '\f':
            line += "\\f";
            break;
        default:
            if (u < 0x20) {
                line += "\\u00";
                line += kHex[u >> 4];
                line += kHex[u & 0xF];
            } else {
                line += c;
            }
        }
    }
    line += '"';
}

} // namespace

QList<QCommandLineOption> formatOptions()
{
    return {
        {QStringLiteral("format"), QStringLiteral("output format (default tsv)"), QStringLiteral("tsv|csv|json")},
        {QStringLiteral("bom"),
         QStringLiteral("CSV: begin with a UTF-8 byte-order mark (for spreadsheets on Windows)")},
    };
}

bool readOutputOptions(const QCommandLineParser &parser, OutputOptions *options, QString *error)
{
    const QString format = parser.value(QStringLiteral("format"));
    if (format.isEmpty() || format == QLatin1String("tsv"))
        options->format = OutputFormat::Tsv;
    else if (format == QLatin1String("csv"))
        options->format = OutputFormat::Csv;
    else if (format == QLatin1String("json"))
        options->format = OutputFormat::Json;
    else {
        *error = QStringLiteral("unknown format (tsv, csv or json): %1").arg(format);
        return false;
    }
    options->bom = parser.isSet(QStringLiteral("bom"));
    if (options->bom && options->format != OutputFormat::Csv) {
        *error = QStringLiteral("--bom goes with --format csv only");
        return false;
    }
    return true;
}

TableWriter::TableWriter(const OutputOptions &options, const QStringList &columns, bool tsvHeader, std::FILE *stream)
    : m_format(options.format)
    , m_columns(columns)
    , m_out(stream)
{
    switch (m_format) {
    case OutputFormat::Tsv:
        if (tsvHeader)
            m_out.writeFields(columns);
        break;
    case OutputFormat::Csv:
        if (options.bom)
            m_out.write("\xEF\xBB\xBF");
        beginRow();
        for (const QString &column : columns)
            addText(column.toUtf8());
        endRow();
        break;
    case OutputFormat::Json:
        m_out.write("[");
        break;
    }
}

TableWriter::~TableWriter()
{
    finish();
}

void TableWriter::beginRow()
{
    m_cell = 0;
    m_line.resize(0);
    // One object per line: "[" and the first object, ",", the next, and so on.
    if (m_format == OutputFormat::Json)
        m_line = m_rows > 0 ? ",\n{" : "\n{";
}

void TableWriter::separate()
{
    if (m_cell > 0)
        m_line += m_format == OutputFormat::Csv ? ',' : '\t';
}

void TableWriter::beginValue()
{
    if (m_cell > 0)
        m_line += ',';
    appendJsonString(m_line, key().toUtf8());
    m_line += ':';
}

const QString &TableWriter::key()
{
    // A row with more cells than columns names the extra ones by position rather than
    // losing them.
    while (m_cell >= m_columns.size())
        m_columns << QString::number(m_columns.size());
    return m_columns.at(m_cell);
}

void TableWriter::addText(QByteArrayView utf8)
{
    switch (m_format) {
    case OutputFormat::Tsv:
        separate();
        appendEscapedUtf8(m_line, utf8);
        break;
    case OutputFormat::Csv:
        separate();
        // Quoted when empty, so that an empty text differs from NULL.
        if (utf8.isEmpty())
            m_line += "\"\"";
        else
            appendCsvField(m_line, utf8);
        break;
    case OutputFormat::Json:
        beginValue();
        appendJsonString(m_line, utf8);
        break;
    }
    ++m_cell;
}

void TableWriter::addNumberText(QByteArrayView text)
{
    if (m_format != OutputFormat::Json) {
        addText(text);
        return;
    }
    beginValue();
    const QByteArray bytes = text.toByteArray();
    bool ok = false;
    const qlonglong integer = bytes.toLongLong(&ok);
    if (ok) {
        m_line += QByteArray::number(integer).toStdString();
    } else if (const double number = bytes.toDouble(&ok); ok && std::isfinite(number)) {
        m_line += QByteArray::number(number, 'g', QLocale::FloatingPointShortest).toStdString();
    } else if (const QByteArray word = bytes.trimmed().toLower(); (ok && std::isnan(number)) || word == "nan") {
        // JSON has no number for these; null would say that there is no value at all.
        m_line += "\"NaN\"";
    } else if ((ok && number > 0) || word == "inf" || word == "+inf" || word == "infinity") {
        m_line += "\"Infinity\"";
    } else if (ok || word == "-inf" || word == "-infinity") {
        m_line += "\"-Infinity\"";
    } else {
        appendJsonString(m_line, bytes);
    }
    ++m_cell;
}

void TableWriter::addBoolean(bool value)
{
    if (m_format == OutputFormat::Json) {
        beginValue();
        m_line += value ? "true" : "false";
        ++m_cell;
        return;
    }
    addText(value ? "1" : "0");
}

void TableWriter::addNull()
{
    switch (m_format) {
    case OutputFormat::Tsv:
        separate();
        m_line += "\\N";
        break;
    case OutputFormat::Csv:
        separate();
        break;
    case OutputFormat::Json:
        beginValue();
        m_line += "null";
        break;
    }
    ++m_cell;
}

void TableWriter::endRow()
{
    switch (m_format) {
    case OutputFormat::Tsv:
        m_line += '\n';
        break;
    case OutputFormat::Csv:
        m_line += "\r\n";
        break;
    case OutputFormat::Json:
        m_line += '}';
        break;
    }
    m_out.write(QByteArrayView(m_line.data(), qsizetype(m_line.size())));
    ++m_rows;
}

void TableWriter::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_format == OutputFormat::Json)
        m_out.write("\n]\n");
    m_out.flush();
}

} // namespace Cli

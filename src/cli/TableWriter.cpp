#include "cli/TableWriter.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonValue>

namespace Cli {

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
    if (m_format == OutputFormat::Json)
        m_object = QJsonObject();
}

void TableWriter::separate()
{
    if (m_cell > 0)
        m_line += m_format == OutputFormat::Csv ? ',' : '\t';
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
        m_object.insert(key(), QString::fromUtf8(utf8));
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
    const QByteArray bytes = text.toByteArray();
    bool ok = false;
    const qlonglong integer = bytes.toLongLong(&ok);
    QJsonValue value;
    if (ok)
        value = QJsonValue(qint64(integer));
    else if (const double number = bytes.toDouble(&ok); ok)
        value = QJsonValue(number);
    else
        value = QJsonValue(QString::fromUtf8(bytes));
    m_object.insert(key(), value);
    ++m_cell;
}

void TableWriter::addBoolean(bool value)
{
    if (m_format == OutputFormat::Json) {
        m_object.insert(key(), value);
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
        m_object.insert(key(), QJsonValue(QJsonValue::Null));
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
        // One object per line: "[" and the first object, ",", the next, and so on.
        m_line = m_rows > 0 ? ",\n" : "\n";
        m_line += QJsonDocument(m_object).toJson(QJsonDocument::Compact).toStdString();
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

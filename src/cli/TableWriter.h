#pragma once

#include "cli/CliOutput.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCommandLineOption>
#include <QList>
#include <QStringList>

#include <cstdio>

class QCommandLineParser;

namespace Cli {

// How the commands that list rows write them (--format, --bom).
enum class OutputFormat { Tsv, Csv, Json };

struct OutputOptions
{
    OutputFormat format = OutputFormat::Tsv;
    bool bom = false; // CSV only: a UTF-8 byte-order mark first, for spreadsheet programs
};

// --format tsv|csv|json and --bom.
QList<QCommandLineOption> formatOptions();
// The output options the user gave. False (with `error` set) for an unknown format, or
// --bom with a format other than CSV.
bool readOutputOptions(const QCommandLineParser &parser, OutputOptions *options, QString *error);

// Writes a table row by row to a stream in one of the formats, a million rows without
// holding them:
//   tsv   Orvik's own layout: cells separated by TAB, one row per line, \\ \t \n \r escaped
//         (appendEscaped), NULL as \N; a header line only when asked for;
//   csv   RFC 4180: a header line of the column names, records ended by CR LF, fields
//         quoted where needed (appendCsvField); NULL is an empty field, an empty text ""
//   json  one array of objects keyed by the column names in the columns' order, one object
//         per line (RFC 8259); numbers as numbers, NULL as null, and the numbers JSON has no
//         form for as the strings "NaN", "Infinity" and "-Infinity".
// A row is beginRow(), one add call per column in the order of `columns`, endRow().
class TableWriter
{
public:
    TableWriter(const OutputOptions &options, const QStringList &columns, bool tsvHeader, std::FILE *stream = stdout);
    ~TableWriter();
    TableWriter(const TableWriter &) = delete;
    TableWriter &operator=(const TableWriter &) = delete;

    void beginRow();
    void addText(QByteArrayView utf8);
    // A number in its text form (digits, sign, point, exponent; "nan", "inf", "-inf"): in
    // JSON a number when the text reads as a finite one, "NaN", "Infinity" or "-Infinity"
    // for the others, else the text as a string; in TSV and CSV the text.
    void addNumberText(QByteArrayView text);
    void addBoolean(bool value);
    void addNull();
    void endRow();

    // Ends the table (JSON: closes the array) and flushes it; the destructor does it too.
    void finish();
    // Whether the stream refused a write (see LineWriter): the rows from then on are lost,
    // and the command should stop reading them.
    bool failed() const { return m_out.failed(); }

    // A buffer for the caller to build a cell's text in before adding it, kept from row to
    // row so that a million rows do not cost a million allocations. The writer holds it, not
    // a thread_local: with mingw-w64 a thread_local's destructor runs, as its thread ends,
    // on storage that has already been freed.
    QByteArray &cellBuffer() { return m_cellBuffer; }

private:
    void separate();
    // JSON: the separator and the next column's key, "key":
    void beginValue();
    const QString &key();

    OutputFormat m_format;
    QStringList m_columns;
    LineWriter m_out;
    std::string m_line;
    QByteArray m_cellBuffer;
    int m_cell = 0;
    qint64 m_rows = 0;
    bool m_finished = false;
};

} // namespace Cli

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <string>

namespace Cli {

// A field of a TAB-separated line in UTF-8: backslash, TAB, line feed and carriage return
// are written \\, \t, \n and \r so that one record stays one line.
void appendEscaped(std::string &line, const QString &field);
// The same for a field that is already UTF-8.
void appendEscapedUtf8(std::string &line, QByteArrayView field);

// A field of a CSV record (RFC 4180) in UTF-8: quoted when it holds a comma, a double
// quote, a carriage return or a line feed, its double quotes doubled inside the quotes.
void appendCsvField(std::string &line, QByteArrayView field);

// Lines are assembled in std::string: its appends are inline, where those of QByteArray
// cost a call each, and a listing makes a dozen per row.

// Buffered writer of TAB-separated lines (or bytes as they are); large outputs (a million
// rows) are written in big blocks instead of one call per line. The first block the stream
// does not take (a full disk, a closed pipe) makes failed() true, and everything after it
// is dropped: a command that asks failed() after each row stops there instead of reading
// the rest of its rows for nothing.
class LineWriter
{
public:
    explicit LineWriter(std::FILE *stream = stdout);
    ~LineWriter();
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    void writeFields(const QStringList &fields);
    void write(QByteArrayView bytes); // as they are
    void flush();
    bool failed() const { return m_failed; }

private:
    std::FILE *m_stream;
    std::string m_buffer;
    bool m_failed = false;
};

// The message of a command whose output could not be written, with the system's reason.
QString outputFailedText();

// Prints `text` and a line feed to stderr.
void printError(const QString &text);
// Prints `text` as one line, however many line breaks the names in it hold: escaped as a
// TSV field (\\, \t, \n, \r), as the listings write the same names.
void printErrorLine(const QString &text);

} // namespace Cli

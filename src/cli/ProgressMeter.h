#pragma once

#include <QCommandLineOption>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>

class QCommandLineParser;

namespace Cli {

// -q, --quiet: no progress indicator.
QCommandLineOption quietOption();

// The text of the progress line: "45% 450000 of 1000000 rows, 712000 rows/s" when the
// total is known (not negative), else "450000 rows, 712000 rows/s"; the rate only once
// some time has passed.
QString formatProgress(qint64 done, qint64 total, qint64 elapsedMs, const QString &unit);

// A one-line progress indicator on a terminal: rewritten in place (carriage return) at most
// ten times a second, the first time a tenth of a second after the start so that quick work
// shows nothing, and erased by finish() or the destructor. A meter that is not shown costs
// a test per call.
class ProgressMeter
{
public:
    static constexpr qint64 kIntervalMs = 100;

    ProgressMeter(const QString &unit, bool shown, std::FILE *stream = stderr);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter &) = delete;
    ProgressMeter &operator=(const ProgressMeter &) = delete;

    // Whether a command shows progress: stderr is a terminal and --quiet is not given. A
    // command that writes its rows to stdout (`rowsToStdout`) shows none while stdout is a
    // terminal too, where the rows themselves show the progress and the two would mix.
    static bool wanted(const QCommandLineParser &parser, bool rowsToStdout);

    void setTotal(qint64 total) { m_total = total; }
    void advance(qint64 count = 1)
    {
        if (!m_shown)
            return;
        m_done += count;
        if (m_clock.elapsed() - m_lastMs >= kIntervalMs)
            show();
    }
    // Erases the line; later calls show nothing.
    void finish();

private:
    void show();

    QString m_unit;
    bool m_shown;
    std::FILE *m_stream;
    QElapsedTimer m_clock;
    qint64 m_lastMs = 0;
    qint64 m_done = 0;
    qint64 m_total = -1;
    qsizetype m_width = 0; // of the line on the terminal, to be overwritten
};

} // namespace Cli

#pragma once

#include <QString>

// The diagnostic trace of the database layer: printf-style lines, formatted into one
// shared buffer of 2048 bytes and cut to fit it. Silent unless the environment variable
// ORVIK_TRACE names a destination: "stderr", or the path of a file the lines are appended
// to. Returns 0 when the line was written, -1 otherwise (no caller looks at it).
int DebugTrace(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Turns wide text into the narrow text of a trace line (UTF-8, our narrow code page).
QByteArray TraceText(const QString &text);

// The trace switch and the buffer size.
extern bool g_traceEnabled;
constexpr int kTraceBufferSize = 2048;

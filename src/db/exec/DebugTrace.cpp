#include "db/exec/DebugTrace.h"

#include <QByteArray>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

bool g_traceEnabled = true;

namespace {

std::mutex g_traceMutex;
char g_traceBuffer[kTraceBufferSize];

// The destination named by ORVIK_TRACE, looked up at every line so that tests (and a user
// chasing a problem) can switch it on and off while the program runs.
std::FILE *openDestination(bool *mustClose)
{
    *mustClose = false;
    const char *target = std::getenv("ORVIK_TRACE");
    if (!target || !*target)
        return nullptr;
    if (std::strcmp(target, "stderr") == 0)
        return stderr;
    *mustClose = true;
    return std::fopen(target, "ab");
}

} // namespace

int DebugTrace(const char *format, ...)
{
    std::lock_guard<std::mutex> lock(g_traceMutex);
    va_list args;
    va_start(args, format);
    // vsnprintf never writes past the buffer: longer lines are cut, terminator included.
    const int length = std::vsnprintf(g_traceBuffer, sizeof g_traceBuffer, format, args);
    va_end(args);
    if (length < 0 || !g_traceEnabled)
        return -1;
    if (length >= kTraceBufferSize) {
        // Cut at a character boundary and keep the line's end, so that the next line
        // still starts on a line of its own.
        int end = kTraceBufferSize - 2;
        while (end > 0 && (static_cast<unsigned char>(g_traceBuffer[end]) & 0xC0) == 0x80)
            --end;
        const size_t formatLength = std::strlen(format);
        if (formatLength && format[formatLength - 1] == '\n')
            g_traceBuffer[end++] = '\n';
        g_traceBuffer[end] = '\0';
    }
    bool mustClose = false;
    std::FILE *out = openDestination(&mustClose);
    if (!out)
        return -1;
    const size_t size = std::strlen(g_traceBuffer);
    const bool written = std::fwrite(g_traceBuffer, 1, size, out) == size && std::fflush(out) == 0;
    if (mustClose)
        std::fclose(out);
    return written ? 0 : -1;
}

QByteArray TraceText(const QString &text)
{
    return text.toUtf8();
}

#include "cli/ProgressMeter.h"

#include "platform/HostSystem.h"

#include <QCommandLineParser>

#include <algorithm>

namespace Cli {

QCommandLineOption quietOption()
{
    return {{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("no progress indicator")};
}

QString formatProgress(qint64 done, qint64 total, qint64 elapsedMs, const QString &unit)
{
    QString text;
    if (total >= 0) {
        const qint64 percent = total == 0 ? 100 : std::min<qint64>(100, done * 100 / total);
        text = QStringLiteral("%1% %2 of %3 %4").arg(percent).arg(done).arg(total).arg(unit);
    } else {
        text = QStringLiteral("%1 %2").arg(done).arg(unit);
    }
    if (elapsedMs > 0)
        text += QStringLiteral(", %1 %2/s").arg(done * 1000 / elapsedMs).arg(unit);
    return text;
}

ProgressMeter::ProgressMeter(const QString &unit, bool shown, std::FILE *stream)
    : m_unit(unit)
    , m_shown(shown)
    , m_stream(stream)
{
    m_clock.start();
}

ProgressMeter::~ProgressMeter()
{
    finish();
}

bool ProgressMeter::wanted(const QCommandLineParser &parser, bool rowsToStdout)
{
    if (parser.isSet(QStringLiteral("quiet")) || !HostSystem::isTerminal(stderr))
        return false;
    return !(rowsToStdout && HostSystem::isTerminal(stdout));
}

void ProgressMeter::show()
{
    m_lastMs = m_clock.elapsed();
    const QByteArray text = formatProgress(m_done, m_total, m_lastMs, m_unit).toUtf8();
    // Blanks cover what is left of a longer line before.
    const QByteArray padding(std::max<qsizetype>(0, m_width - text.size()), ' ');
    std::fprintf(m_stream, "\r%s%s", text.constData(), padding.constData());
    std::fflush(m_stream);
    m_width = text.size();
}

void ProgressMeter::finish()
{
    if (m_shown && m_width > 0) {
        std::fprintf(m_stream, "\r%s\r", QByteArray(m_width, ' ').constData());
        std::fflush(m_stream);
    }
    m_shown = false;
    m_width = 0;
}

} // namespace Cli

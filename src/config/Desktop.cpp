#include "config/Desktop.h"

#include <QFileInfo>
#include <QProcess>

#include <atomic>
#include <cstdio>

namespace {
HeadlessDesktop g_headless;
std::atomic<Desktop *> g_current{nullptr};
} // namespace

Desktop &Desktop::current()
{
    if (Desktop *d = g_current.load())
        return *d;
    return g_headless;
}

Desktop *Desktop::install(Desktop *desktop)
{
    Desktop *previous = g_current.exchange(desktop);
    return previous ? previous : &g_headless;
}

Desktop::Answer HeadlessDesktop::showMessage(QObject *, Icon, const QString &caption, const QString &text,
                                             Buttons buttons)
{
    const QByteArray line = (caption.isEmpty() ? text : caption + QStringLiteral(": ") + text).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

QString HeadlessDesktop::browseForFolder(QObject *, const QString &)
{
    return QString();
}

bool HeadlessDesktop::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool HeadlessDesktop::openFile(const QString &path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

QString HeadlessDesktop::saveFileAs(QObject *, const QString &, const QString &)
{
    return QString();
}

bool HeadlessDesktop::showInFolder(const QString &path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}

void HeadlessDesktop::copyToClipboard(const QString &) {}

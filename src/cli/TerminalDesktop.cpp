#include "cli/TerminalDesktop.h"

#include <cstdio>
#include <cstring>

Desktop::Answer TerminalDesktop::showMessage(QObject *, Icon, const QString &caption, const QString &text,
                                             Buttons buttons)
{
    const QString line = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
    if (buttons == Buttons::Ok) {
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
        return Answer::Ok;
    }
    if (m_answerYes)
        return Answer::Yes;
    std::fprintf(stderr, "%s [y/N] ", line.toUtf8().constData());
    std::fflush(stderr);
    char reply[64] = {};
    if (!std::fgets(reply, sizeof reply, stdin))
        return Answer::No;
    return reply[0] == 'y' || reply[0] == 'Y' ? Answer::Yes : Answer::No;
}

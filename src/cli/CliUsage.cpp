#include "cli/CliUsage.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"

#include <QCommandLineParser>

namespace Cli {

namespace {
struct Usage
{
    const char *command;
    const char *text;
};

const Usage kUsages[] = {
    {"backups", "orvik-cli backups [--root DIR] [--add DIR]..."},
};
} // namespace

QString usageText(const QString &command)
{
    QString text = QStringLiteral("usage:\n");
    for (const Usage &u : kUsages) {
        if (command.isEmpty() || command == QLatin1String(u.command))
            text += QStringLiteral("  ") + QString::fromUtf8(u.text) + u'\n';
    }
    return text;
}

int usageError(const QString &command)
{
    std::fputs(usageText(command).toUtf8().constData(), stderr);
    return ExitUsage;
}

bool parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &args)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The parser expects the program name first.
    const bool ok = parser.parse(QStringList{QStringLiteral("orvik-cli ") + command} + args);
    if (!ok)
        printError(parser.errorText());
    return ok;
}

} // namespace Cli

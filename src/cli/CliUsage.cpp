#include "cli/CliUsage.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"

#include <QStringList>

#include <algorithm>

namespace Cli {

namespace {

const char kExitCodes[] = "exit codes:\n"
                          "  0  done\n"
                          "  1  problems found (check), not confirmed or the recording stayed (delete), or the output\n"
                          "     could not be written\n"
                          "  2  usage error (such as a --root or --add folder that does not exist), or the database\n"
                          "     does not open\n"
                          "  3  the statement was refused\n"
                          "  4  no such record (delete)\n"
                          "  5  some backups could not be searched, the rows of the others were printed (search)\n"
                          "  6  the rows were printed, but the database is damaged (query, sql, export, search)\n";

// "-q, --quiet" or "--format tsv|csv|json".
QString optionNames(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += u' ' + option.valueName();
    return text;
}

// The options in two columns, names and what they do.
QString optionTable(const QList<QCommandLineOption> &options)
{
    qsizetype width = 0;
    for (const QCommandLineOption &option : options)
        width = std::max(width, optionNames(option).size());
    QString text;
    for (const QCommandLineOption &option : options)
        text += QStringLiteral("  %1  %2\n").arg(optionNames(option), -int(width)).arg(option.description());
    return text;
}

} // namespace

QCommandLineOption helpOption()
{
    return {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("this help")};
}

QString helpText(const QString &name)
{
    if (const Command *command = findCommand(name)) {
        QString text = QStringLiteral("usage: orvik-cli %1 %2\n\n%3\n\noptions:\n")
                           .arg(command->name, command->synopsis, command->details);
        text += optionTable(command->options + QList<QCommandLineOption>{helpOption()});
        return text;
    }
    QString text = QStringLiteral("orvik-cli browses the backups of a telephone call recorder.\n\n"
                                  "usage: orvik-cli COMMAND [ARGUMENTS]\n"
                                  "       orvik-cli help [COMMAND]\n"
                                  "       orvik-cli --version\n\n"
                                  "commands:\n");
    qsizetype width = 0;
    for (const Command &command : commands())
        width = std::max(width, command.name.size());
    for (const Command &command : commands())
        text += QStringLiteral("  %1  %2\n").arg(command.name, -int(width)).arg(command.summary);
    text += QStringLiteral("\n'orvik-cli help COMMAND' or 'orvik-cli COMMAND --help' describes a command and its\n"
                           "options. FILTERS are --from, --to, --type, --user, --number and --remark; in the\n"
                           "TEXT of the last three, % stands for any run of characters and _ for any one.\n\n");
    text += QString::fromUtf8(kExitCodes);
    return text;
}

QString usageText(const QString &name)
{
    if (const Command *command = findCommand(name))
        return QStringLiteral("usage: orvik-cli %1 %2\n'orvik-cli help %1' lists the options.\n")
            .arg(command->name, command->synopsis);
    QStringList names;
    for (const Command &command : commands())
        names << command.name;
    return QStringLiteral("usage: orvik-cli COMMAND [ARGUMENTS], COMMAND one of: %1\n"
                          "'orvik-cli --help' describes them.\n")
        .arg(names.join(QStringLiteral(", ")));
}

int usageError(const QString &command, const QString &what)
{
    if (!what.isEmpty())
        printError(what);
    std::fputs(usageText(command).toUtf8().constData(), stderr);
    return ExitUsage;
}

} // namespace Cli

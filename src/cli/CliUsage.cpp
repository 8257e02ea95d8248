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
    {"backups", "orvik-cli backups [--root DIR] [--add DIR]...\n"
                "      the backup catalogue: number, name, start, stop, path"},
    {"query", "orvik-cli query DIR [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--type all|incoming|outgoing|missed]\n"
              "      [--user TEXT] [--number TEXT] [--remark TEXT] [--language CODE] [--sql]\n"
              "      the calls of the backup in DIR, eleven cells per line, as the query window lists them"},
    {"delete", "orvik-cli delete DIR ID [--yes] [--language CODE]\n"
               "      deletes call record ID and its recording (exit 4: no such record, 1: not confirmed)"},
    {"export", "orvik-cli export DIR [filters as for query] [--language CODE] --output FILE.xlsx\n"
               "      the rows query lists, written into a workbook made from the template"},
    {"sql", "orvik-cli sql DB \"STATEMENT\"\n"
            "      runs one statement; rows as TAB-separated values after a header line"},
    {"check", "orvik-cli check DB [TABLE]\n"
              "      verifies row counts and indexes; one line per problem (exit 1: problems found)"},
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

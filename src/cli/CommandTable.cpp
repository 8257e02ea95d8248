#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"

namespace Cli {

namespace {

QCommandLineOption option(const char *name, const char *description, const char *valueName = nullptr)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              valueName ? QString::fromLatin1(valueName) : QString());
}

std::vector<Command> makeCommands()
{
    const QList<QCommandLineOption> filters = filterOptions();
    const QCommandLineOption language = languageOption();
    const QList<QCommandLineOption> formats = formatOptions();
    const QCommandLineOption quiet = quietOption();
    return {
        {QStringLiteral("backups"), QStringLiteral("[--root DIR] [--add DIR]..."),
         QStringLiteral("the backup catalogue: number, name, start, stop, path"),
         QStringLiteral("Lists the backups under the backup root as the main window does, one per line:\n"
                        "number, name, start, stop and path, TAB-separated."),
         catalogueOptions(), Backups},
        {QStringLiteral("query"),
         QStringLiteral("DIR [FILTERS] [--format tsv|csv|json] [--bom] [--sql] [--language CODE] [-q]"),
         QStringLiteral("the calls of one backup, eleven cells per row"),
         QStringLiteral("Searches the backup in DIR as the query window's Find does and writes the eleven\n"
                        "cells of each call as the window lists them: no, user, type, number, start,\n"
                        "talk_time, size, remark, recording, id, dtmf (the names of the CSV header and\n"
                        "the JSON keys; no and id are numbers). Without --from and --to every date is\n"
                        "searched; with one of them the other is today."),
         filters + formats
             + QList<QCommandLineOption>{option("sql", "write the statement first, on a line of its own (TSV only)"),
                                         language, quiet},
         Query},
        {QStringLiteral("search"),
         QStringLiteral("[--root DIR] [--add DIR]... [FILTERS] [--format tsv|csv|json] [--bom] [--language CODE] [-q]"),
         QStringLiteral("the calls of every backup in the catalogue, by start time"),
         QStringLiteral("Searches every backup of the catalogue that backups lists (same --root and --add)\n"
                        "with the filter of query, several backups at a time, each opened read-only. Each\n"
                        "row is the backup's directory, then the eleven cells of query (JSON key and CSV\n"
                        "column backup, then no, user, ...); rows are ordered by start time across the\n"
                        "backups and numbered 1..n. A backup that cannot be searched is named on stderr\n"
                        "with the reason, one line each (exit 5), the others are still listed."),
         catalogueOptions() + filters + formats + QList<QCommandLineOption>{language, quiet}, Search},
        {QStringLiteral("export"), QStringLiteral("DIR [FILTERS] [--language CODE] [-q] --output FILE.xlsx"),
         QStringLiteral("the calls query lists, into a workbook"),
         QStringLiteral("Writes the rows query lists into a workbook made from the template sample.xlsx\n"
                        "beside the program, as the query window's Export does."),
         filters
             + QList<QCommandLineOption>{option("output", "the workbook to write (required)", "FILE.xlsx"), language,
                                         quiet},
         Export},
        {QStringLiteral("delete"),
         QStringLiteral("DIR ID [--yes] [--language CODE]"),
         QStringLiteral("deletes a call record and its recording"),
         QStringLiteral("Deletes call record ID of the backup in DIR and then its recording file, after\n"
                        "asking on the terminal (exit 4: no such record, 1: not confirmed)."),
         {option("yes", "delete without asking"), language},
         Delete},
        {QStringLiteral("sql"), QStringLiteral("DB \"STATEMENT\" [--format tsv|csv|json] [--bom] [-q]"),
         QStringLiteral("runs one statement on a database"),
         QStringLiteral("Runs one statement (select * ... or delete ...) on the database file DB. A select\n"
                        "writes the column names (the TSV header line, the CSV header, the JSON keys) and\n"
                        "its rows; NULL is \\N in TSV, an empty field in CSV and null in JSON."),
         formats + QList<QCommandLineOption>{quiet}, Sql},
        {QStringLiteral("check"),
         QStringLiteral("DB [TABLE] [-q]"),
         QStringLiteral("verifies row counts and indexes of a database"),
         QStringLiteral("Verifies the row counts, every index against the rows, the order and links of\n"
                        "index pages and their free-space fields, of every table or of TABLE; one line\n"
                        "per problem (exit 1: problems found)."),
         {quiet},
         Check},
    };
}

} // namespace

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = makeCommands();
    return table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

} // namespace Cli

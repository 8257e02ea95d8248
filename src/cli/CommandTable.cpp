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
        {QStringLiteral("export"), QStringLiteral("DIR [FILTERS] [--stats] [--language CODE] [-q] --output FILE.xlsx"),
         QStringLiteral("the calls query lists, into a workbook"),
         QStringLiteral("Writes the rows query lists into a workbook made from the template sample.xlsx\n"
                        "beside the program, as the query window's Export does. With --stats a second\n"
                        "sheet, Statistics, follows with the tables of the statistics view."),
         filters
             + QList<QCommandLineOption>{option("output", "the workbook to write (required)", "FILE.xlsx"),
                                         option("stats", "add the sheet Statistics after the list's"), language, quiet},
         Export},
        {QStringLiteral("stats"),
         QStringLiteral("[DIR | --root DIR [--add DIR]...] [FILTERS] [--by GROUP] [--format tsv|csv|json] [--bom] "
                        "[--language CODE] [-q]"),
         QStringLiteral("the figures of the statistics view: totals, or per day, user, number, ..."),
         QStringLiteral("Counts the calls query lists for the backup in DIR, or search lists for the catalogue\n"
                        "(--root and --add, or the backup root), as the windows' statistics view counts them.\n"
                        "Without --by one row of totals: calls, incoming, outgoing, missed, answered (not\n"
                        "missed), missed_percent, talk_seconds, average_seconds and median_seconds (of the\n"
                        "answered calls, whole seconds), longest_seconds, first and last (start times). With\n"
                        "--by one row per group, the group's key first (a day 2009-12-05, a week by its\n"
                        "Monday, a month 2009-12, an hour 0-23, a weekday 1 Monday to 7 Sunday, a user, a\n"
                        "number, or incoming/outgoing/missed), then the same figures without the median;\n"
                        "numbers come by calls, most first. Calls without a valid start time count in the\n"
                        "totals and per user, number and type only. TSV has a header line too."),
         catalogueOptions() + filters
             + QList<QCommandLineOption>{option(
                 "by", "one row per day, week, month, hour, weekday, user, number or type", "GROUP")}
             + formats + QList<QCommandLineOption>{language, quiet},
         Stats},
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

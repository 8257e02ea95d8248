#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <vector>

class QCommandLineParser;

namespace Cli {

// Exit codes shared by the commands.
enum Exit : int {
    ExitOk = 0,
    ExitProblem = 1, // the command ran and found something wrong (check), the user said no,
                     // or the output could not be written
    ExitUsage = 2,   // bad arguments; also: the database does not open
    ExitStatement = 3,
    ExitNotFound = 4,
    ExitSomeFailed = 5, // search: some backups could not be searched, the others were
    ExitDamaged = 6,    // the rows were printed, but the database could not be read whole
};

// One command of orvik-cli. The dispatcher parses the words after the command name with
// `options` (plus -h/--help), answers --help from these texts, and hands the parsed command
// line to `run`, which returns the exit code. A new command is one entry of commands() and
// its run function.
struct Command
{
    QString name;
    QString synopsis; // the arguments after "orvik-cli NAME", for the usage line
    QString summary;  // one line in the list of commands
    QString details;  // what `orvik-cli help NAME` says below the usage line
    QList<QCommandLineOption> options;
    int (*run)(const QCommandLineParser &parser);
};

// Every command, in the order the help lists them.
const std::vector<Command> &commands();
// The command of that name, or null.
const Command *findCommand(const QString &name);

int Backups(const QCommandLineParser &parser);
int Check(const QCommandLineParser &parser);
int Delete(const QCommandLineParser &parser);
int Export(const QCommandLineParser &parser);
int Query(const QCommandLineParser &parser);
int Search(const QCommandLineParser &parser);
int Sql(const QCommandLineParser &parser);
int Stats(const QCommandLineParser &parser);

} // namespace Cli

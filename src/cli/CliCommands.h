#pragma once

#include <QStringList>

// One function per orvik-cli command; `args` holds the words after the command name.
// Each returns the process exit code.
namespace Cli {

// Exit codes shared by the commands.
enum Exit : int {
    ExitOk = 0,
    ExitProblem = 1, // the command ran and found something wrong (check), the user said no,
                     // or the output could not be written
    ExitUsage = 2,   // bad arguments; also: the database does not open
    ExitStatement = 3,
    ExitNotFound = 4,
    ExitDamaged = 6, // the rows were printed, but the database could not be read whole
};

int Backups(const QStringList &args);
int Check(const QStringList &args);
int Delete(const QStringList &args);
int Export(const QStringList &args);
int Query(const QStringList &args);
int Sql(const QStringList &args);

} // namespace Cli

#include "cli/CliMain.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliUsage.h"

#include <QCoreApplication>

#include <cstdio>

#include <functional>
#include <map>

int RunCli(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return Cli::usageError();
    const QString command = args.takeFirst();

    const std::map<QString, std::function<int(const QStringList &)>> commands = {
        {QStringLiteral("backups"), Cli::Backups}, {QStringLiteral("check"), Cli::Check},
        {QStringLiteral("delete"), Cli::Delete},   {QStringLiteral("export"), Cli::Export},
        {QStringLiteral("query"), Cli::Query},     {QStringLiteral("sql"), Cli::Sql},
    };
    const auto it = commands.find(command);
    if (it == commands.end())
        return Cli::usageError();
    const int code = it->second(args);
    // A listing cut short by a full disk or a closed pipe must not end as a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Cli::printError(QStringLiteral("cannot write the output"));
        return code == Cli::ExitOk ? Cli::ExitProblem : code;
    }
    return code;
}

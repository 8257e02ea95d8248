#include "cli/CliMain.h"

#include "cli/CliCommands.h"
#include "cli/CliUsage.h"

#include <QCoreApplication>

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
        {QStringLiteral("query"), Cli::Query},
        {QStringLiteral("sql"), Cli::Sql},
    };
    const auto it = commands.find(command);
    if (it == commands.end())
        return Cli::usageError();
    return it->second(args);
}

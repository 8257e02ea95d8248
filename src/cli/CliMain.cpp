#include "cli/CliMain.h"

#include "OrvikVersion.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliUsage.h"
#include "platform/HostSystem.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

int printToStdout(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    return Cli::ExitOk;
}

// Parses the words after the command name and runs the command, or prints its help.
int runCommand(const Cli::Command &command, const QStringList &args)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(command.options);
    parser.addOption(Cli::helpOption());
    // The parser expects the program name first.
    if (!parser.parse(QStringList{QStringLiteral("orvik-cli ") + command.name} + args))
        return Cli::usageError(command.name, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return printToStdout(Cli::helpText(command.name));
    return command.run(parser);
}

// The help and version words, or the command named first.
int dispatch(QStringList args)
{
    if (args.isEmpty())
        return Cli::usageError(QString(), QStringLiteral("no command given"));
    const QString word = args.takeFirst();
    if (word == QLatin1String("--version")) {
        if (!args.isEmpty())
            return Cli::usageError(QString(), QStringLiteral("--version takes no arguments"));
        return printToStdout(QStringLiteral("orvik-cli %1\n").arg(QLatin1String(kOrvikVersion)));
    }
    if (word == QLatin1String("--help") || word == QLatin1String("-h") || word == QLatin1String("help")) {
        const QString topic = args.value(0);
        if (args.size() > 1 || (!topic.isEmpty() && !Cli::findCommand(topic)))
            return Cli::usageError(QString(), QStringLiteral("no such command: %1").arg(args.join(u' ')));
        return printToStdout(Cli::helpText(topic));
    }
    const Cli::Command *command = Cli::findCommand(word);
    if (!command)
        return Cli::usageError(QString(), QStringLiteral("no such command: %1").arg(word));
    return runCommand(*command, args);
}

} // namespace

int RunCli(int argc, char **argv)
{
    HostSystem::prepareProcess();
    QCoreApplication app(argc, argv);
    // Rows, help and messages come out byte for byte as on every other system.
    HostSystem::writeBytesAsGiven(stdout);
    HostSystem::writeBytesAsGiven(stderr);
    const int code = dispatch(app.arguments().mid(1));
    // A listing cut short by a full disk or a closed pipe must not end as a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Cli::printError(Cli::outputFailedText());
        return code == Cli::ExitOk ? Cli::ExitProblem : code;
    }
    return code;
}

#include "app/CommandLine.h"

#include "OrvikVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void UsageError(const QCommandLineParser &parser, const QString &reason)
{
    std::fprintf(stderr, "orvik: %s\n\n%s", qPrintable(reason), qPrintable(parser.helpText()));
    std::exit(2);
}

} // namespace

QString ReadCommandLine()
{
    QCoreApplication::setApplicationVersion(QLatin1String(kOrvikVersion));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Browse the backups of a telephone call recorder."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"),
                                 QStringLiteral("A backup to open, or a folder whose backups are listed."),
                                 QStringLiteral("[folder]"));
    if (!parser.parse(QCoreApplication::arguments()))
        UsageError(parser, parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1)
        UsageError(parser, QStringLiteral("only one folder can be given"));
    if (folders.isEmpty() || folders.first().isEmpty())
        return QString();
    // Made absolute here: a running Orvik that is handed the path has a working directory of
    // its own.
    const QFileInfo given(folders.first());
    return given.isFile() ? given.absolutePath() : given.absoluteFilePath();
}

bool CommandLineOnlyPrints(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (qstrcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

#include "backup/BackupArray.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "config/Config.h"

#include <QCommandLineParser>
#include <QDir>

namespace Cli {

// Lists the backup catalogue as the main window shows it: number, name, start, stop, path.
int Backups(const QCommandLineParser &parser)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("backups"),
                          QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));

    CBackupArray catalogue(g_config);
    QString missing;
    if (!buildCatalogue(parser, catalogue, &missing))
        return usageError(QStringLiteral("backups"), missing);

    LineWriter out;
    for (int i = 0; i < catalogue.GetCount(); ++i) {
        const BackupEntry *e = catalogue.GetAt(i);
        out.writeFields(
            {QString::number(i + 1), e->m_name, e->m_dtStart, e->m_dtStop, QDir::toNativeSeparators(e->m_path)});
    }
    return ExitOk;
}

} // namespace Cli

#include "backup/BackupArray.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "config/Config.h"
#include "query/BackupSearch.h"
#include "query/BackupSearchModel.h"

#include <QCommandLineParser>
#include <QDir>

namespace Cli {

namespace {

// How often the progress line looks at the search while it runs.
constexpr int kProgressPollMs = 50;

QStringList searchKeys()
{
    return QStringList{QStringLiteral("backup")} + queryCellKeys();
}

} // namespace

// Searches every backup of the catalogue with the filter of `query`, several at a time, and
// writes the rows of all of them by start time: the backup's directory, then the eleven
// cells, numbered 1..n over the whole output.
int Search(const QCommandLineParser &parser)
{
    OutputOptions output;
    QString error;
    if (!readOutputOptions(parser, &output, &error))
        return usageError(QStringLiteral("search"), error);
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("search"),
                          QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
    if (!loadLanguage(parser))
        return usageError(QStringLiteral("search"));
    QString statement;
    if (!buildStatement(parser, &statement, &error))
        return usageError(QStringLiteral("search"), error);
    CBackupArray catalogue(g_config);
    buildCatalogue(parser, catalogue);
    std::vector<BackupSearch::Target> targets;
    for (int i = 0; i < catalogue.GetCount(); ++i)
        targets.push_back({catalogue.GetAt(i)->m_name, catalogue.GetAt(i)->m_path});

    BackupSearch search;
    search.Start(std::move(targets), statement);
    ProgressMeter progress(QStringLiteral("backups"), ProgressMeter::wanted(parser, true));
    progress.setTotal(search.TargetCount());
    int counted = 0;
    for (bool ended = false; !ended;) {
        ended = search.Wait(kProgressPollMs);
        const int done = search.DoneCount();
        progress.advance(done - counted);
        counted = done;
    }
    progress.finish();

    // Failures first, one line per backup, in the catalogue's order; then the rows.
    BackupSearchModel rows;
    bool failed = false;
    bool damaged = false;
    for (int i = 0; i < search.TargetCount(); ++i) {
        const QString &dir = search.TargetAt(i).dir;
        // Shown with the platform's separators, as orvik-cli backups lists the folders.
        const QString shown = QDir::toNativeSeparators(dir);
        if (!search.Failure(i).isEmpty()) {
            printError(QStringLiteral("%1: %2").arg(shown, search.Failure(i)));
            failed = true;
            continue;
        }
        if (!search.Report(i).isComplete()) {
            printError(QStringLiteral("%1: warning: %2").arg(shown, search.Report(i).describe()));
            damaged = true;
        }
        rows.AddBackup(i, search.TargetAt(i).name, dir, search.TakeRows(i));
    }

    TableWriter out(output, searchKeys(), false);
    QByteArray dir;
    for (int row = 0; row < rows.RowCount(); ++row) {
        out.beginRow();
        dir = QDir::toNativeSeparators(rows.BackupDir(row)).toUtf8();
        out.addText(dir);
        addQueryCells(out, rows.BackupRows(row), rows.RowInBackup(row), row + 1);
        out.endRow();
    }
    out.finish();
    if (failed)
        return ExitSomeFailed;
    return damaged ? ExitDamaged : ExitOk;
}

} // namespace Cli

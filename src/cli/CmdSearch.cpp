#include "backup/BackupArray.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "config/Config.h"
#include "query/BackupMerge.h"
#include "query/ResultRows.h"

#include <QCommandLineParser>
#include <QDir>

#include <algorithm>

namespace Cli {

namespace {

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
    CBackupArray catalogue(g_config);
    std::unique_ptr<BackupMerge> opened;
    if (const int started = openCatalogueSearch(parser, QStringLiteral("search"), catalogue, &opened);
        started != ExitOk)
        return started;
    BackupMerge &merge = *opened;

    // Failures first, one line per backup, in the catalogue's order; then the rows. Each
    // backup's folder is shown with the platform's separators, as orvik-cli backups lists it,
    // and the line escaped as the listings escape a field: a line break in a folder's name or
    // a reason does not split it.
    bool failed = false;
    std::vector<bool> warned(std::size_t(merge.TargetCount()));
    const auto warnIfDamaged = [&](int i) {
        const ScanReport report = merge.Report(i);
        if (warned[std::size_t(i)] || !merge.Failure(i).isEmpty() || report.isComplete())
            return;
        warned[std::size_t(i)] = true;
        printErrorLine(QStringLiteral("%1: warning: %2")
                           .arg(QDir::toNativeSeparators(catalogue.GetAt(i)->m_path), report.describe()));
    };
    for (int i = 0; i < merge.TargetCount(); ++i) {
        if (!merge.Failure(i).isEmpty()) {
            printErrorLine(
                QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(catalogue.GetAt(i)->m_path), merge.Failure(i)));
            failed = true;
        }
        warnIfDamaged(i);
    }

    TableWriter out(output, searchKeys(), false);
    std::vector<QByteArray> dirs;
    for (int i = 0; i < merge.TargetCount(); ++i)
        dirs.push_back(QDir::toNativeSeparators(catalogue.GetAt(i)->m_path).toUtf8());
    qint64 number = 0;
    int backup = 0;
    const ResultRows *rows = nullptr;
    int row = 0;
    while (merge.Next(&backup, &rows, &row)) {
        out.beginRow();
        out.addText(dirs[std::size_t(backup)]);
        addQueryCells(out, *rows, row, ++number);
        out.endRow();
        if (out.failed())
            return ExitProblem; // a full disk: main() says so
    }
    out.finish();
    if (out.failed())
        return ExitProblem;
    // A table found damaged only while its rows were read is named after them.
    for (int i = 0; i < merge.TargetCount(); ++i)
        warnIfDamaged(i);
    if (failed)
        return ExitSomeFailed;
    return std::find(warned.begin(), warned.end(), true) != warned.end() ? ExitDamaged : ExitOk;
}

} // namespace Cli

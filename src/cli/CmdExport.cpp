#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TerminalDesktop.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "export/CallListExport.h"
#include "query/ResultListModel.h"
#include "stats/CallStatistics.h"

#include <QCommandLineParser>

namespace Cli {

// Writes the workbook the query window's export writes, for the same rows, without a window.
int Export(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("output")))
        return usageError(QStringLiteral("export"), QStringLiteral("--output FILE.xlsx is needed"));
    BackupQuery search;
    const int started = search.begin(parser, QStringLiteral("export"));
    if (started != ExitOk)
        return started;

    CallListExport workbook;
    if (!workbook.Begin(g_config.m_appDir, parser.value(QStringLiteral("output")))) {
        printError(workbook.LastFailure() == CallListExport::Failure::Template ? QStringLiteral("Open File Error")
                                                                               : workbook.ErrorText());
        return ExitProblem;
    }
    ProgressMeter progress(QStringLiteral("rows"), ProgressMeter::wanted(parser, false));
    progress.setTotal(search.model().ExpectedRowCount());
    // With --stats the rows are counted as they are written, for the sheet after them; the
    // rows go as they are written, so every number is kept for the most frequent ones.
    const bool withStatistics = parser.isSet(QStringLiteral("stats"));
    CallStatistics statistics(withStatistics);
    const bool written = forEachRow(search.model(), progress, [&](const ResultSnapshot &rows, int row) {
        if (withStatistics) {
            int stored = 0;
            const ResultRows &storage = rows.StoredRow(row, &stored);
            statistics.add(storage, stored);
        }
        return workbook.AddRow(CallListExport::WorkbookRow([&](int cell) { return rows.CellText(row, cell); }));
    });
    progress.finish();
    if (written && withStatistics)
        statistics.finish();
    if (!written || (withStatistics && !workbook.AddStatistics(statistics)) || !workbook.Finish()) {
        printError(workbook.ErrorText());
        return ExitProblem;
    }
    return scanResult(search.model().LastScanReport());
}

} // namespace Cli

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "cli/TerminalDesktop.h"
#include "db/ado/AdoDb.h"
#include "query/ResultListModel.h"

#include <QCommandLineParser>

namespace Cli {

// Searches a backup as the query window's Find does and writes the eleven cells of each row
// (TSV, CSV or JSON).
int Query(const QCommandLineParser &parser)
{
    OutputOptions output;
    QString error;
    if (!readOutputOptions(parser, &output, &error))
        return usageError(QStringLiteral("query"), error);
    const bool withStatement = parser.isSet(QStringLiteral("sql"));
    if (withStatement && output.format != OutputFormat::Tsv)
        return usageError(QStringLiteral("query"), QStringLiteral("--sql goes with --format tsv only"));
    BackupQuery search;
    const int started = search.begin(parser, QStringLiteral("query"));
    if (withStatement && !search.statement().isEmpty())
        LineWriter().writeFields({search.statement()});
    if (started != ExitOk)
        return started;

    TableWriter out(output, queryCellKeys(), false);
    ProgressMeter progress(QStringLiteral("rows"), ProgressMeter::wanted(parser, true));
    progress.setTotal(search.model().ExpectedRowCount());
    // Stops at the first write the output refuses (a full disk): the rows after it would be
    // read for nothing.
    const bool written = forEachRow(search.model(), progress, [&](const ResultSnapshot &rows, int row) {
        out.beginRow();
        addQueryCells(out, rows, row);
        out.endRow();
        return !out.failed();
    });
    out.finish();
    if (!written || out.failed())
        return ExitProblem; // main() says that the output could not be written
    return scanResult(search.model().LastScanReport());
}

} // namespace Cli

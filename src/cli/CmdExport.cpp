#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/TerminalDesktop.h"
#include "config/Config.h"
#include "db/AdoDb.h"
#include "export/CallListExport.h"
#include "query/ResultListModel.h"

#include <QCommandLineParser>

namespace Cli {

// Writes the workbook the query window's export writes, for the same rows, without a window.
int Export(const QStringList &args)
{
    QCommandLineParser parser;
    addFilterOptions(parser);
    addLanguageOption(parser);
    parser.addOption({QStringLiteral("output"), QString(), QStringLiteral("FILE.xlsx")});
    if (!parseArguments(parser, QStringLiteral("export"), args) || !parser.isSet(QStringLiteral("output")))
        return usageError(QStringLiteral("export"));
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    CAdoDb db;
    ResultListModel model;
    QString statement;
    const int started = beginSearch(parser, QStringLiteral("export"), db, model, &statement);
    if (started != ExitOk)
        return started;

    CallListExport workbook;
    if (!workbook.Begin(g_config.m_appDir, parser.value(QStringLiteral("output")))) {
        printError(workbook.LastFailure() == CallListExport::Failure::Template ? QStringLiteral("Open File Error")
                                                                               : workbook.ErrorText());
        return ExitProblem;
    }
    const bool written = forEachRow(model, [&](int row) {
        return workbook.AddRow(CallListExport::WorkbookRow([&](int cell) { return model.CellText(row, cell); }));
    });
    if (!written || !workbook.Finish()) {
        printError(workbook.ErrorText());
        return ExitProblem;
    }
    return scanResult(model.LastScanReport());
}

} // namespace Cli

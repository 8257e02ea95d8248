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
    if (!parseArguments(parser, QStringLiteral("export"), args) || parser.positionalArguments().size() != 1
        || !parser.isSet(QStringLiteral("output")) || !loadLanguage(parser))
        return usageError(QStringLiteral("export"));
    QString statement, error;
    if (!buildStatement(parser, &statement, &error)) {
        printError(error);
        return usageError(QStringLiteral("export"));
    }
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    const QString backupDir = backupDirectory(parser.positionalArguments().at(0));
    CAdoDb db;
    if (!openBackupDatabase(db, backupDir))
        return ExitUsage;
    ResultListModel model;
    model.SetBackupDir(backupDir);
    if (!model.BeginFill(db, statement)) {
        printError(db.LastError());
        return ExitStatement;
    }

    CallListExport workbook;
    if (!workbook.Begin(g_config.m_appDir, parser.value(QStringLiteral("output")))) {
        printError(workbook.LastFailure() == CallListExport::Failure::Template ? QStringLiteral("Open File Error")
                                                                                : workbook.ErrorText());
        return ExitProblem;
    }
    // Rows go into the workbook batch by batch and are then forgotten, as in `query`.
    bool more = true;
    while (more) {
        more = model.FillMore(4096);
        for (int row = 0; row < model.RowCount(); ++row) {
            if (!workbook.AddRow(CallListExport::WorkbookRow([&](int cell) { return model.CellText(row, cell); }))) {
                printError(workbook.ErrorText());
                return ExitProblem;
            }
        }
        model.ForgetRows();
    }
    if (!workbook.Finish()) {
        printError(workbook.ErrorText());
        return ExitProblem;
    }
    return ExitOk;
}

} // namespace Cli

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/TerminalDesktop.h"
#include "db/AdoDb.h"
#include "query/ResultListModel.h"

#include <QCommandLineParser>

namespace Cli {

// Searches a backup as the query window's Find does and prints the eleven cells of each row.
int Query(const QStringList &args)
{
    QCommandLineParser parser;
    addFilterOptions(parser);
    addLanguageOption(parser);
    parser.addOption({QStringLiteral("sql"), QString()});
    if (!parseArguments(parser, QStringLiteral("query"), args) || parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("query"));
    if (!loadLanguage(parser))
        return usageError(QStringLiteral("query"));
    QString statement, error;
    if (!buildStatement(parser, &statement, &error)) {
        printError(error);
        return usageError(QStringLiteral("query"));
    }
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    const QString backupDir = backupDirectory(parser.positionalArguments().at(0));
    CAdoDb db;
    if (!openBackupDatabase(db, backupDir))
        return ExitUsage;

    LineWriter out;
    if (parser.isSet(QStringLiteral("sql")))
        out.writeFields({statement});
    ResultListModel model;
    model.SetBackupDir(backupDir);
    if (!model.BeginFill(db, statement)) {
        out.flush();
        printError(db.LastError());
        return ExitStatement;
    }
    // Rows are printed and forgotten batch by batch, so a large result needs little memory.
    QByteArray line, cell;
    bool more = true;
    while (more) {
        more = model.FillMore(4096);
        for (int row = 0; row < model.RowCount(); ++row) {
            line.resize(0);
            for (int position = 0; position < ResultListModel::kCellCount; ++position) {
                if (position)
                    line += '\t';
                cell.resize(0);
                model.AppendCellUtf8(row, position, cell);
                appendEscapedUtf8(line, cell);
            }
            out.writeRaw(line);
        }
        model.ForgetRows();
    }
    return ExitOk;
}

} // namespace Cli

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
    if (!parseArguments(parser, QStringLiteral("query"), args))
        return usageError(QStringLiteral("query"));
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    CAdoDb db;
    ResultListModel model;
    QString statement;
    const int started = beginSearch(parser, QStringLiteral("query"), db, model, &statement);
    LineWriter out;
    if (parser.isSet(QStringLiteral("sql")) && !statement.isEmpty())
        out.writeFields({statement});
    if (started != ExitOk)
        return started;

    QByteArray line, cell;
    forEachRow(model, [&](int row) {
        line.resize(0);
        for (int position = 0; position < ResultListModel::kCellCount; ++position) {
            if (position)
                line += '\t';
            cell.resize(0);
            model.AppendCellUtf8(row, position, cell);
            appendEscapedUtf8(line, cell);
        }
        out.writeRaw(line);
        return true;
    });
    return scanResult(model.LastScanReport());
}

} // namespace Cli

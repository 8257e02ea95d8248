#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliUsage.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/Journal.h"

#include <QCommandLineParser>

namespace Cli {

// Verifies a database (or one table): row counts, every index against the rows, the order
// and links of index pages, free-space fields. One line per problem.
int Check(const QStringList &args)
{
    QCommandLineParser parser;
    if (!parseArguments(parser, QStringLiteral("check"), args) || parser.positionalArguments().isEmpty()
        || parser.positionalArguments().size() > 2)
        return usageError(QStringLiteral("check"));
    const QString path = parser.positionalArguments().at(0);

    jet::Database db;
    QString error;
    if (!db.open(path, jet::PageFile::OpenMode::ReadOnly, &error)) {
        printError(path + QStringLiteral(": ") + error);
        return ExitUsage;
    }
    QStringList problems;
    if (parser.positionalArguments().size() == 2) {
        const QString name = parser.positionalArguments().at(1);
        const auto table = db.table(name, &error);
        if (!table) {
            printError(path + QStringLiteral(": ") + (error.isEmpty() ? QStringLiteral("no table ") + name : error));
            return ExitUsage;
        }
        problems = jet::Checker::checkTable(db.file(), *table);
    } else {
        problems = jet::Checker::checkDatabase(db);
    }
    // The pages may be half way through a change that the journal will undo.
    if (jet::Journal::exists(path))
        problems.prepend(QStringLiteral("%1 lies beside the database: a delete did not finish; the next read-write "
                                        "open rolls it back")
                             .arg(jet::Journal::pathFor(path)));
    LineWriter out;
    for (const QString &problem : problems)
        out.writeFields({problem});
    return problems.isEmpty() ? ExitOk : ExitProblem;
}

} // namespace Cli

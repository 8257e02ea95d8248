#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/Journal.h"

#include <QCommandLineParser>

namespace Cli {

// Verifies a database (or one table): row counts, every index against the rows, the order
// and links of index pages, free-space fields. One line per problem.
int Check(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty() || arguments.size() > 2)
        return usageError(QStringLiteral("check"), arguments.isEmpty() ? QStringLiteral("no database given")
                                                                       : QStringLiteral("too many arguments"));
    const QString path = arguments.at(0);

    jet::Database db;
    QString error;
    if (!db.open(path, jet::PageFile::OpenMode::ReadOnly, &error)) {
        printError(path + QStringLiteral(": ") + error);
        return ExitUsage;
    }
    // Pages half way through a delete that its journal will undo are checked as the rollback
    // will leave them, which is what every reader sees.
    bool rolledBack = false;
    QString leftAlone;
    if (!jet::Journal::readAsRolledBack(db.file(), &rolledBack, &error, &leftAlone)
        || (rolledBack && !db.reload(&error))) {
        printError(path + QStringLiteral(": ") + error);
        return ExitProblem;
    }
    if (rolledBack)
        printError(QStringLiteral("%1 holds a delete that did not finish: checked as if it had been rolled back")
                       .arg(jet::Journal::pathFor(path)));
    // Progress in pages read, out of the pages of the file (the checker reads most of them once).
    ProgressMeter progress(QStringLiteral("pages"), ProgressMeter::wanted(parser, false));
    progress.setTotal(qint64(db.file().pageCount()));
    const auto pagesRead = [&](std::uint64_t pages) { progress.advance(qint64(pages)); };
    QStringList problems;
    if (arguments.size() == 2) {
        const QString name = arguments.at(1);
        const auto table = db.table(name, &error);
        if (!table) {
            printError(path + QStringLiteral(": ") + (error.isEmpty() ? QStringLiteral("no table ") + name : error));
            return ExitUsage;
        }
        problems = jet::Checker::checkTable(db.file(), *table, pagesRead);
    } else {
        problems = jet::Checker::checkDatabase(db, pagesRead);
    }
    // The file itself is half way through a change (or holds a journal that never became
    // complete); the next read-write open settles it. A damaged one it does not: it stays
    // until someone removes it, and deletes are refused meanwhile.
    if (!leftAlone.isEmpty())
        problems.prepend(leftAlone + QStringLiteral("; deletes are refused until it is removed"));
    else if (jet::Journal::exists(path))
        problems.prepend(QStringLiteral("%1 lies beside the database: a delete did not finish; the next read-write "
                                        "open rolls it back")
                             .arg(jet::Journal::pathFor(path)));
    progress.finish();
    LineWriter out;
    for (const QString &problem : problems)
        out.writeFields({problem});
    return problems.isEmpty() ? ExitOk : ExitProblem;
}

} // namespace Cli

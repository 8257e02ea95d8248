#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/TerminalDesktop.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "platform/RandomAccessFile.h"
#include "query/RecordActions.h"
#include "query/ResultListModel.h"

#include <QCommandLineParser>
#include <QDir>

namespace Cli {

// Deletes one call record as the query window does: its database row, then its recording.
int Delete(const QCommandLineParser &parser)
{
    if (parser.positionalArguments().size() != 2)
        return usageError(QStringLiteral("delete"), QStringLiteral("a backup directory and a record id are needed"));
    if (!loadLanguage(parser))
        return usageError(QStringLiteral("delete"));
    bool isNumber = false;
    const qlonglong id = parser.positionalArguments().at(1).toLongLong(&isNumber);
    if (!isNumber || id < INT32_MIN || id > INT32_MAX)
        return usageError(QStringLiteral("delete"),
                          QStringLiteral("not a record id: %1").arg(parser.positionalArguments().at(1)));
    TerminalDesktop desktop(parser.isSet(QStringLiteral("yes")));
    ScopedDesktop installed(&desktop);

    const QString backupDir = backupDirectory(parser.positionalArguments().at(0));
    CAdoDb db;
    if (!openBackupDatabase(db, backupDir))
        return ExitUsage;

    // The row as the result list would show it: cell 8 names the file, cell 9 the id.
    ResultListModel model;
    model.SetBackupDir(backupDir);
    model.FillResultList(db, QStringLiteral("select * from record where id = %1").arg(id));
    if (model.RowCount() == 0) {
        printError(QStringLiteral("no record with id %1").arg(id));
        return ExitNotFound;
    }
    const QString recording = model.CellText(0, ResultListModel::CellFile);
    RecordActions actions(db, model, model.Recordings(), g_config);
    switch (actions.DeleteRecord(model.KeyOf(0))) {
    case RecordActions::DeleteResult::Cancelled:
        return ExitProblem;
    case RecordActions::DeleteResult::ReadOnly: // the message said why, before anything was tried
        return ExitStatement;
    case RecordActions::DeleteResult::Failed:
        printError(db.LastError());
        return ExitStatement;
    case RecordActions::DeleteResult::Deleted:
        break;
    case RecordActions::DeleteResult::DeletedFileKept:
        // The message said why; a script must not take the recording for gone. A recording
        // that was not there to begin with did not stay.
        if (actions.LastRemoval() == RecordActions::Removal::Missing)
            break;
        printError(QStringLiteral("record %1 was deleted, but its recording %2 %3")
                       .arg(id)
                       .arg(QDir::toNativeSeparators(recording), RandomAccessFile::exists(recording)
                                                                     ? QStringLiteral("is still there")
                                                                     : QStringLiteral("was not deleted")));
        return ExitProblem;
    }
    return ExitOk;
}

} // namespace Cli

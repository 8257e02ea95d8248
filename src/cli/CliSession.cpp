#include "cli/CliSession.h"

#include "backup/BackupArray.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "db/exec/ScanReport.h"
#include "db/jet/Journal.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/BackupMerge.h"
#include "query/BuildStatement.h"
#include "query/ResultListModel.h"
#include "query/ResultRows.h"
#include "task/TaskPool.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <future>
#include <memory>

namespace Cli {

QCommandLineOption languageOption()
{
    return {QStringLiteral("language"), QStringLiteral("texts in language 0/zh, 1/en or 3/tr (default: config.ini)"),
            QStringLiteral("CODE")};
}

bool loadLanguage(const QCommandLineParser &parser)
{
    int code = g_config.m_language;
    if (parser.isSet(QStringLiteral("language"))) {
        const QString value = parser.value(QStringLiteral("language")).toLower();
        bool numeric = false;
        code = value.toInt(&numeric);
        if (!numeric) {
            if (value == QLatin1String("zh"))
                code = 0;
            else if (value == QLatin1String("en"))
                code = 1;
            else if (value == QLatin1String("tr"))
                code = 3;
            else {
                printError(QStringLiteral("unknown language (0, 1, 3, zh, en or tr): %1")
                               .arg(parser.value(QStringLiteral("language"))));
                return false;
            }
        }
    }
    g_config.m_language = code;
    const QString file = g_config.LanguageFileName();
    // Without its language file every text is empty, the questions included: say so.
    if (!file.isEmpty() && g_language.Load(file) != 0)
        printError(QStringLiteral("cannot read the language file %1: %2; its texts stay empty")
                       .arg(QDir::cleanPath(g_language.ProgramDir() + u'/' + file), g_language.LoadError()));
    return true;
}

QList<QCommandLineOption> filterOptions()
{
    const QString date = QStringLiteral("YYYY-MM-DD");
    const QString text = QStringLiteral("TEXT");
    return {
        {QStringLiteral("from"), QStringLiteral("calls that started on this day or later"), date},
        {QStringLiteral("to"), QStringLiteral("calls that started on this day or earlier"), date},
        {QStringLiteral("type"), QStringLiteral("the kind of call (default all)"),
         QStringLiteral("all|incoming|outgoing|missed")},
        {QStringLiteral("user"), QStringLiteral("user names that contain TEXT (% any characters, _ any one)"), text},
        {QStringLiteral("number"),
         QStringLiteral("numbers that contain TEXT (% any characters, _ any one; --user is then ignored)"), text},
        {QStringLiteral("remark"), QStringLiteral("remarks that contain TEXT (% any characters, _ any one)"), text},
    };
}

bool buildStatement(const QCommandLineParser &parser, QString *statement, QString *error)
{
    // The window's initial state: date box clear with both dates today, all call types,
    // the user box showing the all-users text.
    OleDate from = OleDate::fromDateTime(QDateTime::currentDateTime());
    OleDate to = from;
    const bool useDates = parser.isSet(QStringLiteral("from")) || parser.isSet(QStringLiteral("to"));
    for (const char *name : {"from", "to"}) {
        if (!parser.isSet(QString::fromLatin1(name)))
            continue;
        const QString text = parser.value(QString::fromLatin1(name));
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid()) {
            *error = QStringLiteral("not a date (YYYY-MM-DD): %1").arg(text);
            return false;
        }
        (qstrcmp(name, "from") == 0 ? from : to) = OleDate::fromDateTime(QDateTime(date, QTime(0, 0)));
    }
    int callType = CallTypeAll;
    if (parser.isSet(QStringLiteral("type"))) {
        const QString type = parser.value(QStringLiteral("type"));
        if (type == QLatin1String("incoming"))
            callType = CallTypeIncoming;
        else if (type == QLatin1String("outgoing"))
            callType = CallTypeOutgoing;
        else if (type == QLatin1String("missed"))
            callType = CallTypeMissed;
        else if (type != QLatin1String("all")) {
            *error = QStringLiteral("unknown call type: %1").arg(type);
            return false;
        }
    }
    const QString allUsers = GetDialogText(Ids::TxtAllUsers);
    const QString user = parser.isSet(QStringLiteral("user")) ? parser.value(QStringLiteral("user")) : allUsers;
    *statement = BuildStatement(parser.value(QStringLiteral("number")), user, allUsers,
                                parser.value(QStringLiteral("remark")), callType, useDates, from, to);
    return true;
}

QString rolledBackNote(const QString &databasePath)
{
    return QStringLiteral("%1 holds a delete that did not finish and cannot be rolled back here (the database "
                          "cannot be written): it is read as if that delete had been rolled back")
        .arg(jet::Journal::pathFor(databasePath));
}

QString backupDirectory(const QString &dir)
{
    // Held with "/" inside the program; on Windows a folder may come as E:\Backup\ (a
    // trailing "\" is a separator too, not a part of the name).
    const QString held = QDir::fromNativeSeparators(dir);
    return held.endsWith(u'/') ? held : held + u'/';
}

bool openBackupDatabase(CAdoDb &db, const QString &backupDir)
{
    const QString path = CBackupArray::DatabaseOf(backupDir);
    if (db.OpenAccessDatabase(path, QString())) {
        if (db.ReadsRolledBack())
            printError(rolledBackNote(path));
        if (!db.JournalLeftAlone().isEmpty())
            printError(QStringLiteral("warning: ") + db.JournalLeftAlone());
        return true;
    }
    printError(GetDialogText(Ids::TxtDatabaseOpenFailed));
    printError(db.LastError());
    return false;
}

int BackupQuery::begin(const QCommandLineParser &parser, const QString &command)
{
    if (parser.positionalArguments().size() != 1)
        return usageError(command, parser.positionalArguments().isEmpty()
                                       ? QStringLiteral("no backup directory given")
                                       : QStringLiteral("one backup directory only"));
    if (!loadLanguage(parser))
        return usageError(command);
    QString error;
    if (!buildStatement(parser, &m_statement, &error))
        return usageError(command, error);
    const QString backupDir = backupDirectory(parser.positionalArguments().at(0));
    if (!openBackupDatabase(m_db, backupDir))
        return ExitUsage;
    m_model.SetBackupDir(backupDir);
    if (!m_model.BeginFill(m_db, m_statement)) {
        printError(m_db.LastError());
        return ExitStatement;
    }
    return ExitOk;
}

bool forEachRow(ResultListModel &model, ProgressMeter &progress,
                const std::function<bool(const ResultSnapshot &rows, int row)> &take)
{
    // Small enough that the first batch, read before anything can be taken, is short.
    constexpr int kBatchRows = 1024;
    // Two batches at most are alive: the one being read and the one being taken.
    std::future<bool> taking;
    const auto takenWhole = [&taking] { return !taking.valid() || taking.get(); };
    bool more = true;
    while (more) {
        more = model.FillMore(kBatchRows);
        ResultSnapshot batch = model.Snapshot();
        model.ForgetRows();
        if (!takenWhole())
            return false;
        progress.advance(batch.RowCount());
        // Taken on the program's pool while the next batch is read here.
        auto taken = std::make_shared<std::promise<bool>>();
        taking = taken->get_future();
        TaskPool::shared().post([&take, batch = std::move(batch), taken] {
            try {
                bool whole = true;
                for (int row = 0; whole && row < batch.RowCount(); ++row)
                    whole = take(batch, row);
                taken->set_value(whole);
            } catch (...) {
                taken->set_exception(std::current_exception());
            }
        });
    }
    return takenWhole();
}

int scanResult(const ScanReport &report)
{
    if (report.isComplete())
        return ExitOk;
    printError(QStringLiteral("warning: ") + report.describe());
    return ExitDamaged;
}

const QStringList &queryCellKeys()
{
    static const QStringList keys = {
        QStringLiteral("no"),        QStringLiteral("user"),      QStringLiteral("type"), QStringLiteral("number"),
        QStringLiteral("start"),     QStringLiteral("talk_time"), QStringLiteral("size"), QStringLiteral("remark"),
        QStringLiteral("recording"), QStringLiteral("id"),        QStringLiteral("dtmf"),
    };
    return keys;
}

QList<QCommandLineOption> catalogueOptions()
{
    return {QCommandLineOption(QStringLiteral("root"),
                               QStringLiteral("the backup root (default: m_BackDir of config.ini)"),
                               QStringLiteral("DIR")),
            QCommandLineOption(QStringLiteral("add"),
                               QStringLiteral("a backup directory listed after those of the root; may be repeated"),
                               QStringLiteral("DIR"))};
}

bool buildCatalogue(const QCommandLineParser &parser, CBackupArray &catalogue, QString *error)
{
    const bool given = parser.isSet(QStringLiteral("root"));
    QStringList folders{given ? parser.value(QStringLiteral("root")) : catalogue.BackupRoot()};
    folders += parser.values(QStringLiteral("add"));
    // A folder that is not there lists nothing, which a script would take for an empty one.
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QFileInfo folder(folders[i]);
        const QString what = i > 0   ? QStringLiteral("--add")
                             : given ? QStringLiteral("--root")
                                     : QStringLiteral("the backup root (m_BackDir)");
        if (!folder.exists()) {
            *error = QStringLiteral("%1: the folder %2 does not exist").arg(what, folders[i]);
            return false;
        }
        if (!folder.isDir()) {
            *error = QStringLiteral("%1: %2 is not a folder").arg(what, folders[i]);
            return false;
        }
    }
    for (const QString &folder : std::as_const(folders))
        catalogue.AddNewBackups(folder);
    return true;
}

int openCatalogueSearch(const QCommandLineParser &parser, const QString &command, CBackupArray &catalogue,
                        std::unique_ptr<BackupMerge> *merge)
{
    if (!loadLanguage(parser))
        return usageError(command);
    QString statement, error;
    if (!buildStatement(parser, &statement, &error))
        return usageError(command, error);
    if (!buildCatalogue(parser, catalogue, &error))
        return usageError(command, error);
    std::vector<BackupSearch::Target> targets;
    for (int i = 0; i < catalogue.GetCount(); ++i)
        targets.push_back({catalogue.GetAt(i)->m_name, catalogue.GetAt(i)->m_path});
    *merge = std::make_unique<BackupMerge>(std::move(targets), statement);
    ProgressMeter progress(QStringLiteral("backups"), ProgressMeter::wanted(parser, true));
    progress.setTotal((*merge)->TargetCount());
    int counted = 0;
    (*merge)->Open([&](int done) {
        progress.advance(done - counted);
        counted = done;
    });
    progress.finish();
    return ExitOk;
}

namespace {

// The cells of one row, from a source that appends a cell's UTF-8 text.
void addCells(TableWriter &out, qint64 number, const std::function<void(int position, QByteArray &cell)> &appendCell)
{
    QByteArray &cell = out.cellBuffer();
    for (int position = 0; position < ResultListModel::kCellCount; ++position) {
        cell.resize(0);
        if (position == ResultListModel::CellNumber && number >= 0)
            cell.setNum(number);
        else
            appendCell(position, cell);
        if (position == ResultListModel::CellNumber || position == ResultListModel::CellId)
            out.addNumberText(cell);
        else
            out.addText(cell);
    }
}

} // namespace

void addQueryCells(TableWriter &out, const ResultRows &rows, int row, qint64 number)
{
    addCells(out, number, [&](int position, QByteArray &cell) { rows.AppendCellUtf8(row, position, cell); });
}

void addQueryCells(TableWriter &out, const ResultSnapshot &rows, int row)
{
    addCells(out, -1, [&](int position, QByteArray &cell) { rows.AppendCellUtf8(row, position, cell); });
}

} // namespace Cli

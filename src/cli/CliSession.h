#pragma once

#include "cli/TerminalDesktop.h"
#include "db/ado/AdoDb.h"
#include "query/ResultListModel.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BackupMerge;
class CBackupArray;
class QCommandLineParser;
class ResultRows;
class ResultSnapshot;
class ScanReport;

// What the commands that work on one backup share: the language file, the search filter
// options of the query window, and opening the backup's database as the window does.
namespace Cli {

class ProgressMeter;
class TableWriter;

// --language CODE: a language code (0 Chinese, 1 English, 3 Turkish) or zh, en, tr.
QCommandLineOption languageOption();
// Loads the language file that --language or config.ini selects. False (with a message) for
// an unknown code.
bool loadLanguage(const QCommandLineParser &parser);

// --from, --to, --type, --user, --number, --remark.
QList<QCommandLineOption> filterOptions();
// The statement Find builds for the filter options, starting from the query window's
// initial state. False (with a message) for a malformed date or type.
bool buildStatement(const QCommandLineParser &parser, QString *statement, QString *error);

// The backup directory as the query window keeps it: ending in "/".
QString backupDirectory(const QString &dir);
// The note orvik-cli writes to stderr when the database is read through the journal of an
// unfinished delete (open read-only, see jet::Journal::readAsRolledBack).
QString rolledBackNote(const QString &databasePath);
// Opens the backup's dbR.mdb (spelt in any letter case) as the query window does; on failure
// prints Ids::TxtDatabaseOpenFailed to stderr, and rolledBackNote() when it reads through a journal.
bool openBackupDatabase(CAdoDb &db, const QString &backupDir);

// What the commands that search a backup like Find (query, export, stats) work with: the
// messages on the terminal, the database and the rows.
class BackupQuery
{
public:
    // Loads the language, builds the statement of the filter options, opens the backup
    // named by the one positional argument and starts the statement into model(). Returns
    // ExitOk when the rows can be read, else the exit code (the reason printed).
    int begin(const QCommandLineParser &parser, const QString &command);

    ResultListModel &model() { return m_model; }
    const QString &statement() const { return m_statement; } // once built

private:
    TerminalDesktop m_desktop;
    ScopedDesktop m_installed{&m_desktop};
    CAdoDb m_db;
    ResultListModel m_model;
    QString m_statement;
};
// Reads the rest of a search batch by batch, hands each row to `take` and forgets it, so a
// large result needs little memory; `progress` counts the rows. Stops (false) when `take`
// returns false. `take` runs on a second thread, over a snapshot of its batch, while this
// one reads the next batch; the rows reach it in order, one batch after the other.
bool forEachRow(ResultListModel &model, ProgressMeter &progress,
                const std::function<bool(const ResultSnapshot &rows, int row)> &take);

// --root DIR and --add DIR..., and the catalogue they make as the main window builds it:
// the backups of the root (default: m_BackDir of config.ini), then those of each --add,
// each backup once however its path is written (CBackupArray::AddNewBackups). False (with
// the one line saying so in `error`) when a folder named is missing or no folder.
QList<QCommandLineOption> catalogueOptions();
bool buildCatalogue(const QCommandLineParser &parser, CBackupArray &catalogue, QString *error);
// The first steps of a search over the catalogue (search, stats): the language, the
// statement of the FILTERS, the catalogue, and every backup opened and run, with the
// progress over the backups. ExitOk, or the usage error's exit code (`command`'s usage).
int openCatalogueSearch(const QCommandLineParser &parser, const QString &command, CBackupArray &catalogue,
                        std::unique_ptr<BackupMerge> *merge);

// The names of the eleven cells of a search row: the CSV header and the JSON keys.
const QStringList &queryCellKeys();
// Adds the eleven cells of `row` to the row `out` is writing: the row number and the record
// id as numbers, the others as text. `number`, when not negative, stands in cell 0 instead
// of the row's own number.
void addQueryCells(TableWriter &out, const ResultRows &rows, int row, qint64 number = -1);
void addQueryCells(TableWriter &out, const ResultSnapshot &rows, int row);
// After the rows of a statement: ExitOk when the table was read whole, else ExitDamaged
// with a warning on stderr that names what was skipped.
int scanResult(const ScanReport &report);

} // namespace Cli

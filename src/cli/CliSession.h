#pragma once

#include <QString>

class CAdoDb;
class QCommandLineParser;

// What the commands that work on one backup share: the language file, the search filter
// options of the query window, and opening the backup's database as the window does.
namespace Cli {

// --language CODE: a language code (0 Chinese, 1 English, 3 Turkish) or zh, en, tr.
void addLanguageOption(QCommandLineParser &parser);
// Loads the language file that --language or config.ini selects. False for an unknown code.
bool loadLanguage(const QCommandLineParser &parser);

// --from, --to, --type, --user, --number, --remark.
void addFilterOptions(QCommandLineParser &parser);
// The statement Find builds for the filter options, starting from the query window's
// initial state. False (with a message) for a malformed date or type.
bool buildStatement(const QCommandLineParser &parser, QString *statement, QString *error);

// The backup directory as the query window keeps it: ending in "/".
QString backupDirectory(const QString &dir);
// Opens dir + "dbR.mdb" as the query window does; on failure prints text 146 to stderr.
bool openBackupDatabase(CAdoDb &db, const QString &backupDir);

} // namespace Cli

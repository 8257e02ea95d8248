#pragma once

#include <QString>

// Where Orvik looks for the files it reads, and where it keeps the one file of its own it
// writes (the user's copy of the template workbook).
//
// A folder holding the program and its files works wherever it is copied: config.ini, the
// language folder and sample.xlsx are looked for beside the executable first. An installed
// program finds its language folder and template in the installation's data folder, which
// is found relative to the executable (bin/../share/orvik), so an installation moved to
// another prefix keeps working. The user's own config.ini and editable template live in the
// user's folders. Nothing is ever written beside the executable or into the installation.
namespace FileLocations {

// A folder's path as Orvik holds it: ending in "/" (unless empty).
QString AsFolder(QString dir);

// `name` (a file or folder name, or a relative path) as it is spelt inside `dir` when it
// exists there, else an empty string. Names are matched as Windows matches them, without
// regard to case (see FolderNames). Every look-up below goes through here, so how names
// are matched is decided in this one place.
QString MatchIn(const QString &dir, const QString &name);
// The path of that name inside `dir`, or an empty string.
QString FindIn(const QString &dir, const QString &name);

// The installation's data folder as seen from the program directory, ending in "/"
// ("<programDir>/../share/orvik/" in the usual layout); it need not exist.
QString InstalledDataDir(const QString &programDir);

// The language folder relative to the program directory, ending in "/": "language/" when
// that folder is beside the program, else the installation's (e.g.
// "../share/orvik/language/") when it exists, else "language/"; spelt as on disk.
QString LanguageFolder(const QString &programDir);
// The language file `fileName` relative to the program directory, in LanguageFolder(),
// spelt as on disk when it is there in any letter case.
QString LanguageFile(const QString &programDir, const QString &fileName);

// config.ini beside the program when it is there, else the user's
// ($XDG_CONFIG_HOME/orvik/config.ini), which need not exist.
QString SettingsFile(const QString &programDir);

// sample.xlsx beside the program, or empty when there is none.
QString TemplateBesideProgram(const QString &programDir);
// The installation's sample.xlsx, or empty when there is none.
QString InstalledTemplate(const QString &programDir);
// Where the user's editable copy of the template lives ($XDG_DATA_HOME/orvik/sample.xlsx),
// whether it exists or not.
QString UserTemplateFile();

} // namespace FileLocations

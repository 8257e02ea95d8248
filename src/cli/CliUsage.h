#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace Cli {

// The usage text of one command, or of all of them for an empty name.
QString usageText(const QString &command = QString());
// Prints the usage text to stderr and returns the usage exit code.
int usageError(const QString &command = QString());
// Parses `args` (the words after the command name); false on unknown options or missing values.
bool parseArguments(QCommandLineParser &parser, const QString &command, const QStringList &args);

} // namespace Cli

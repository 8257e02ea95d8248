#pragma once

#include <QCommandLineOption>
#include <QString>

namespace Cli {

// -h, --help: every command takes it.
QCommandLineOption helpOption();

// The help of one command (usage line, what it does, its options), or for an empty name the
// overview: usage, the commands, the exit codes. What --help and `help` print.
QString helpText(const QString &command = QString());
// The usage line of one command (or of orvik-cli for an empty name) and where to find more.
QString usageText(const QString &command = QString());
// Prints `what` (the one line saying what was wrong, when not empty) and the usage text to
// stderr; returns the usage exit code.
int usageError(const QString &command = QString(), const QString &what = QString());

} // namespace Cli

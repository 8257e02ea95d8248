#pragma once

#include <QString>

// orvik's command line: [--help] [--version] [FOLDER].

// Reads the command line of the application object. --help and --version print their text
// and end the process (exit 0); a line it cannot read prints the reason and the usage and
// ends the process with exit 2. Otherwise returns FOLDER as an absolute path (the folder
// holding it when FOLDER names a file, such as a backup's dbR.mdb), or an empty string when
// none is given.
QString ReadCommandLine();

// Whether the command line asks only for text (--help, --version), which needs no window
// system: a QCoreApplication and ReadCommandLine answer it.
bool CommandLineOnlyPrints(int argc, char **argv);

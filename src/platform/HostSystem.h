#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>

// What Orvik asks of the operating system beside files: who runs it, where it lives, where
// the system is installed and which media player it offers. The header is the same
// everywhere; the build picks HostSystemPosix.cpp or HostSystemWin32.cpp.
namespace HostSystem {

// A text that tells the user running the program apart from every other user of the
// machine and stays the same across runs: the user id on POSIX systems, the security
// identifier on Windows. It goes into the names of per-user files and sockets.
QString userKey();

// Makes `path` a folder that only the user running the program can use, or checks that it
// is one: created with no rights for anyone else when missing; an existing one must be a
// folder itself (not a link to one), belong to this user and grant nobody else anything
// (on Windows: belong to this user). False, with the reason in `why`, when it is not so;
// nothing is changed then.
bool makePrivateFolder(const QString &path, QString *why);

// Whether the process at the other end of a connected local socket (a descriptor on POSIX
// systems, a named pipe's HANDLE on Windows) runs as the user running this program:
// SO_PEERCRED or getpeereid, or the pipe's client or server process's token on Windows.
// False when it cannot be told.
bool localPeerIsThisUser(qintptr socketDescriptor);

// The full path of the running executable, with "/" separators; empty when unknown.
QString executablePath();

// The root of the drive that holds the operating system, ending in "/": "/" on POSIX
// systems, "C:/" for a Windows installed in C:\Windows.
QString systemDriveRoot();

// The media player of player type 0, searched under `sysDriveRoot` where the system keeps
// it; empty when there is none. On POSIX systems: the first common player found in PATH.
// On Windows: Windows Media Player under "Program Files" (wmplayer.exe, then mplayer2.exe),
// then either name in the current folder.
QString findMediaPlayer(const QString &sysDriveRoot);

// The player started when findMediaPlayer finds none, as a plain name.
QString fallbackMediaPlayer();

// Whether `stream` (stdout, stderr) goes to a terminal, a console on Windows.
bool isTerminal(std::FILE *stream);

// Makes `stream` write the bytes it is given. Windows' C library otherwise writes every
// "\n" as "\r\n", so a CSV row's "\r\n" would come out as "\r\r\n" and no output would
// match the same program's elsewhere. POSIX systems write bytes as given anyway.
void writeBytesAsGiven(std::FILE *stream);

// Settings the whole process needs from the start, before Qt is used. On Windows: Qt's
// regular expressions without PCRE2's JIT, whose code made worker threads (the search's,
// the export's) crash as they ended under Wine; the expressions matched are a few short
// date and file-name patterns, which need no JIT. Nothing on POSIX systems.
void prepareProcess();

} // namespace HostSystem

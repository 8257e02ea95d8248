// HostSystem on Windows.
#include "platform/HostSystem.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace HostSystem {

namespace {

// The user (security identifier) a process runs as, from its token; empty when unknown.
std::vector<char> userOfProcess(HANDLE process)
{
    HANDLE token = nullptr;
    std::vector<char> user;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return user;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
        user.clear();
    CloseHandle(token);
    return user;
}

PSID sidOf(std::vector<char> &user)
{
    return user.empty() ? nullptr : reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
}

} // namespace

QString userKey()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return QString();
    QString key;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> buffer(size);
    LPWSTR text = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)
        && ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid, &text)) {
        key = QString::fromWCharArray(text);
        LocalFree(text);
    }
    CloseHandle(token);
    return key;
}

bool makePrivateFolder(const QString &path, QString *why)
{
    if (!QDir().mkpath(path)) {
        *why = QStringLiteral("it cannot be created");
        return false;
    }
    // A folder of another user's under the name would hold that user's pipe name and lock.
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (GetNamedSecurityInfoW(native.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor)
        != ERROR_SUCCESS) {
        *why = QStringLiteral("its owner cannot be read");
        return false;
    }
    std::vector<char> self = userOfProcess(GetCurrentProcess());
    const bool ours = owner && sidOf(self) && EqualSid(owner, sidOf(self));
    LocalFree(descriptor);
    if (!ours)
        *why = QStringLiteral("it belongs to another user");
    return ours;
}

bool localPeerIsThisUser(qintptr socketDescriptor)
{
    // The pipe knows both of its processes; the other one is the peer.
    const HANDLE pipe = reinterpret_cast<HANDLE>(socketDescriptor);
    ULONG server = 0;
    ULONG client = 0;
    if (!GetNamedPipeServerProcessId(pipe, &server) || !GetNamedPipeClientProcessId(pipe, &client))
        return false;
    const ULONG peer = server == GetCurrentProcessId() ? client : server;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, peer);
    if (!process)
        return false;
    std::vector<char> theirs = userOfProcess(process);
    CloseHandle(process);
    std::vector<char> self = userOfProcess(GetCurrentProcess());
    return sidOf(theirs) && sidOf(self) && EqualSid(sidOf(theirs), sidOf(self));
}

QString executablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return QString();
        if (n < buffer.size())
            return QDir::fromNativeSeparators(QString::fromWCharArray(buffer.data(), int(n)));
        buffer.resize(buffer.size() * 2); // the path was cut off
    }
}

QString systemDriveRoot()
{
    // The system folder (C:\Windows\system32) without its last two parts.
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return QString();
    QString dir = QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(n)));
    dir.truncate(qMax<qsizetype>(dir.lastIndexOf(u'/'), 0));
    return dir.left(dir.lastIndexOf(u'/') + 1);
}

QString findMediaPlayer(const QString &sysDriveRoot)
{
    const QString folder = sysDriveRoot + QStringLiteral("Program Files/Windows Media Player/");
    for (const QString &candidate : {folder + QStringLiteral("wmplayer.exe"), folder + QStringLiteral("mplayer2.exe"),
                                     QStringLiteral("wmplayer.exe"), QStringLiteral("mplayer2.exe")}) {
        if (QFileInfo::exists(candidate))
            return QDir::toNativeSeparators(candidate);
    }
    return QString();
}

QString fallbackMediaPlayer()
{
    return QStringLiteral("mplayer2.exe");
}

bool isTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

void writeBytesAsGiven(std::FILE *stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

void prepareProcess()
{
    // Read once, at the first expression: set here, before any.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
}

} // namespace HostSystem

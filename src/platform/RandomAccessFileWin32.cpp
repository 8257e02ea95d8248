// RandomAccessFile on Windows file handles. Reads and writes pass their offset in an
// OVERLAPPED structure, so no shared file position is ever moved.
#include "platform/RandomAccessFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <string>

#include <windows.h>

namespace {

QString systemError()
{
    return qt_error_string(int(GetLastError()));
}

bool fail(QString *error)
{
    if (error)
        *error = systemError();
    return false;
}

HANDLE handleOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

OVERLAPPED at(std::uint64_t offset)
{
    OVERLAPPED o{};
    o.Offset = DWORD(offset & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(offset >> 32);
    return o;
}

// One ReadFile or WriteFile moves at most this much, well inside a DWORD.
constexpr std::size_t kChunk = std::size_t(1) << 30;

RandomAccessFile::OpenResult notRegular(QString *error, const QString &kind)
{
    if (error)
        *error = QStringLiteral("not a regular file (%1)").arg(kind);
    return RandomAccessFile::OpenResult::NotRegularFile;
}

// What the open `h` is, when it is not a file on a disk.
QString kindOfHandle(HANDLE h)
{
    switch (GetFileType(h)) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info))
            return QStringLiteral("not a file");
        return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? QStringLiteral("a folder") : QString();
    }
    case FILE_TYPE_PIPE:
        return QStringLiteral("a named pipe");
    case FILE_TYPE_CHAR:
        return QStringLiteral("a device");
    default:
        return QStringLiteral("not a file");
    }
}

} // namespace

RandomAccessFile::OpenResult RandomAccessFile::open(const QString &path, Access access, QString *error)
{
    close();
    const DWORD rights = access == Access::Read        ? GENERIC_READ
                         : access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE
                                                       : GENERIC_WRITE;
    // Others may read, write, rename and delete the file while it is open, as on POSIX
    // systems; the lock layer decides who may change it.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD disposition = access == Access::CreateNew ? CREATE_NEW : OPEN_EXISTING;
    const HANDLE h =
        CreateFileW(nativePath(path).c_str(), rights, sharing, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A folder does not open without backup semantics: it is named for what it is
        // rather than by the system's "access denied".
        const DWORD why = GetLastError();
        const QString kind = describeKind(path);
        if (!kind.isEmpty())
            return notRegular(error, kind);
        SetLastError(why);
        fail(error);
        return OpenResult::Failed;
    }
    if (const QString kind = kindOfHandle(h); !kind.isEmpty()) {
        CloseHandle(h);
        return notRegular(error, kind);
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return OpenResult::Opened;
}

void RandomAccessFile::close()
{
    if (isOpen())
        CloseHandle(handleOf(m_handle));
    m_handle = kClosed;
}

qint64 RandomAccessFile::moveOnce(Direction direction, std::uint64_t offset, char *bytes, std::size_t length,
                                  QString *why) const
{
    OVERLAPPED o = at(offset);
    DWORD n = 0;
    const DWORD chunk = DWORD(std::min(length, kChunk));
    const BOOL moved = direction == Direction::Read ? ReadFile(handleOf(m_handle), bytes, chunk, &n, &o)
                                                    : WriteFile(handleOf(m_handle), bytes, chunk, &n, &o);
    if (moved)
        return qint64(n);
    if (direction == Direction::Read && GetLastError() == ERROR_HANDLE_EOF)
        return 0;
    fail(why);
    return -1;
}

bool RandomAccessFile::sync(QString *error)
{
    if (!mayWrite(error, false))
        return false;
    return FlushFileBuffers(handleOf(m_handle)) || fail(error);
}

bool RandomAccessFile::truncate(std::uint64_t length, QString *error)
{
    if (!mayWrite(error, false))
        return false;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(length);
    return (SetFilePointerEx(handleOf(m_handle), end, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(m_handle)))
           || fail(error);
}

qint64 RandomAccessFile::size(QString *error) const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handleOf(m_handle), &size)) {
        fail(error);
        return -1;
    }
    return qint64(size.QuadPart);
}

bool RandomAccessFile::syncFolderOf(const QString &path, QString *error)
{
    // A folder opens as a handle only with backup semantics; flushing it needs write access.
    const HANDLE h = CreateFileW(nativePath(QFileInfo(path).absolutePath()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail(error);
    const bool ok = FlushFileBuffers(h) || fail(error);
    CloseHandle(h);
    return ok;
}

QString RandomAccessFile::describeKind(const QString &path)
{
    // Opened with backup semantics, which a folder needs, and no rights at all, which no
    // sharing mode refuses; a named pipe is not waited for.
    const HANDLE h = CreateFileW(nativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return QString();
    const QString kind = kindOfHandle(h);
    CloseHandle(h);
    return kind;
}

bool RandomAccessFile::remove(const QString &path, QString *error)
{
    if (!mayWrite(error, false))
        return false;
    if (DeleteFileW(nativePath(path).c_str()))
        return true;
    const DWORD why = GetLastError();
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND || fail(error);
}

bool RandomAccessFile::exists(const QString &path)
{
    // The attributes of a link are its own: a link that leads nowhere still counts.
    return GetFileAttributesW(nativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// FileLocks on LockFileEx. Windows byte-range locks are mandatory and belong to the file
// handle, so each lock is one byte far past the end of the file, where no read or write
// of this or any other program ever reaches.
#include "platform/FileLocks.h"

#include "platform/RandomAccessFile.h"

#include <QDir>

#include <cstdint>

#include <windows.h>

namespace FileLocks {

namespace {
// Jet files stay below 2 GiB; the lock bytes lie far beyond, so they never cover data.
constexpr std::uint64_t kStatementLockOffset = std::uint64_t(1) << 40;
constexpr std::uint64_t kOpenLockOffset = kStatementLockOffset + 1;

HANDLE handleOf(const RandomAccessFile &file)
{
    return reinterpret_cast<HANDLE>(file.nativeHandle());
}

OVERLAPPED at(std::uint64_t offset)
{
    OVERLAPPED o{};
    o.Offset = DWORD(offset & 0xFFFFFFFFu);
    o.OffsetHigh = DWORD(offset >> 32);
    return o;
}

bool lockByte(HANDLE h, std::uint64_t offset, bool exclusive)
{
    OVERLAPPED o = at(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(h, flags, 0, 1, 0, &o);
}

void unlockByte(HANDLE h, std::uint64_t offset)
{
    OVERLAPPED o = at(offset);
    UnlockFileEx(h, 0, 1, 0, &o);
}
} // namespace

bool lockOpen(const RandomAccessFile &file, bool exclusive)
{
    return lockByte(handleOf(file), kOpenLockOffset, exclusive);
}

void unlockOpen(const RandomAccessFile &file)
{
    unlockByte(handleOf(file), kOpenLockOffset);
}

Attempt tryLockStatement(const RandomAccessFile &file, bool write)
{
    if (lockByte(handleOf(file), kStatementLockOffset, write))
        return Attempt::Locked;
    return GetLastError() == ERROR_LOCK_VIOLATION ? Attempt::Busy : Attempt::Failed;
}

void unlockStatement(const RandomAccessFile &file)
{
    unlockByte(handleOf(file), kStatementLockOffset);
}

bool isJetLockFileHeld(const QString &path)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (GetFileAttributesW(native.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    // Without sharing, the open fails while any program has the lock file open.
    const HANDLE h =
        CreateFileW(native.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // in use, or not ours to judge
    CloseHandle(h);
    return false;
}

} // namespace FileLocks

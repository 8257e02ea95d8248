// FileLocks on flock and open-file-description locks.
#include "platform/FileLocks.h"

#include "platform/RandomAccessFile.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>

namespace FileLocks {

namespace {
// Jet files stay below 2 GiB; the lock byte lies far beyond, so it never covers data.
constexpr off_t kStatementLockOffset = off_t(1) << 40;

int fdOf(const RandomAccessFile &file)
{
    return int(file.nativeHandle());
}

bool ofdLock(int fd, short type)
{
    struct flock fl
    {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kStatementLockOffset;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}
} // namespace

bool lockOpen(const RandomAccessFile &file, bool exclusive)
{
    return ::flock(fdOf(file), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

void unlockOpen(const RandomAccessFile &file)
{
    ::flock(fdOf(file), LOCK_UN);
}

Attempt tryLockStatement(const RandomAccessFile &file, bool write)
{
    if (ofdLock(fdOf(file), write ? F_WRLCK : F_RDLCK))
        return Attempt::Locked;
    return errno == EAGAIN || errno == EACCES ? Attempt::Busy : Attempt::Failed;
}

void unlockStatement(const RandomAccessFile &file)
{
    ofdLock(fdOf(file), F_UNLCK);
}

bool isJetLockFileHeld(const QString &path)
{
    return QFileInfo::exists(path);
}

} // namespace FileLocks

// FileLocks on flock and open-file-description locks.
#include "db/FileLocks.h"

#include "db/jet/RandomAccessFile.h"

#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

namespace FileLocks {

namespace {
// Jet files stay below 2 GiB; the lock byte lies far beyond, so it never covers data.
constexpr off_t kStatementLockOffset = off_t(1) << 40;

int fdOf(const jet::RandomAccessFile &file)
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

bool lockOpen(const jet::RandomAccessFile &file, bool exclusive)
{
    return ::flock(fdOf(file), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

void unlockOpen(const jet::RandomAccessFile &file)
{
    ::flock(fdOf(file), LOCK_UN);
}

bool lockStatement(const jet::RandomAccessFile &file, bool write)
{
    const int fd = fdOf(file);
    if (write)
        return ofdLock(fd, F_WRLCK);
    // A delete holds the lock for a fraction of a second; wait up to two seconds for it.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (ofdLock(fd, F_RDLCK))
            return true;
        if (errno != EAGAIN && errno != EACCES)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void unlockStatement(const jet::RandomAccessFile &file)
{
    ofdLock(fdOf(file), F_UNLCK);
}

bool isJetLockFileHeld(const QString &path)
{
    return QFileInfo::exists(path);
}

} // namespace FileLocks

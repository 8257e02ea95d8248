#pragma once

#include <QString>

class RandomAccessFile;

// Locks between processes that open the same database, on the database file itself, and
// the lock file other Jet programs keep beside it. The header is the same everywhere; the
// build picks the implementation: FileLocksPosix.cpp (flock and open-file-description
// locks) or FileLocksWin32.cpp (LockFileEx). Both lock one byte each far past the end of
// the file, so no lock ever covers data (Windows locks are mandatory).
//
// The open lock: a read-write open shares the file with other read-write opens; a read-
// only exclusive open keeps everybody else out. The statement lock: a delete holds it for
// writing while it changes pages, a select for reading while it scans, so no reader in
// another process sees a delete half done. Locks belong to the open file, not to the
// process: two opens in one process exclude each other as two processes do.
namespace FileLocks {

bool lockOpen(const RandomAccessFile &file, bool exclusive);
void unlockOpen(const RandomAccessFile &file);

// Waits briefly for a conflicting statement of another open to end: readers up to two
// seconds for a delete, writers up to one for readers (less when the calling thread's
// request is cancelled meanwhile).
bool lockStatement(const RandomAccessFile &file, bool write);
void unlockStatement(const RandomAccessFile &file);

// One attempt at the statement lock, without waiting: Busy when another open holds it in
// a conflicting way, Failed when the system refuses for another reason.
enum class Attempt { Locked, Busy, Failed };
Attempt tryLockStatement(const RandomAccessFile &file, bool write);

// Whether a Jet lock file exists at `path` and belongs to a program that has the database
// open.
// Windows tells: Jet keeps its lock file open while it works, so one that opens without
// sharing was left behind by a crash and is stale, as Jet itself treats it. POSIX systems
// cannot tell, so there every lock file that exists counts as held; a stale one is for
// the user to remove.
bool isJetLockFileHeld(const QString &path);

// Holds the statement lock for one scope.
class StatementLock
{
public:
    StatementLock(const RandomAccessFile &file, bool write)
        : m_file(file)
        , m_write(write)
        , m_locked(lockStatement(file, write))
    {}
    ~StatementLock()
    {
        if (m_locked)
            unlockStatement(m_file);
    }
    StatementLock(const StatementLock &) = delete;
    StatementLock &operator=(const StatementLock &) = delete;
    bool locked() const { return m_locked; }
    bool forWriting() const { return m_write; }

private:
    const RandomAccessFile &m_file;
    bool m_write;
    bool m_locked;
};

} // namespace FileLocks

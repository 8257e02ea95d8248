#pragma once

// Locks between processes that open the same database, on the database file itself.
//
// The open lock (flock): a read-write open shares the file with other read-write opens; a
// read-only exclusive open keeps everybody else out. The statement lock (an open-file-
// description lock on one byte far past the end of the file): a delete holds it for
// writing while it changes pages, a select for reading while it scans, so no reader in
// another process sees a delete half done.
namespace FileLocks {

bool lockOpen(int fd, bool exclusive);
void unlockOpen(int fd);

// Non-blocking for writers; readers wait briefly for a running delete to finish.
bool lockStatement(int fd, bool write);
void unlockStatement(int fd);

// Holds the statement lock for one scope.
class StatementLock
{
public:
    StatementLock(int fd, bool write) : m_fd(fd), m_write(write), m_locked(lockStatement(fd, write)) {}
    ~StatementLock()
    {
        if (m_locked)
            unlockStatement(m_fd);
    }
    StatementLock(const StatementLock &) = delete;
    StatementLock &operator=(const StatementLock &) = delete;
    bool locked() const { return m_locked; }
    bool forWriting() const { return m_write; }

private:
    int m_fd;
    bool m_write;
    bool m_locked;
};

} // namespace FileLocks

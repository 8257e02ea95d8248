#include "platform/FileLocks.h"

#include "task/CancelToken.h"

#include <chrono>
#include <thread>

namespace FileLocks {

bool lockStatement(const RandomAccessFile &file, bool write)
{
    // A delete holds the lock for a fraction of a second: a reader waits up to two seconds
    // for it. A writer waits up to one for the readers: a record's details or a small list
    // read in milliseconds (the query window's detail panel reads the call the user is
    // about to delete), and a long scan keeps the delete refused as before. Neither waits
    // once the request is cancelled.
    const int attempts = write ? 100 : 200;
    for (int attempt = 0; attempt < attempts && !CancelToken::currentCancelled(); ++attempt) {
        switch (tryLockStatement(file, write)) {
        case Attempt::Locked:
            return true;
        case Attempt::Failed:
            return false;
        case Attempt::Busy:
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace FileLocks

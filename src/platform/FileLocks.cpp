#include "platform/FileLocks.h"

#include "task/CancelToken.h"

#include <chrono>
#include <thread>

namespace FileLocks {

bool lockStatement(const RandomAccessFile &file, bool write)
{
    if (write)
        return tryLockStatement(file, true) == Attempt::Locked;
    // A delete holds the lock for a fraction of a second; wait up to two seconds for it,
    // unless the request that reads is cancelled meanwhile.
    for (int attempt = 0; attempt < 200 && !CancelToken::currentCancelled(); ++attempt) {
        switch (tryLockStatement(file, false)) {
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

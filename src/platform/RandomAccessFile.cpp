#include "platform/RandomAccessFile.h"

#include <algorithm>
#include <atomic>

namespace {
// The writes left before the simulated crash; -1: none is simulated.
std::atomic<int> g_writesBeforeCrash{-1};
} // namespace

void RandomAccessFile::crashAfterWrites(int writes)
{
    g_writesBeforeCrash.store(writes);
}

bool RandomAccessFile::mayWrite(QString *error, bool counts)
{
    int left = g_writesBeforeCrash.load(std::memory_order_relaxed);
    for (;;) {
        if (left < 0)
            return true;
        if (left == 0) {
            if (error)
                *error = QStringLiteral("simulated crash: nothing more reaches the disk");
            return false;
        }
        if (!counts)
            return true;
        if (g_writesBeforeCrash.compare_exchange_weak(left, left - 1))
            return true;
    }
}

bool RandomAccessFile::readAt(std::uint64_t offset, void *buffer, std::size_t length, QString *error) const
{
    const qint64 got = readSome(offset, buffer, length, error);
    if (got < 0)
        return false;
    if (std::size_t(got) < length)
        return endOfFile(error, offset + std::uint64_t(got));
    return true;
}

qint64 RandomAccessFile::moveAll(Direction direction, std::uint64_t offset, char *bytes, std::size_t length,
                                 QString *error) const
{
    std::size_t done = 0;
    while (done < length) {
        QString why;
        const qint64 n = moveOnce(direction, offset + done, bytes + done, length - done, &why);
        if (n < 0) {
            if (direction == Direction::Read)
                readFailed(error, offset + done, why);
            else if (error)
                *error = why;
            return -1;
        }
        if (n == 0) {
            if (direction == Direction::Read)
                break;
            nothingWritten(error, offset + done);
            return -1;
        }
        done += std::size_t(n);
    }
    return qint64(done);
}

qint64 RandomAccessFile::readSome(std::uint64_t offset, void *buffer, std::size_t length, QString *error) const
{
    return moveAll(Direction::Read, offset, static_cast<char *>(buffer), length, error);
}

bool RandomAccessFile::writeAt(std::uint64_t offset, const void *data, std::size_t length, QString *error)
{
    // moveOnce only reads from the buffer when it writes.
    return mayWrite(error, true)
           && moveAll(Direction::Write, offset, static_cast<char *>(const_cast<void *>(data)), length, error) >= 0;
}

bool RandomAccessFile::readFailed(QString *error, std::uint64_t offset, const QString &why)
{
    if (error)
        *error = QStringLiteral("read error at offset %1: %2").arg(offset).arg(why);
    return false;
}

bool RandomAccessFile::endOfFile(QString *error, std::uint64_t offset)
{
    if (error)
        *error = QStringLiteral("unexpected end of file at offset %1 (the file got shorter)").arg(offset);
    return false;
}

bool RandomAccessFile::nothingWritten(QString *error, std::uint64_t offset)
{
    if (error)
        *error = QStringLiteral("write error at offset %1: nothing was written").arg(offset);
    return false;
}

RandomAccessFile::ReadResult RandomAccessFile::readWhole(const QString &path, qint64 maxBytes, QByteArray *bytes,
                                                         QString *error, bool *cut)
{
    bytes->clear();
    if (cut)
        *cut = false;
    RandomAccessFile file;
    switch (file.open(path, Access::Read, error)) {
    case OpenResult::Opened:
        break;
    case OpenResult::Failed:
        return ReadResult::Failed;
    case OpenResult::NotRegularFile:
        return ReadResult::NotRegularFile;
    }
    const qint64 size = file.size(error);
    if (size < 0)
        return ReadResult::Failed;
    if (size > maxBytes && !cut) {
        if (error)
            *error = QStringLiteral("larger than %1 bytes (%2 bytes)").arg(maxBytes).arg(size);
        return ReadResult::TooLarge;
    }
    // Read to the end, which may lie elsewhere than the length said a moment ago, but never
    // more than `maxBytes` and one byte, which tells a file that grew past them.
    const qint64 limit = maxBytes + 1;
    bytes->resize(std::min(size + 1, limit));
    qint64 done = 0;
    for (;;) {
        const qint64 got =
            file.readSome(std::uint64_t(done), bytes->data() + done, std::size_t(bytes->size() - done), error);
        if (got < 0) {
            bytes->clear();
            return ReadResult::Failed;
        }
        done += got;
        if (done < bytes->size() || done >= limit)
            break;
        bytes->resize(std::min(limit, bytes->size() * 2));
    }
    bytes->truncate(std::min(done, maxBytes));
    if (done > maxBytes) {
        if (!cut) {
            bytes->clear();
            if (error)
                *error = QStringLiteral("larger than %1 bytes").arg(maxBytes);
            return ReadResult::TooLarge;
        }
        *cut = true;
    }
    return ReadResult::Read;
}

#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <utility>

// An open file read and written at byte offsets and flushed to the disk on request: the
// page I/O under PageFile and the journal. The header is the same everywhere; the build
// picks the implementation: RandomAccessFilePosix.cpp (pread, pwrite, fsync) or
// RandomAccessFileWin32.cpp (ReadFile, WriteFile with offsets, FlushFileBuffers).
// Every failure returns false and puts the system's reason into `error` (when given).
class RandomAccessFile
{
public:
    enum class Access {
        Read,      // an existing file, for reading
        ReadWrite, // an existing file, for reading and writing
        CreateNew, // a new file for writing; fails when the name exists
    };

    RandomAccessFile() = default;
    ~RandomAccessFile() { close(); }
    RandomAccessFile(const RandomAccessFile &) = delete;
    RandomAccessFile &operator=(const RandomAccessFile &) = delete;
    RandomAccessFile(RandomAccessFile &&other) noexcept : m_handle(std::exchange(other.m_handle, kClosed)) {}
    RandomAccessFile &operator=(RandomAccessFile &&other) noexcept
    {
        if (this != &other) {
            close();
            m_handle = std::exchange(other.m_handle, kClosed);
        }
        return *this;
    }

    enum class OpenResult { Opened, Failed, NotRegularFile };
    // Opens `path`. Only a regular file opens: anything else (a folder, a device, a named
    // pipe) is refused without waiting for it, and `error` then says what it is: "not a
    // regular file (a named pipe)". The check is made on the opened file itself, so a name
    // swapped for something else between a look and the open cannot slip through.
    OpenResult open(const QString &path, Access access, QString *error = nullptr);

    // Reads the regular file `path` whole, opened as open() does. Every file that Orvik
    // reads whole (settings, language files, templates) comes through here, so none of them
    // can hold the program on a named pipe or fill its memory from a device. A file longer
    // than `maxBytes` fails with TooLarge, unless `cut` is given: then its first `maxBytes`
    // bytes are read and *cut says that there was more. `error` is the system's reason
    // (Failed), "not a regular file (...)" or "larger than N bytes (...)".
    enum class ReadResult { Read, Failed, NotRegularFile, TooLarge };
    static ReadResult readWhole(const QString &path, qint64 maxBytes, QByteArray *bytes, QString *error = nullptr,
                                bool *cut = nullptr);
    void close();
    bool isOpen() const { return m_handle != kClosed; }

    // Reads exactly `length` bytes; reaching the end of the file first is a failure. The
    // error says at which offset, and whether it was the end or the system's refusal.
    bool readAt(std::uint64_t offset, void *buffer, std::size_t length, QString *error = nullptr) const;
    // Reads up to `length` bytes at `offset`: fewer only at the end of the file. Returns how
    // many, or -1 (with the error) when the system refuses.
    qint64 readSome(std::uint64_t offset, void *buffer, std::size_t length, QString *error = nullptr) const;
    bool writeAt(std::uint64_t offset, const void *data, std::size_t length, QString *error = nullptr);
    // Makes everything written so far durable.
    bool sync(QString *error = nullptr);
    bool truncate(std::uint64_t length, QString *error = nullptr);
    // The current length, or -1.
    qint64 size(QString *error = nullptr) const;

    // The file descriptor (POSIX) or HANDLE (Windows), for the lock layer.
    std::intptr_t nativeHandle() const { return m_handle; }

    // Makes the creation or removal of a name in the folder of `path` durable.
    static bool syncFolderOf(const QString &path, QString *error = nullptr);
    // What `path` names when it is not a regular file, in words ("a folder", "a named pipe",
    // "a device", ...), links followed; empty for a regular file or nothing at all.
    static QString describeKind(const QString &path);
    // Removes the name `path`; a name that is not there counts as removed.
    static bool remove(const QString &path, QString *error = nullptr);
    // Whether anything is there under `path`, a link that leads nowhere included.
    static bool exists(const QString &path);

    // A crash of the process, simulated where the disk is reached: once `writes` more
    // writeAt() calls have succeeded, every write, flush, truncate and remove() fails
    // (with "simulated crash" in the error), as if nothing after that point had reached any
    // file. -1 lifts it. The tests of the journal and of deleting use it to stop a change
    // part-way, through the same code a real crash interrupts.
    static void crashAfterWrites(int writes);

private:
    enum class Direction { Read, Write };
    // One system call's worth of reading or writing at `offset`: the bytes moved, 0 at the
    // end of the file or when the system wrote nothing, or -1 with the system's reason in
    // *why. One implementation per platform; the loops around it are shared.
    qint64 moveOnce(Direction direction, std::uint64_t offset, char *bytes, std::size_t length, QString *why) const;
    // Repeats moveOnce until `length` bytes have moved: how many did (fewer only at the end
    // of a read), or -1 with the error worded alike on every platform.
    qint64 moveAll(Direction direction, std::uint64_t offset, char *bytes, std::size_t length, QString *error) const;
    // False (with the error) once a simulated crash has happened; counts a write that may go.
    static bool mayWrite(QString *error, bool counts);
    // The errors of readAt and writeAt, worded alike on every platform.
    static bool readFailed(QString *error, std::uint64_t offset, const QString &why);
    static bool endOfFile(QString *error, std::uint64_t offset);
    // A write that moved no byte: retrying it would loop for ever.
    static bool nothingWritten(QString *error, std::uint64_t offset);

    // -1 is the closed value of both a descriptor and a HANDLE (INVALID_HANDLE_VALUE).
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed;
};

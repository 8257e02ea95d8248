#include "db/jet/Journal.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/PageFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <map>

namespace jet {

namespace {

constexpr char kMagic[8] = {'O', 'r', 'v', 'J', 'r', 'n', 'l', '2'};
constexpr int kHeaderSize = 24;
constexpr int kChecksumSize = 32;
// A crash during a page write may leave the page part old, part new, but not a sector of it.
constexpr int kSectorSize = 512;

void appendU32(QByteArray &out, std::uint32_t v)
{
    std::uint8_t b[4];
    writeU32(b, v);
    out.append(reinterpret_cast<const char *>(b), 4);
}

void appendU64(QByteArray &out, std::uint64_t v)
{
    appendU32(out, std::uint32_t(v));
    appendU32(out, std::uint32_t(v >> 32));
}

QByteArray checksum(const char *data, qsizetype length)
{
    return QCryptographicHash::hash(QByteArrayView(data, length), QCryptographicHash::Sha256);
}

// Creates the journal with `bytes` and makes it and its directory entry durable.
bool writeJournal(const QString &path, const QByteArray &bytes, QString *error)
{
    RandomAccessFile journal;
    QString why;
    if (journal.open(path, RandomAccessFile::Access::CreateNew, &why) != RandomAccessFile::OpenResult::Opened) {
        setError(error, QStringLiteral("cannot create the journal %1: %2").arg(path, why));
        return false;
    }
    bool ok = journal.writeAt(0, bytes.constData(), std::size_t(bytes.size()), &why);
    if (!ok)
        setError(error, QStringLiteral("cannot write the journal %1: %2").arg(path, why));
    if (ok && !journal.sync(&why)) {
        setError(error, QStringLiteral("cannot flush the journal %1: %2").arg(path, why));
        ok = false;
    }
    journal.close();
    if (ok && !RandomAccessFile::syncFolderOf(path, &why)) {
        setError(error, QStringLiteral("cannot flush the folder of %1: %2").arg(path, why));
        ok = false;
    }
    if (!ok)
        RandomAccessFile::remove(path);
    return ok;
}

// Removes the journal durably. If it cannot be removed it is emptied, which makes it
// invalid (an invalid journal is discarded by recovery without touching the database).
bool removeJournal(const QString &path, QString *error)
{
    QString why;
    if (!RandomAccessFile::remove(path, &why)) {
        // An empty journal counts as none. It must reach the disk: a full journal that came
        // back after a power cut would undo the change that was just made.
        RandomAccessFile journal;
        const bool emptied =
            journal.open(path, RandomAccessFile::Access::ReadWrite) == RandomAccessFile::OpenResult::Opened
            && journal.truncate(0) && journal.sync();
        if (!emptied) {
            setError(error, QStringLiteral("cannot remove the journal %1: %2").arg(path, why));
            return false;
        }
        return true;
    }
    if (!RandomAccessFile::syncFolderOf(path, &why)) {
        setError(error, QStringLiteral("cannot flush the folder of %1: %2").arg(path, why));
        return false;
    }
    return true;
}

// Puts the original bytes back and flushes. Used when a write fails part-way.
bool rollBack(PageFile &file, const std::vector<PageBatch::Change> &changes, QString *error)
{
    const std::uint64_t ps = std::uint64_t(file.pageSize());
    QString why;
    for (const auto &c : changes) {
        if (!file.handle().writeAt(c.page * ps, c.original.constData(), std::size_t(ps), &why)) {
            setError(error, QStringLiteral("cannot write page %1 back: %2").arg(c.page).arg(why));
            return false;
        }
    }
    if (!file.handle().sync(&why)) {
        setError(error, QStringLiteral("cannot flush %1: %2").arg(file.path(), why));
        return false;
    }
    return true;
}

} // namespace

QString Journal::pathFor(const QString &databasePath)
{
    // Beside the file itself, whatever name it was opened by: a delete interrupted under one
    // name (a symbolic link to the file or to a folder above it) must be found and rolled
    // back when the database is opened under another.
    const QString canonical = QFileInfo(databasePath).canonicalFilePath();
    return (canonical.isEmpty() ? databasePath : canonical) + QStringLiteral("-journal");
}

bool Journal::exists(const QString &databasePath)
{
    return RandomAccessFile::exists(pathFor(databasePath));
}

QByteArray Journal::build(int pageSize, std::uint64_t fileLength, const std::vector<PageBatch::Change> &changes)
{
    QByteArray out;
    out.reserve(kHeaderSize + qsizetype(changes.size()) * (4 + 2 * pageSize) + kChecksumSize);
    out.append(kMagic, sizeof kMagic);
    appendU32(out, std::uint32_t(pageSize));
    appendU64(out, fileLength);
    appendU32(out, std::uint32_t(changes.size()));
    for (const auto &c : changes) {
        appendU32(out, c.page);
        out.append(c.original.constData(), pageSize);
        out.append(c.current.constData(), pageSize);
    }
    out.append(checksum(out.constData(), out.size()));
    return out;
}

bool Journal::commit(PageFile &file, const std::vector<PageBatch::Change> &changes, QString *error,
                     int crashAfterWrites)
{
    if (!file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    if (file.mode() != PageFile::OpenMode::ReadWrite) {
        setError(error, QStringLiteral("the database is open read-only"));
        return false;
    }
    if (changes.empty())
        return true;
    const int ps = file.pageSize();
    for (const auto &c : changes) {
        if (c.original.size() != ps || c.current.size() != ps || c.page >= file.pageCount()) {
            setError(error, QStringLiteral("page %1 of the change does not belong to this file").arg(c.page));
            return false;
        }
    }
    const QString path = pathFor(file.path());
    if (exists(file.path())) {
        setError(error, QStringLiteral("%1 exists: an earlier change was interrupted and must be rolled back "
                                       "(reopen the database for writing) before another one")
                            .arg(path));
        return false;
    }
    // The journal records the length to restore: a guessed one would have the rollback
    // cut the database short.
    QString why;
    const qint64 length = file.handle().size(&why);
    if (length < 0) {
        setError(error, QStringLiteral("cannot read the length of %1: %2").arg(file.path(), why));
        return false;
    }
    if (!writeJournal(path, build(ps, std::uint64_t(length), changes), error))
        return false;

    int written = 0;
    const auto crashed = [&] {
        setError(error, QStringLiteral("stopped after %1 page writes (simulated crash)").arg(written));
        return false;
    };
    bool ok = true;
    for (const auto &c : changes) {
        if (written == crashAfterWrites)
            return crashed();
        if (!file.writePage(c.page, reinterpret_cast<const std::uint8_t *>(c.current.constData()), &why)) {
            ok = false;
            break;
        }
        ++written;
    }
    if (ok && written == crashAfterWrites)
        return crashed();
    if (ok && !file.sync(&why))
        ok = false;
    if (!ok) {
        QString rollbackError;
        if (rollBack(file, changes, &rollbackError) && removeJournal(path, &rollbackError)) {
            setError(error, QStringLiteral("%1; the database was left unchanged").arg(why));
        } else {
            setError(error, QStringLiteral("%1; rolling back failed too (%2): the journal %3 will restore "
                                           "the database when it is next opened for writing")
                                .arg(why, rollbackError, path));
        }
        file.refresh();
        return false;
    }
    if (!removeJournal(path, &why)) {
        // A journal that stays would undo this change at the next open; undo it now so
        // that the file and the journal agree.
        QString rollbackError;
        if (rollBack(file, changes, &rollbackError) && removeJournal(path, &rollbackError))
            setError(error, QStringLiteral("%1; the change was undone").arg(why));
        else
            setError(error, QStringLiteral("%1; the journal will undo the change when the database is next "
                                           "opened for writing")
                                .arg(why));
        file.refresh();
        return false;
    }
    return true;
}

// A journal as found beside a database, read and checked.
struct Journal::Found
{
    enum class State { None, Invalid, Valid } state = State::None;
    QString path;
    QByteArray bytes;
    std::uint32_t count = 0;
    std::uint64_t originalLength = 0;

    // Page number, saved bytes and written bytes of record `i`.
    const std::uint8_t *record(std::uint32_t i, int pageSize) const
    {
        return reinterpret_cast<const std::uint8_t *>(bytes.constData()) + kHeaderSize
               + std::size_t(i) * (std::size_t(4) + 2 * std::size_t(pageSize));
    }
};

bool Journal::find(const PageFile &file, Found *found, QString *error)
{
    found->path = pathFor(file.path());
    if (!exists(file.path()))
        return true;
    QFile in(found->path);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read the journal %1: %2").arg(found->path, in.errorString()));
        return false;
    }
    found->bytes = in.readAll();
    in.close();

    const QByteArray &bytes = found->bytes;
    const int ps = file.pageSize();
    const auto *d = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    bool valid = bytes.size() >= kHeaderSize + kChecksumSize && std::memcmp(d, kMagic, sizeof kMagic) == 0;
    if (valid) {
        found->count = readU32(d + 20);
        found->originalLength = readU64(d + 12);
        valid = readU32(d + 8) == std::uint32_t(ps)
                && qint64(found->count) * (4 + 2 * qint64(ps)) + kHeaderSize + kChecksumSize == bytes.size()
                && found->originalLength % std::uint64_t(ps) == 0 && found->originalLength >= std::uint64_t(ps)
                && checksum(bytes.constData(), bytes.size() - kChecksumSize) == bytes.right(kChecksumSize);
    }
    found->state = valid ? Found::State::Valid : Found::State::Invalid;
    if (!valid)
        return true;
    // The journal must be this database's: every page it names holds, sector by sector, the
    // bytes saved before the change or the bytes the change wrote. A journal of another file
    // (the database was replaced under the same name) would write that file's pages here.
    std::vector<std::uint8_t> now(static_cast<std::size_t>(ps));
    for (std::uint32_t i = 0; i < found->count; ++i) {
        const std::uint8_t *record = found->record(i, ps);
        const std::uint32_t page = readU32(record);
        const std::uint8_t *original = record + 4;
        const std::uint8_t *written = original + ps;
        bool belongs =
            (std::uint64_t(page) + 1) * std::uint64_t(ps) <= found->originalLength && page < file.pageCount();
        QString why;
        if (belongs && !file.readPage(page, now.data(), &why)) {
            setError(error,
                     QStringLiteral("cannot check the journal %1 against the database: %2").arg(found->path, why));
            return false;
        }
        for (int at = 0; belongs && at < ps; at += kSectorSize) {
            belongs = std::memcmp(now.data() + at, original + at, kSectorSize) == 0
                      || std::memcmp(now.data() + at, written + at, kSectorSize) == 0;
        }
        if (!belongs) {
            setError(error, QStringLiteral("%1 does not belong to this database (page %2 holds neither its saved "
                                           "nor its changed bytes); nothing was written and the journal was kept")
                                .arg(found->path)
                                .arg(page));
            return false;
        }
    }
    return true;
}

bool Journal::recover(PageFile &file, QString *error)
{
    if (!file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    Found found;
    if (!find(file, &found, error))
        return false;
    const QString &path = found.path;
    if (found.state == Found::State::None)
        return true;
    if (found.state == Found::State::Invalid) {
        // The journal never became complete, so no page of its transaction was written.
        return removeJournal(path, error);
    }
    if (file.mode() != PageFile::OpenMode::ReadWrite) {
        setError(error, QStringLiteral("%1 holds an interrupted change; the database must be opened for "
                                       "writing to roll it back")
                            .arg(path));
        return false;
    }
    const int ps = file.pageSize();
    const std::uint32_t count = found.count;
    const std::uint64_t originalLength = found.originalLength;
    QString why;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t *record = found.record(i, ps);
        const std::uint64_t page = readU32(record);
        if (!file.handle().writeAt(page * std::uint64_t(ps), record + 4, std::size_t(ps), &why)) {
            setError(error, QStringLiteral("cannot restore page %1 of %2: %3").arg(page).arg(file.path(), why));
            file.refresh();
            return false;
        }
    }
    // An unknown length is never taken for a different one: nothing is cut then.
    const qint64 length = file.handle().size(&why);
    if (length < 0 || (std::uint64_t(length) != originalLength && !file.handle().truncate(originalLength, &why))) {
        setError(error, QStringLiteral("cannot restore the length of %1: %2").arg(file.path(), why));
        file.refresh();
        return false;
    }
    if (!file.handle().sync(&why)) {
        setError(error, QStringLiteral("cannot flush %1: %2").arg(file.path(), why));
        file.refresh();
        return false;
    }
    if (!removeJournal(path, error)) {
        file.refresh();
        return false;
    }
    return file.refresh(error);
}

bool Journal::readAsRolledBack(PageFile &file, bool *applied, QString *error)
{
    *applied = false;
    Found found;
    if (!file.isOpen() || file.mode() != PageFile::OpenMode::ReadOnly) {
        setError(error, QStringLiteral("the database is not open read-only"));
        return false;
    }
    if (!find(file, &found, error))
        return false;
    // An incomplete journal means no page was written: the file is read as it is.
    if (found.state != Found::State::Valid)
        return true;
    const int ps = file.pageSize();
    std::map<std::uint32_t, QByteArray> saved;
    for (std::uint32_t i = 0; i < found.count; ++i) {
        const std::uint8_t *record = found.record(i, ps);
        saved[readU32(record)] = QByteArray(reinterpret_cast<const char *>(record + 4), ps);
    }
    file.readThrough(std::move(saved), std::uint32_t(found.originalLength / std::uint64_t(ps)));
    *applied = true;
    return true;
}

} // namespace jet

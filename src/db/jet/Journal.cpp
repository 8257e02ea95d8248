#include "db/jet/Journal.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/PageFile.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

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

// A journal as found beside a database, checked. Its records are read from the open file
// when they are needed, never all at once: what the journal may make the program read is
// bounded by the length of the database it belongs to, whatever lies under its name.
struct Journal::Found
{
    enum class State {
        None,    // no journal
        Invalid, // incomplete: its transaction never wrote a page
        Damaged, // complete by its own account, but not what a transaction of this database writes
        Valid,   // complete, and this database's
    } state = State::None;
    QString path;
    QString damage; // Damaged: what is wrong, a sentence that names the journal
    RandomAccessFile file;
    int pageSize = 0;
    std::uint32_t count = 0;
    std::uint64_t originalLength = 0;

    std::uint64_t recordOffset(std::uint32_t i) const
    {
        return kHeaderSize + std::uint64_t(i) * (4 + 2 * std::uint64_t(pageSize));
    }
    // The page number of record `i`, and its saved bytes (`original`, pageSize bytes) and
    // written bytes (`written`, when not null).
    bool readRecord(std::uint32_t i, std::uint32_t *page, std::uint8_t *original, std::uint8_t *written,
                    QString *error) const
    {
        std::uint8_t number[4];
        QString why;
        const std::uint64_t at = recordOffset(i);
        const std::size_t ps = std::size_t(pageSize);
        if (!file.readAt(at, number, 4, &why) || !file.readAt(at + 4, original, ps, &why)
            || (written && !file.readAt(at + 4 + ps, written, ps, &why))) {
            setError(error, QStringLiteral("cannot read the journal %1: %2").arg(path, why));
            return false;
        }
        *page = readU32(number);
        return true;
    }
    bool damaged(const QString &what)
    {
        state = State::Damaged;
        damage = what;
        file.close();
        return true;
    }
};

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

bool Journal::commit(PageFile &file, const std::vector<PageBatch::Change> &changes, QString *error)
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
    if (const QString held = heldBack(file); !held.isEmpty()) {
        setError(error, held);
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

    bool ok = true;
    for (const auto &c : changes) {
        if (!file.writePage(c.page, reinterpret_cast<const std::uint8_t *>(c.current.constData()), &why)) {
            ok = false;
            break;
        }
    }
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

bool Journal::find(const PageFile &file, Found *found, QString *error)
{
    found->path = pathFor(file.path());
    if (!exists(file.path()))
        return true;
    QString why;
    switch (found->file.open(found->path, RandomAccessFile::Access::Read, &why)) {
    case RandomAccessFile::OpenResult::Opened:
        break;
    case RandomAccessFile::OpenResult::NotRegularFile:
        // A named pipe would hold the read for good, a device never end: not looked into.
        return found->damaged(QStringLiteral("%1 is %2").arg(found->path, why));
    case RandomAccessFile::OpenResult::Failed:
        setError(error, QStringLiteral("cannot read the journal %1: %2").arg(found->path, why));
        return false;
    }
    const qint64 size = found->file.size(&why);
    const qint64 databaseLength = file.handle().size(&why);
    if (size < 0 || databaseLength < 0) {
        setError(error, QStringLiteral("cannot read the length of the journal %1: %2").arg(found->path, why));
        return false;
    }

    // The header first, and only what it says the journal holds after it.
    const int ps = file.pageSize();
    found->pageSize = ps;
    found->state = Found::State::Invalid;
    std::uint8_t header[kHeaderSize];
    if (size < kHeaderSize + kChecksumSize || !found->file.readAt(0, header, kHeaderSize)
        || std::memcmp(header, kMagic, sizeof kMagic) != 0 || readU32(header + 8) != std::uint32_t(ps))
        return true;
    found->count = readU32(header + 20);
    found->originalLength = readU64(header + 12);
    if (found->originalLength % std::uint64_t(ps) != 0 || found->originalLength < std::uint64_t(ps))
        return true;
    // A transaction saves each page it writes once, and only pages the database had: no
    // journal of this database claims more. One that does was not written by a transaction
    // here (or was damaged after): it is neither applied nor removed, and not read further.
    const std::uint64_t originalPages = found->originalLength / std::uint64_t(ps);
    if (found->originalLength > std::uint64_t(databaseLength) || found->count > originalPages)
        return found->damaged(QStringLiteral("%1 is damaged: it claims %2 saved pages of a database of %3 pages, "
                                             "which holds %4")
                                  .arg(found->path)
                                  .arg(found->count)
                                  .arg(originalPages)
                                  .arg(std::uint64_t(databaseLength) / std::uint64_t(ps)));
    if (std::uint64_t(size) != found->recordOffset(found->count) + kChecksumSize)
        return true; // cut short: it never became complete

    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> chunk(std::size_t(1) << 20);
    const std::uint64_t hashed = std::uint64_t(size) - kChecksumSize;
    for (std::uint64_t at = 0; at < hashed;) {
        const std::size_t length = std::size_t(std::min<std::uint64_t>(chunk.size(), hashed - at));
        if (!found->file.readAt(at, chunk.data(), length, &why)) {
            setError(error, QStringLiteral("cannot read the journal %1: %2").arg(found->path, why));
            return false;
        }
        hash.addData(QByteArrayView(chunk.data(), qsizetype(length)));
        at += length;
    }
    char stored[kChecksumSize];
    if (!found->file.readAt(hashed, stored, kChecksumSize, &why)) {
        setError(error, QStringLiteral("cannot read the journal %1: %2").arg(found->path, why));
        return false;
    }
    if (hash.result() != QByteArrayView(stored, kChecksumSize))
        return true;

    // The journal must be this database's: every page it names holds, sector by sector, the
    // bytes saved before the change or the bytes the change wrote. A journal of another file
    // (the database was replaced under the same name) would write that file's pages here.
    // The pages a transaction saves are distinct, ascending and never the header page.
    std::vector<std::uint8_t> now(static_cast<std::size_t>(ps));
    std::vector<std::uint8_t> original(static_cast<std::size_t>(ps));
    std::vector<std::uint8_t> written(static_cast<std::size_t>(ps));
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < found->count; ++i) {
        std::uint32_t page = 0;
        if (!found->readRecord(i, &page, original.data(), written.data(), error))
            return false;
        if (page == 0)
            return found->damaged(QStringLiteral("%1 is damaged: it saves page 0, the database's header, which no "
                                                 "change writes")
                                      .arg(found->path));
        if (page <= previous || page >= originalPages)
            return found->damaged(
                QStringLiteral("%1 is damaged: it saves page %2 out of order or past the %3 pages the database had")
                    .arg(found->path)
                    .arg(page)
                    .arg(originalPages));
        previous = page;
        bool belongs = page < file.pageCount();
        if (belongs && !file.readPage(page, now.data(), &why)) {
            setError(error,
                     QStringLiteral("cannot check the journal %1 against the database: %2").arg(found->path, why));
            return false;
        }
        for (int at = 0; belongs && at < ps; at += kSectorSize) {
            belongs = std::memcmp(now.data() + at, original.data() + at, kSectorSize) == 0
                      || std::memcmp(now.data() + at, written.data() + at, kSectorSize) == 0;
        }
        if (!belongs) {
            setError(error, QStringLiteral("%1 does not belong to this database (page %2 holds neither its saved "
                                           "nor its changed bytes); nothing was written and the journal was kept")
                                .arg(found->path)
                                .arg(page));
            return false;
        }
    }
    found->state = Found::State::Valid;
    return true;
}

QString Journal::heldBack(const PageFile &file)
{
    if (!exists(file.path()))
        return QString();
    Found found;
    QString why;
    if (find(file, &found, &why) && found.state == Found::State::Damaged)
        return found.damage + QStringLiteral("; nothing is changed while it lies beside the database");
    return QStringLiteral("%1 holds an interrupted change that must be rolled back (reopen the database for writing) "
                          "before another one")
        .arg(found.path);
}

QString Journal::leftAloneNote(const QString &damage)
{
    return damage + QStringLiteral("; it was left alone, and the database is read as it is");
}

bool Journal::recover(PageFile &file, QString *error, QString *leftAlone)
{
    if (leftAlone)
        leftAlone->clear();
    if (!file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    Found found;
    if (!find(file, &found, error))
        return false;
    const QString &path = found.path;
    switch (found.state) {
    case Found::State::None:
        return true;
    case Found::State::Invalid:
        // The journal never became complete, so no page of its transaction was written.
        found.file.close();
        return removeJournal(path, error);
    case Found::State::Damaged:
        if (leftAlone)
            *leftAlone = leftAloneNote(found.damage);
        return true;
    case Found::State::Valid:
        break;
    }
    if (file.mode() != PageFile::OpenMode::ReadWrite) {
        setError(error, QStringLiteral("%1 holds an interrupted change; the database must be opened for "
                                       "writing to roll it back")
                            .arg(path));
        return false;
    }
    const int ps = file.pageSize();
    const std::uint64_t originalLength = found.originalLength;
    std::vector<std::uint8_t> original(static_cast<std::size_t>(ps));
    QString why;
    for (std::uint32_t i = 0; i < found.count; ++i) {
        std::uint32_t page = 0;
        if (!found.readRecord(i, &page, original.data(), nullptr, error)) {
            file.refresh();
            return false;
        }
        if (!file.handle().writeAt(std::uint64_t(page) * std::uint64_t(ps), original.data(), std::size_t(ps), &why)) {
            setError(error, QStringLiteral("cannot restore page %1 of %2: %3").arg(page).arg(file.path(), why));
            file.refresh();
            return false;
        }
    }
    found.file.close();
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

bool Journal::readAsRolledBack(PageFile &file, bool *applied, QString *error, QString *leftAlone)
{
    *applied = false;
    if (leftAlone)
        leftAlone->clear();
    Found found;
    if (!file.isOpen() || file.mode() != PageFile::OpenMode::ReadOnly) {
        setError(error, QStringLiteral("the database is not open read-only"));
        return false;
    }
    if (!find(file, &found, error))
        return false;
    if (found.state == Found::State::Damaged && leftAlone)
        *leftAlone = leftAloneNote(found.damage);
    // An incomplete journal means no page was written: the file is read as it is; so is one
    // that is no journal of this database.
    if (found.state != Found::State::Valid)
        return true;
    const int ps = file.pageSize();
    std::map<std::uint32_t, QByteArray> saved;
    // At most the database's own length (find() bounds the count by it), yet perhaps more
    // than this process can have: then the database is not read at all rather than wrongly.
    try {
        std::vector<std::uint8_t> original(static_cast<std::size_t>(ps));
        for (std::uint32_t i = 0; i < found.count; ++i) {
            std::uint32_t page = 0;
            if (!found.readRecord(i, &page, original.data(), nullptr, error))
                return false;
            saved[page] = QByteArray(reinterpret_cast<const char *>(original.data()), ps);
        }
    } catch (const std::bad_alloc &) {
        setError(error, QStringLiteral("not enough memory to read the saved pages of %1").arg(found.path));
        return false;
    }
    file.readThrough(std::move(saved), std::uint32_t(found.originalLength / std::uint64_t(ps)));
    *applied = true;
    return true;
}

} // namespace jet

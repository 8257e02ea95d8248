#pragma once
// The rollback journal that makes a multi-page change atomic. Before the first page of a
// transaction is written, the original bytes of every page it will write go to
// "<database>-journal" beside the database, with a header and a checksum; the journal and
// its directory are flushed; then the pages are written and the database flushed; then
// the journal is removed (and the directory flushed). A crash before the journal is
// complete leaves the database untouched and an invalid journal; a crash after it leaves a
// valid journal, and recover() puts the original pages back.
//
// Journal file layout (little-endian):
//   0   8  magic "OrvJrnl2"
//   8   4  page size
//   12  8  file length before the transaction
//   20  4  number of pages n
//   24     n times: u32 page number, the page's original bytes, then the bytes written
//   end 32 SHA-256 of everything before it
//
// The written bytes tie the journal to its database: recovery applies it only if every page
// it names holds, sector by sector, either its original or its written bytes, so a journal
// of another file found beside this one is refused, leaving both untouched.
//
// Recovery runs where the caller decides: the connection layer calls recover() at every
// read-write open while it holds the write lock. A database that cannot be written (a
// read-only disk or share) is read through the journal instead: readAsRolledBack() lays
// the saved pages over the file's in memory.

#include "db/jet/PageBatch.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class PageFile;

class Journal
{
public:
    // "<database>-journal" beside the file that `databasePath` names, links resolved.
    static QString pathFor(const QString &databasePath);

    // Rolls back an interrupted transaction of `file`. Nothing to do (no journal) and an
    // invalid or incomplete journal (removed; the database was never written) are
    // successes. A valid journal puts every saved page back, restores the file length,
    // flushes and removes the journal; that needs a read-write file. A valid journal whose
    // pages do not match the file (see above) fails and stays, and nothing is written.
    //
    // A damaged journal is a success too, and is left alone: not applied, not removed, and
    // `leftAlone` (when given) names it and says why. It is one that is not a regular file
    // (a named pipe, a device), or that claims more than a transaction of this database
    // saves: more pages than the database had, a length before the change longer than the
    // file, page 0 (the header), a page twice or out of order. Only the header and what it
    // announces within those bounds are ever read.
    static bool recover(PageFile &file, QString *error = nullptr, QString *leftAlone = nullptr);

    // For a file open read-only: when a complete journal of this database lies beside it,
    // reads the file from now on as recover() would leave it (the saved pages in place of
    // the file's, the length before the change), in memory, writing nothing; `applied` says
    // whether it did. No journal and an incomplete one (its change never reached the file)
    // leave the file read as it is, and so does a damaged one, named in `leftAlone` as by
    // recover(). A journal of another file fails, as in recover().
    static bool readAsRolledBack(PageFile &file, bool *applied, QString *error = nullptr, QString *leftAlone = nullptr);

    // True if a journal file exists beside the database.
    static bool exists(const QString &databasePath);
    // What keeps a change of `file` from starting, in words: the journal of an interrupted
    // one, or a damaged journal (see recover()) that lies there. Empty when nothing does.
    static QString heldBack(const PageFile &file);

    // Writes one transaction: journal, pages, flush, journal removed. Refused while any
    // journal lies beside the database (a damaged one is named). On a failure while
    // writing pages the originals are written back at once; if even that fails the journal
    // stays for recover().
    static bool commit(PageFile &file, const std::vector<PageBatch::Change> &changes, QString *error = nullptr);

    // The journal's bytes for a transaction (exposed for tests that build damaged ones).
    static QByteArray build(int pageSize, std::uint64_t fileLength, const std::vector<PageBatch::Change> &changes);

private:
    struct Found;
    // The note of recover() and readAsRolledBack() for a damaged journal.
    static QString leftAloneNote(const QString &damage);
    // Reads and checks the journal of `file`: none, incomplete, or complete and this file's.
    // Fails when it cannot be read or belongs to another file.
    static bool find(const PageFile &file, Found *found, QString *error);
};

} // namespace jet

#pragma once
// The file layer of the Jet engine: opens a .mdb file, checks and unmasks its header and
// reads (or writes) whole pages by number through RandomAccessFile. There is no file-wide cache
// and no memory map, so a large database costs only the buffers its readers pass in.
// Locking and journalling belong to the layer above.

#include "db/jet/Format.h"
#include "db/jet/Layout.h"
#include "platform/RandomAccessFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>

namespace jet {

class PageFile
{
public:
    enum class OpenMode { ReadOnly, ReadWrite };

    PageFile() = default;
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;
    PageFile(PageFile &&other) noexcept;
    PageFile &operator=(PageFile &&other) noexcept;

    // Opens and validates the file. On failure the object stays closed and error (if
    // given) says why: not an Access file, ACE/.accdb, MSISAM, unknown version, encrypted
    // pages, or a length that is not a whole number of pages.
    bool open(const QString &path, OpenMode mode, QString *error = nullptr);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    QString path() const { return m_path; }
    OpenMode mode() const { return m_mode; }
    // The open file itself, for the lock layer and the journal.
    const RandomAccessFile &handle() const { return m_file; }
    RandomAccessFile &handle() { return m_file; }

    Format format() const { return m_layout->format; }
    const Layout &layout() const { return *m_layout; }
    int pageSize() const { return m_layout->pageSize; }
    std::uint32_t pageCount() const { return m_pageCount; }

    // Header facts, read from the unmasked header.
    int codePage() const { return m_codePage; }            // u16 at 0x3C
    int sortOrder() const { return m_sortOrder; }          // LCID: 0x3A (Jet 3) or 0x6E (Jet 4)
    double creationDate() const { return m_creationDate; } // Jet 4 only, 0 for Jet 3
    // The header page with the masked region already unmasked.
    const QByteArray &unmaskedHeader() const { return m_header; }

    // The database password. Its raw bytes after unmasking (20 for Jet 3, 40 for Jet 4,
    // date mask removed), whether any of them is set, and the decoded text.
    const QByteArray &passwordBytes() const { return m_passwordBytes; }
    bool hasPassword() const;
    QString password() const;

    // Code page used for Jet 3 text: the override if set, else the column's own code
    // page, else the header's, else 1252. See TextCodec.
    void setCodePageOverride(int codePage) { m_codePageOverride = codePage; }
    int effectiveCodePage(int columnCodePage) const;

    // Reads page `page` (pageSize() bytes) or `count` consecutive pages into buffer.
    // Fails with an error text for pages past the end or a short read.
    bool readPage(std::uint32_t page, std::uint8_t *buffer, QString *error = nullptr) const;
    bool readPages(std::uint32_t first, std::uint32_t count, std::uint8_t *buffer, QString *error = nullptr) const;

    // Writes one existing page; only in ReadWrite mode. Bumps generation().
    bool writePage(std::uint32_t page, const std::uint8_t *buffer, QString *error = nullptr);
    bool sync(QString *error = nullptr);

    // Reads the file as it was before an unfinished change that cannot be rolled back on
    // disk (the file or its folder is read-only): `saved` pages (page number -> bytes) are
    // read in place of the file's, and the file counts `pageCount` pages, its length before
    // the change. Only for a file open read-only; nothing is ever written.
    void readThrough(std::map<std::uint32_t, QByteArray> saved, std::uint32_t pageCount);
    bool readsThroughSavedPages() const { return m_savedPageCount != 0; }

    // Re-reads the file length after another writer may have changed the file, and bumps
    // generation() so that readers drop any page they kept.
    bool refresh(QString *error = nullptr);
    std::uint64_t generation() const { return m_generation; }

    // The 4-byte RC4 key that masks the header region, and the region's length.
    static const std::uint8_t kHeaderMaskKey[4];
    static int headerMaskLength(Format format) { return format == Format::Jet3 ? 126 : 128; }
    static constexpr int kHeaderMaskOffset = 0x18;

private:
    bool validateHeader(qint64 fileSize, QString *error);
    bool readAt(std::uint64_t offset, std::uint8_t *buffer, std::size_t length, QString *error) const;

    RandomAccessFile m_file;
    QString m_path;
    OpenMode m_mode = OpenMode::ReadOnly;
    const Layout *m_layout = &Layout::of(Format::Jet4);
    std::uint32_t m_pageCount = 0;
    int m_codePage = 0;
    int m_sortOrder = 0;
    int m_codePageOverride = 0;
    double m_creationDate = 0;
    QByteArray m_header;
    QByteArray m_passwordBytes;
    std::uint64_t m_generation = 0;
    std::map<std::uint32_t, QByteArray> m_savedPages; // see readThrough()
    std::uint32_t m_savedPageCount = 0;               // 0: none
};

} // namespace jet

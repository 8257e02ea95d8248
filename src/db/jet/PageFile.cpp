#include "db/jet/PageFile.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/Rc4.h"
#include "db/jet/TextCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace jet {

const std::uint8_t PageFile::kHeaderMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

namespace {

// Integer part of the creation date, truncated toward zero: NaN gives 0, values outside
// the int32 range saturate.
std::int32_t truncateToInt32(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (d <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(d);
}

} // namespace

PageFile::~PageFile()
{
    close();
}

PageFile::PageFile(PageFile &&other) noexcept
{
    *this = std::move(other);
}

PageFile &PageFile::operator=(PageFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_file = std::move(other.m_file);
        m_path = std::move(other.m_path);
        m_mode = other.m_mode;
        m_layout = other.m_layout;
        m_pageCount = std::exchange(other.m_pageCount, 0);
        m_codePage = other.m_codePage;
        m_sortOrder = other.m_sortOrder;
        m_codePageOverride = other.m_codePageOverride;
        m_creationDate = other.m_creationDate;
        m_header = std::move(other.m_header);
        m_passwordBytes = std::move(other.m_passwordBytes);
        m_savedPages = std::move(other.m_savedPages);
        m_savedPageCount = std::exchange(other.m_savedPageCount, 0);
        m_generation = other.m_generation + 1;
    }
    return *this;
}

void PageFile::close()
{
    m_file.close();
    m_pageCount = 0;
    m_savedPages.clear();
    m_savedPageCount = 0;
    ++m_generation;
}

bool PageFile::open(const QString &path, OpenMode mode, QString *error)
{
    close();
    QString why;
    const auto access =
        mode == OpenMode::ReadWrite ? RandomAccessFile::Access::ReadWrite : RandomAccessFile::Access::Read;
    switch (m_file.open(path, access, &why)) {
    case RandomAccessFile::OpenResult::Opened:
        break;
    case RandomAccessFile::OpenResult::Failed:
        setError(error, QStringLiteral("Cannot open %1: %2").arg(path, why));
        return false;
    case RandomAccessFile::OpenResult::NotRegularFile:
        setError(error, QStringLiteral("%1 is %2").arg(path, why));
        return false;
    }
    const qint64 size = m_file.size(&why);
    if (size < 0) {
        setError(error, QStringLiteral("Cannot read the size of %1: %2").arg(path, why));
        m_file.close();
        return false;
    }
    m_path = path;
    m_mode = mode;
    if (!validateHeader(size, &why)) {
        setError(error, QStringLiteral("%1: %2").arg(path, why));
        close();
        return false;
    }
    ++m_generation;
    return true;
}

bool PageFile::validateHeader(qint64 fileSize, QString *error)
{
    if (fileSize == 0) {
        setError(error, QStringLiteral("the file is empty"));
        return false;
    }
    // Enough for both header layouts; the smallest valid file has three 2048-byte pages.
    if (fileSize < 2048) {
        setError(error, QStringLiteral("the file is too short (%1 bytes) to be an Access database").arg(fileSize));
        return false;
    }
    QByteArray head(2048, '\0');
    auto *h = reinterpret_cast<std::uint8_t *>(head.data());
    QString readError;
    if (!readAt(0, h, 2048, &readError)) {
        setError(error, readError);
        return false;
    }
    static const std::uint8_t kMagic[4] = {0x00, 0x01, 0x00, 0x00};
    if (std::memcmp(h, kMagic, 4) != 0) {
        setError(error, QStringLiteral("not an Access database (the first bytes are not 00 01 00 00)"));
        return false;
    }
    const QByteArray engine(head.constData() + 4, 15);
    if (engine == "Standard ACE DB") {
        setError(error, QStringLiteral("Access 2007 or later databases (ACE, .accdb) are not supported"));
        return false;
    }
    if (engine.startsWith("MSISAM Database")) {
        setError(error, QStringLiteral("Microsoft Money (MSISAM) files are not supported"));
        return false;
    }
    if (engine != "Standard Jet DB") {
        setError(error, QStringLiteral("not an Access database (the engine name is not \"Standard Jet DB\")"));
        return false;
    }
    const int version = h[0x14];
    if (version == 0) {
        m_layout = &Layout::of(Format::Jet3);
    } else if (version == 1) {
        m_layout = &Layout::of(Format::Jet4);
    } else if (version >= 2 && version <= 6) {
        setError(error, QStringLiteral("Access 2007 or later databases (ACE, .accdb, version byte %1) "
                                       "are not supported")
                            .arg(version));
        return false;
    } else {
        setError(error, QStringLiteral("unknown database version byte 0x%1").arg(version, 2, 16, QLatin1Char('0')));
        return false;
    }
    const int ps = m_layout->pageSize;
    if (fileSize % ps != 0) {
        setError(error, QStringLiteral("the file length %1 is not a multiple of the page size %2; "
                                       "the file is truncated or damaged")
                            .arg(fileSize)
                            .arg(ps));
        return false;
    }
    if (fileSize / ps < 3) {
        setError(error,
                 QStringLiteral("the file is too short (%1 pages) to hold the system catalog").arg(fileSize / ps));
        return false;
    }
    if (fileSize / ps > qint64(0xFFFFFF) + 1) {
        setError(error, QStringLiteral("the file is too large (%1 pages) for a Jet database").arg(fileSize / ps));
        return false;
    }
    m_pageCount = std::uint32_t(fileSize / ps);

    // The header page (2048 bytes read so far cover it for Jet 3; Jet 4 needs 4096).
    m_header = QByteArray(ps, '\0');
    auto *hp = reinterpret_cast<std::uint8_t *>(m_header.data());
    if (!readAt(0, hp, std::size_t(ps), &readError)) {
        setError(error, readError);
        return false;
    }
    const Format fmt = m_layout->format;
    Rc4 mask(kHeaderMaskKey, sizeof kHeaderMaskKey);
    mask.apply(hp + kHeaderMaskOffset, std::size_t(headerMaskLength(fmt)));

    m_codePage = readU16(hp + 0x3C);
    const std::uint32_t dbKey = readU32(hp + 0x3E);
    if (dbKey != 0) {
        setError(error, QStringLiteral("the pages of this database are encrypted (database key "
                                       "0x%1), which is not supported")
                            .arg(dbKey, 8, 16, QLatin1Char('0')));
        return false;
    }
    if (fmt == Format::Jet3) {
        m_sortOrder = readU16(hp + 0x3A);
        m_creationDate = 0;
        m_passwordBytes = QByteArray(reinterpret_cast<const char *>(hp + 0x42), 20);
    } else {
        m_sortOrder = readU16(hp + 0x6E);
        m_creationDate = readDouble(hp + 0x72);
        m_passwordBytes = QByteArray(reinterpret_cast<const char *>(hp + 0x42), 40);
        const std::uint32_t dateMask = std::uint32_t(truncateToInt32(m_creationDate));
        std::uint8_t maskBytes[4];
        writeU32(maskBytes, dateMask);
        for (int i = 0; i < m_passwordBytes.size(); ++i)
            m_passwordBytes[i] = char(std::uint8_t(m_passwordBytes[i]) ^ maskBytes[i % 4]);
    }
    return true;
}

bool PageFile::hasPassword() const
{
    for (char c : m_passwordBytes) {
        if (c != 0)
            return true;
    }
    return false;
}

QString PageFile::password() const
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(m_passwordBytes.constData());
    const int n = int(m_passwordBytes.size());
    if (format() == Format::Jet3) {
        int len = 0;
        while (len < n && p[len] != 0)
            ++len;
        return TextCodec::forCodePage(effectiveCodePage(0))->decode(p, len);
    }
    int len = 0;
    while (len + 1 < n && (p[len] | p[len + 1]) != 0)
        len += 2;
    return TextCodec::decodeUcs2(p, len);
}

int PageFile::effectiveCodePage(int columnCodePage) const
{
    if (m_codePageOverride > 0)
        return m_codePageOverride;
    if (columnCodePage > 0)
        return columnCodePage;
    if (m_codePage > 0)
        return m_codePage;
    return 1252;
}

bool PageFile::readAt(std::uint64_t offset, std::uint8_t *buffer, std::size_t length, QString *error) const
{
    return m_file.readAt(offset, buffer, length, error);
}

bool PageFile::readPage(std::uint32_t page, std::uint8_t *buffer, QString *error) const
{
    return readPages(page, 1, buffer, error);
}

bool PageFile::readPages(std::uint32_t first, std::uint32_t count, std::uint8_t *buffer, QString *error) const
{
    if (!m_file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    if (count == 0)
        return true;
    if (first >= m_pageCount || count > m_pageCount - first) {
        setError(error, QStringLiteral("page %1 is past the end of the file (%2 pages)")
                            .arg(first >= m_pageCount ? first : m_pageCount)
                            .arg(m_pageCount));
        return false;
    }
    const std::uint64_t ps = std::uint64_t(m_layout->pageSize);
    if (!readAt(first * ps, buffer, std::size_t(count * ps), error))
        return false;
    for (auto it = m_savedPages.lower_bound(first); it != m_savedPages.end() && it->first - first < count; ++it)
        std::memcpy(buffer + (it->first - first) * ps, it->second.constData(), std::size_t(ps));
    return true;
}

void PageFile::readThrough(std::map<std::uint32_t, QByteArray> saved, std::uint32_t pageCount)
{
    if (!m_file.isOpen() || m_mode != OpenMode::ReadOnly || pageCount == 0)
        return;
    m_savedPages = std::move(saved);
    m_savedPageCount = pageCount;
    m_pageCount = std::min(m_pageCount, pageCount);
    ++m_generation;
}

bool PageFile::writePage(std::uint32_t page, const std::uint8_t *buffer, QString *error)
{
    if (!m_file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    if (m_mode != OpenMode::ReadWrite) {
        setError(error, QStringLiteral("the database is open read-only"));
        return false;
    }
    if (page >= m_pageCount) {
        setError(error, QStringLiteral("page %1 is past the end of the file (%2 pages)").arg(page).arg(m_pageCount));
        return false;
    }
    const std::size_t ps = std::size_t(m_layout->pageSize);
    ++m_generation;
    QString why;
    if (!m_file.writeAt(std::uint64_t(page) * ps, buffer, ps, &why)) {
        setError(error, QStringLiteral("write error on page %1: %2").arg(page).arg(why));
        return false;
    }
    return true;
}

bool PageFile::sync(QString *error)
{
    if (!m_file.isOpen())
        return true;
    QString why;
    if (!m_file.sync(&why)) {
        setError(error, QStringLiteral("cannot flush %1: %2").arg(m_path, why));
        return false;
    }
    return true;
}

bool PageFile::refresh(QString *error)
{
    if (!m_file.isOpen()) {
        setError(error, QStringLiteral("the database is not open"));
        return false;
    }
    ++m_generation;
    QString why;
    const qint64 size = m_file.size(&why);
    if (size < 0) {
        setError(error, QStringLiteral("Cannot read the size of %1: %2").arg(m_path, why));
        return false;
    }
    const int ps = m_layout->pageSize;
    if (size % ps != 0 || size / ps < 3) {
        setError(
            error,
            QStringLiteral("%1: the file length %2 is not a whole number of pages any more").arg(m_path).arg(size));
        return false;
    }
    m_pageCount = std::uint32_t(std::min<qint64>(size / ps, qint64(0xFFFFFF) + 1));
    if (m_savedPageCount != 0)
        m_pageCount = std::min(m_pageCount, m_savedPageCount);
    return true;
}

} // namespace jet

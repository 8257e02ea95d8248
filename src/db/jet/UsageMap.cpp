#include "db/jet/UsageMap.h"

#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/ErrorText.h"
#include "db/jet/PageFile.h"

#include <QByteArray>

namespace jet {

namespace {

void addBits(const std::uint8_t *bitmap, int bytes, std::uint64_t firstPage, std::uint32_t pageCount,
             std::vector<std::uint32_t> *pages, std::uint32_t *pastTheEnd)
{
    for (int i = 0; i < bytes; ++i) {
        const std::uint8_t b = bitmap[i];
        if (!b)
            continue;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(b & (1u << bit)))
                continue;
            const std::uint64_t page = firstPage + std::uint64_t(i) * 8 + std::uint64_t(bit);
            if (page < pageCount)
                pages->push_back(std::uint32_t(page));
            else
                ++*pastTheEnd;
        }
    }
}

} // namespace

bool UsageMap::readPages(const PageFile &file, RowId pointer, std::vector<std::uint32_t> *pages, QString *error,
                         std::uint32_t *pastTheEnd)
{
    pages->clear();
    QByteArray buffer(file.pageSize(), '\0');
    auto *page = reinterpret_cast<std::uint8_t *>(buffer.data());
    QString readError;
    if (!file.readPage(pointer.page, page, &readError)) {
        setError(error, QStringLiteral("usage map %1: %2").arg(pointer.toString(), readError));
        return false;
    }
    const DataPage dp(file.layout(), page);
    int start = 0;
    int end = 0;
    if (!dp.isDataPage() || !dp.rowBounds(int(pointer.slot), &start, &end)) {
        setError(error, QStringLiteral("usage map %1 does not point to a row of a data page").arg(pointer.toString()));
        return false;
    }
    return decode(file, page + start, end - start, pages, error, pastTheEnd);
}

bool UsageMap::decode(const PageFile &file, const std::uint8_t *row, int length, std::vector<std::uint32_t> *pages,
                      QString *error, std::uint32_t *pastTheEnd)
{
    pages->clear();
    std::uint32_t ignored = 0;
    if (!pastTheEnd)
        pastTheEnd = &ignored;
    *pastTheEnd = 0;
    if (length < 1) {
        setError(error, QStringLiteral("empty usage map"));
        return false;
    }
    const std::uint32_t pageCount = file.pageCount();
    if (row[0] == 0x00) {
        if (length < 5) {
            setError(error, QStringLiteral("inline usage map of %1 bytes is too short").arg(length));
            return false;
        }
        addBits(row + 5, length - 5, readU32(row + 1), pageCount, pages, pastTheEnd);
        return true;
    }
    if (row[0] != 0x01) {
        setError(error, QStringLiteral("unknown usage map type 0x%1").arg(row[0], 2, 16, QLatin1Char('0')));
        return false;
    }
    const int ps = file.pageSize();
    const std::uint64_t pagesPerMapPage = std::uint64_t(ps - 4) * 8;
    QByteArray buffer(ps, '\0');
    auto *mapPage = reinterpret_cast<std::uint8_t *>(buffer.data());
    const int entries = (length - 1) / 4;
    for (int m = 0; m < entries; ++m) {
        const std::uint32_t mapPageNo = readU32(row + 1 + 4 * m);
        if (mapPageNo == 0)
            continue;
        const std::uint64_t first = std::uint64_t(m) * pagesPerMapPage;
        if (first >= pageCount)
            continue; // covers only pages past the end of the file
        QString readError;
        if (!file.readPage(mapPageNo, mapPage, &readError)) {
            setError(error, QStringLiteral("usage map page %1: %2").arg(mapPageNo).arg(readError));
            return false;
        }
        if (mapPage[0] != 0x05) {
            setError(error, QStringLiteral("page %1 is not a usage map page (type 0x%2)")
                                .arg(mapPageNo)
                                .arg(mapPage[0], 2, 16, QLatin1Char('0')));
            return false;
        }
        addBits(mapPage + 4, ps - 4, first, pageCount, pages, pastTheEnd);
    }
    return true;
}

} // namespace jet

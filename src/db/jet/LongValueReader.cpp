#include "db/jet/LongValueReader.h"

#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/ErrorText.h"
#include "db/jet/PageFile.h"
#include "db/jet/RowId.h"

#include <algorithm>
#include <unordered_set>

namespace jet {

namespace {

// One page buffer that remembers which page it holds, since chains often stay on a page.
class LvalPage
{
public:
    explicit LvalPage(const PageFile &file) : m_file(file), m_buffer(file.pageSize(), '\0') {}

    // Bytes of the LVAL row at `pointer`, ignoring the slot's flags.
    bool row(RowId pointer, const std::uint8_t **data, int *length, QString *error)
    {
        auto *page = reinterpret_cast<std::uint8_t *>(m_buffer.data());
        if (!m_loaded || m_page != pointer.page) {
            QString readError;
            m_loaded = false;
            if (!m_file.readPage(pointer.page, page, &readError)) {
                setError(error, QStringLiteral("long value row %1: %2").arg(pointer.toString(), readError));
                return false;
            }
            m_loaded = true;
            m_page = pointer.page;
        }
        const DataPage dp(m_file.layout(), page);
        if (!dp.isLongValuePage()) {
            setError(error, QStringLiteral("long value row %1 is not on a long-value page").arg(pointer.toString()));
            return false;
        }
        int start = 0;
        int end = 0;
        if (!dp.rowBounds(int(pointer.slot), &start, &end)) {
            setError(error, QStringLiteral("long value row %1 does not exist").arg(pointer.toString()));
            return false;
        }
        *data = page + start;
        *length = end - start;
        return true;
    }

private:
    const PageFile &m_file;
    QByteArray m_buffer;
    bool m_loaded = false;
    std::uint32_t m_page = 0;
};

} // namespace

bool LongValueReader::read(const PageFile &file, const std::uint8_t *field, int length, QByteArray *out, QString *error)
{
    out->clear();
    if (length < kHeaderSize) {
        setError(error, QStringLiteral("long value field of %1 bytes is shorter than its header").arg(length));
        return false;
    }
    const std::uint32_t word = readU32(field);
    const std::uint32_t total = word & 0x3FFFFFFFu;
    const std::uint32_t kind = word & 0xC0000000u;
    const RowId first = RowId::fromPointer(readU32(field + 4));

    if (kind == 0x80000000u) {
        if (total > std::uint32_t(length - kHeaderSize)) {
            setError(error, QStringLiteral("inline long value of %1 bytes exceeds its field (%2 bytes)")
                                .arg(total)
                                .arg(length - kHeaderSize));
            return false;
        }
        *out = QByteArray(reinterpret_cast<const char *>(field + kHeaderSize), int(total));
        return true;
    }
    if (kind == 0xC0000000u) {
        setError(error, QStringLiteral("unknown long value kind 0xC0"));
        return false;
    }
    if (total == 0)
        return true;
    if (!file.isOpen()) {
        setError(error, QStringLiteral("long value needs the database file"));
        return false;
    }
    // A value cannot be longer than the file that holds it.
    const std::uint64_t fileBytes = std::uint64_t(file.pageCount()) * std::uint64_t(file.pageSize());
    if (total > fileBytes) {
        setError(error, QStringLiteral("long value claims %1 bytes, more than the file holds").arg(total));
        return false;
    }

    LvalPage lval(file);
    const std::uint8_t *data = nullptr;
    int rowLength = 0;
    if (kind == 0x40000000u) {
        if (!lval.row(first, &data, &rowLength, error))
            return false;
        if (std::uint32_t(rowLength) < total) {
            setError(error, QStringLiteral("long value row %1 holds %2 bytes, %3 expected")
                                .arg(first.toString())
                                .arg(rowLength)
                                .arg(total));
            return false;
        }
        *out = QByteArray(reinterpret_cast<const char *>(data), int(total));
        return true;
    }

    // Chain: every row is visited at most once, so a loop ends the value.
    std::unordered_set<std::uint32_t> visited;
    // Grows with the rows actually read, so a damaged length costs nothing up front.
    QByteArray result;
    result.reserve(int(std::min<std::uint32_t>(total, 1u << 20)));
    RowId next = first;
    while (std::uint32_t(result.size()) < total) {
        if (next.isNull()) {
            setError(error, QStringLiteral("long value chain ends after %1 of %2 bytes").arg(result.size()).arg(total));
            return false;
        }
        if (!visited.insert(next.toPointer()).second) {
            setError(error, QStringLiteral("long value chain loops back to row %1").arg(next.toString()));
            return false;
        }
        if (!lval.row(next, &data, &rowLength, error))
            return false;
        if (rowLength < 4) {
            setError(error, QStringLiteral("long value row %1 is too short for its link").arg(next.toString()));
            return false;
        }
        const RowId following = RowId::fromPointer(readU32(data));
        const int chunk =
            int(std::min<std::uint32_t>(std::uint32_t(rowLength - 4), total - std::uint32_t(result.size())));
        result.append(reinterpret_cast<const char *>(data + 4), chunk);
        next = following;
    }
    *out = std::move(result);
    return true;
}

} // namespace jet

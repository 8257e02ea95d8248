#include "db/jet/IndexPage.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/IndexEntryList.h"

#include <algorithm>
#include <cstring>

namespace jet {

namespace {

// Calls visit(end) with the page offset where each entry ends, in order, as the entry-end
// mask marks them; visit returns false to stop early. False (error set) when the mask marks
// an end past the page.
template <typename Visit>
bool forEachEntryEnd(const IndexPage::Offsets &o, int pageSize, const std::uint8_t *page, QString *error, Visit visit)
{
    const int room = pageSize - o.entries;
    for (int i = o.mask; i < o.entries; ++i) {
        const std::uint8_t b = page[i];
        for (int bit = 0; b && bit < 8; ++bit) {
            if (!(b & (1u << bit)))
                continue;
            const int n = (i - o.mask) * 8 + bit;
            if (n > room) {
                setError(
                    error,
                    QStringLiteral("its entry mask marks an entry ending %1 bytes past the page end").arg(n - room));
                return false;
            }
            if (!visit(o.entries + n))
                return true;
        }
    }
    return true;
}

int commonPrefix(const QByteArray &a, const QByteArray &b)
{
    const int n = int(std::min(a.size(), b.size()));
    int i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// The bytes of a node entry as stored: key, row pointer, child.
QByteArray storedBytes(const IndexPage::Entry &e, bool node)
{
    if (!node)
        return e.bytes;
    QByteArray out = e.bytes;
    out.append(char(e.child >> 24));
    out.append(char(e.child >> 16));
    out.append(char(e.child >> 8));
    out.append(char(e.child));
    return out;
}

} // namespace

RowId IndexPage::Entry::rowId() const
{
    if (bytes.size() < kRowPointerSize)
        return RowId{};
    return rowIdFromBytes(reinterpret_cast<const std::uint8_t *>(bytes.constData()) + bytes.size() - kRowPointerSize);
}

const IndexPage::Offsets &IndexPage::offsets(Format format)
{
    static const Offsets jet3{0x08, 0x0C, 0x10, 0x14, 1, 0x15, 0x16, 0xF8};
    static const Offsets jet4{0x0C, 0x10, 0x14, 0x18, 2, 0x1A, 0x1B, 0x1E0};
    return format == Format::Jet3 ? jet3 : jet4;
}

QByteArray IndexPage::rowPointerBytes(RowId id)
{
    QByteArray out(4, '\0');
    out[0] = char(id.page >> 16);
    out[1] = char(id.page >> 8);
    out[2] = char(id.page);
    out[3] = char(id.slot);
    return out;
}

RowId IndexPage::rowIdFromBytes(const std::uint8_t *p)
{
    return RowId{(std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | std::uint32_t(p[2]), p[3]};
}

bool IndexPage::entryEnds(Format format, int pageSize, const std::uint8_t *page, std::vector<int> *ends, QString *error)
{
    ends->clear();
    return forEachEntryEnd(offsets(format), pageSize, page, error, [ends](int end) {
        ends->push_back(end);
        return true;
    });
}

bool IndexPage::decode(Format format, int pageSize, const std::uint8_t *page, QString *error)
{
    m_format = format;
    m_pageSize = pageSize;
    entries.clear();
    storedEntryBytes = 0;
    IndexEntryList list;
    if (!list.decode(format, pageSize, page, error)) {
        type = page[0];
        return false;
    }
    type = list.type();
    freeSpace = list.freeSpace();
    prev = list.prev();
    next = list.next();
    tail = list.tail();
    prefixLength = list.prefixLength();
    marker = list.marker();
    entries.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const QByteArrayView bytes = list.entry(i);
        entries.push_back(Entry{QByteArray(bytes.data(), bytes.size()), isNode() ? list.child(i) : 0});
    }
    storedEntryBytes = list.storedEntryBytes();
    return true;
}

int IndexPage::effectivePrefix() const
{
    if (entries.size() < 2)
        return entries.empty() ? 0 : std::min<int>(prefixLength, int(entries.front().bytes.size()));
    const bool node = isNode();
    const QByteArray first = storedBytes(entries.front(), node);
    int shared = int(first.size());
    int shortest = shared;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const QByteArray b = storedBytes(entries[i], node);
        shared = std::min(shared, commonPrefix(first, b));
        shortest = std::min(shortest, int(b.size()));
    }
    // Every later entry must keep at least one stored byte, or its end would coincide with
    // the previous one in the mask.
    shared = std::min(shared, shortest - 1);
    const int limit = offsets(m_format).prefixSize == 1 ? 0xFF : 0xFFFF;
    shared = std::min(shared, limit);
    return prefixLength <= shared ? prefixLength : shared;
}

int IndexPage::encodedEntryBytes() const
{
    if (entries.empty())
        return 0;
    const int prefix = effectivePrefix();
    const int extra = isNode() ? kChildSize : 0;
    int total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        total += int(entries[i].bytes.size()) + extra - (i == 0 ? 0 : prefix);
    return total;
}

bool IndexPage::encode(std::uint8_t *page, QString *error) const
{
    const Offsets &o = offsets(m_format);
    const int room = m_pageSize - o.entries;
    const int used = encodedEntryBytes();
    if (used > room) {
        setError(error, QStringLiteral("its %1 entries need %2 bytes but the page holds %3")
                            .arg(entries.size())
                            .arg(used)
                            .arg(room));
        return false;
    }
    const int prefix = effectivePrefix();
    page[0] = type;
    writeU16(page + 2, room - used);
    writeU32(page + o.prev, prev);
    writeU32(page + o.next, next);
    writeU32(page + o.tail, tail);
    if (o.prefixSize == 1)
        page[o.prefix] = std::uint8_t(prefix);
    else
        writeU16(page + o.prefix, prefix);
    page[o.marker] = marker;
    std::memset(page + o.mask, 0, std::size_t(o.entries - o.mask));
    std::memset(page + o.entries, 0, std::size_t(room));
    int pos = o.entries;
    const bool node = isNode();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QByteArray b = storedBytes(entries[i], node);
        const int skip = i == 0 ? 0 : prefix;
        const int n = int(b.size()) - skip;
        std::memcpy(page + pos, b.constData() + skip, std::size_t(n));
        pos += n;
        const int bit = pos - o.entries;
        page[o.mask + bit / 8] |= std::uint8_t(1u << (bit % 8));
    }
    return true;
}

void IndexPage::makeEmptyLeaf()
{
    type = kLeaf;
    prev = next = tail = 0;
    prefixLength = 0;
    marker = 0;
    entries.clear();
}

namespace {

// Calls visit(index, rowId) for every entry of a leaf page image, in order, rebuilding only
// the last four bytes of each entry. visit returns false to stop. Returns false (error set)
// for a damaged page.
template <typename Visit>
bool forEachLeafRow(Format format, int pageSize, const std::uint8_t *page, QString *error, Visit visit)
{
    if (page[0] != IndexPage::kLeaf) {
        setError(error, QStringLiteral("not an index leaf page (type 0x%1)").arg(page[0], 2, 16, QLatin1Char('0')));
        return false;
    }
    const IndexPage::Offsets &o = IndexPage::offsets(format);
    const int prefix = o.prefixSize == 1 ? page[o.prefix] : readU16(page + o.prefix);
    int start = o.entries;
    int index = 0;
    int firstLength = -1;
    bool damaged = false;
    const bool maskOk = forEachEntryEnd(o, pageSize, page, error, [&](int end) {
        const int stored = end - start;
        std::uint8_t last[4];
        if (index == 0) {
            firstLength = stored;
            if (stored < IndexPage::kRowPointerSize + 1) {
                setError(error, QStringLiteral("its first entry is only %1 bytes long").arg(stored));
                damaged = true;
                return false;
            }
            std::memcpy(last, page + end - 4, 4);
        } else {
            if (prefix > firstLength || prefix + stored < IndexPage::kRowPointerSize + 1) {
                setError(error, QStringLiteral("entry %1 is too short for its prefix").arg(index));
                damaged = true;
                return false;
            }
            if (stored >= 4) {
                std::memcpy(last, page + end - 4, 4);
            } else {
                // Some of the last four bytes come from the shared prefix.
                for (int k = 0; k < 4; ++k) {
                    const int fullPos = prefix + stored - 4 + k;
                    last[k] = fullPos < prefix ? page[o.entries + fullPos] : page[start + fullPos - prefix];
                }
            }
        }
        if (!visit(index, IndexPage::rowIdFromBytes(last)))
            return false;
        start = end;
        ++index;
        return true;
    });
    return maskOk && !damaged;
}

} // namespace

int IndexPage::findRowInLeaf(Format format, int pageSize, const std::uint8_t *page, RowId id, QString *error)
{
    int found = -1;
    if (!forEachLeafRow(format, pageSize, page, error, [&](int index, RowId row) {
            if (row != id)
                return true;
            found = index;
            return false;
        }))
        return -2;
    return found;
}

int IndexPage::compareEntryBytes(const QByteArray &a, const QByteArray &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const int c = std::memcmp(a.constData(), b.constData(), std::size_t(n));
    if (c != 0)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool IndexPage::leafRowIds(Format format, int pageSize, const std::uint8_t *page, std::vector<RowId> *rows,
                           QString *error)
{
    rows->clear();
    return forEachLeafRow(format, pageSize, page, error, [&](int, RowId row) {
        rows->push_back(row);
        return true;
    });
}

} // namespace jet

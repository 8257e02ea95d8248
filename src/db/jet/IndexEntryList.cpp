#include "db/jet/IndexEntryList.h"

#include "db/jet/Bytes.h"
#include "db/jet/ErrorText.h"
#include "db/jet/IndexPage.h"

#include <cstring>

namespace jet {

bool IndexEntryList::isLeaf() const
{
    return m_type == IndexPage::kLeaf;
}

bool IndexEntryList::decode(Format format, int pageSize, const std::uint8_t *page, QString *error)
{
    m_bytes.clear();
    m_ends.clear();
    m_children.clear();
    m_storedBytes = 0;
    const IndexPage::Offsets &o = IndexPage::offsets(format);
    m_type = page[0];
    if (m_type != IndexPage::kNode && m_type != IndexPage::kLeaf) {
        setError(error, QStringLiteral("not an index page (type 0x%1)").arg(m_type, 2, 16, QLatin1Char('0')));
        return false;
    }
    m_freeSpace = readU16(page + 2);
    m_prev = readU32(page + o.prev);
    m_next = readU32(page + o.next);
    m_tail = readU32(page + o.tail);
    m_prefix = o.prefixSize == 1 ? page[o.prefix] : readU16(page + o.prefix);
    m_marker = page[o.marker];
    if (!IndexPage::entryEnds(format, pageSize, page, &m_pageEnds, error))
        return false;

    const bool node = m_type == IndexPage::kNode;
    const int minimum = IndexPage::kRowPointerSize + (node ? IndexPage::kChildSize : 0) + 1;
    m_bytes.reserve(std::size_t(pageSize) * 2);
    m_ends.reserve(m_pageEnds.size());
    int start = o.entries;
    int firstLength = 0;
    for (std::size_t i = 0; i < m_pageEnds.size(); ++i) {
        const int end = m_pageEnds[i];
        const std::size_t begin = m_bytes.size();
        if (i == 0) {
            firstLength = end - start;
            if (m_pageEnds.size() > 1 && firstLength < m_prefix) {
                setError(error, QStringLiteral("its prefix length %1 is longer than its first entry (%2 bytes)")
                                    .arg(m_prefix)
                                    .arg(firstLength));
                return false;
            }
        } else {
            // The shared prefix comes from the first entry, which lies at the buffer's start.
            m_bytes.resize(begin + std::size_t(m_prefix));
            std::memcpy(m_bytes.data() + begin, m_bytes.data(), std::size_t(m_prefix));
        }
        m_bytes.insert(m_bytes.end(), page + start, page + end);
        const int length = int(m_bytes.size() - begin);
        if (length < minimum) {
            setError(error, QStringLiteral("entry %1 is only %2 bytes long").arg(i).arg(length));
            return false;
        }
        if (node) {
            const std::uint8_t *c = m_bytes.data() + m_bytes.size() - IndexPage::kChildSize;
            m_children.push_back((std::uint32_t(c[0]) << 24) | (std::uint32_t(c[1]) << 16) | (std::uint32_t(c[2]) << 8)
                                 | std::uint32_t(c[3]));
            // The child stays in the buffer (the first entry's bytes feed later prefixes);
            // entry() leaves it out.
        }
        m_ends.push_back(std::uint32_t(m_bytes.size()));
        start = end;
    }
    m_storedBytes = start - o.entries;
    return true;
}

QByteArrayView IndexEntryList::entry(std::size_t i) const
{
    const std::uint32_t begin = i == 0 ? 0 : m_ends[i - 1];
    const std::uint32_t end = m_ends[i] - (m_type == IndexPage::kNode ? IndexPage::kChildSize : 0);
    return QByteArrayView(reinterpret_cast<const char *>(m_bytes.data()) + begin, qsizetype(end - begin));
}

QByteArrayView IndexEntryList::key(std::size_t i) const
{
    const QByteArrayView e = entry(i);
    return e.first(e.size() - IndexPage::kRowPointerSize);
}

RowId IndexEntryList::rowId(std::size_t i) const
{
    const QByteArrayView e = entry(i);
    return IndexPage::rowIdFromBytes(reinterpret_cast<const std::uint8_t *>(e.data()) + e.size()
                                     - IndexPage::kRowPointerSize);
}

} // namespace jet

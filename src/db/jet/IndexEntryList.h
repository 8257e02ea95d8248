#pragma once
// The entries of one index page image, each rebuilt in full (the shared prefix put back in
// front of its stored bytes) into one buffer that is reused from page to page, so that
// reading a whole index allocates nothing per entry. IndexPage builds its editable entries
// from this; the range reader walks leaves with it directly. The page layout is described
// in IndexPage.h.

#include "db/jet/Format.h"
#include "db/jet/RowId.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class IndexEntryList
{
public:
    // Decodes `page` (pageSize bytes of the given format). Fails with an error text for an
    // unknown type, a mask that runs past the page, a prefix longer than the first entry or
    // an entry too short for its row pointer (and child).
    bool decode(Format format, int pageSize, const std::uint8_t *page, QString *error = nullptr);

    std::uint8_t type() const { return m_type; }
    bool isLeaf() const;
    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }

    // Entry i: its key followed by the 4-byte row pointer (a node entry's child page is not
    // part of it).
    QByteArrayView entry(std::size_t i) const;
    QByteArrayView key(std::size_t i) const;
    RowId rowId(std::size_t i) const;
    std::uint32_t child(std::size_t i) const { return m_children[i]; } // node pages only

    // Header fields as read.
    std::uint32_t prev() const { return m_prev; }
    std::uint32_t next() const { return m_next; }
    std::uint32_t tail() const { return m_tail; }
    int prefixLength() const { return m_prefix; }
    std::uint8_t marker() const { return m_marker; }
    int freeSpace() const { return m_freeSpace; }
    int storedEntryBytes() const { return m_storedBytes; }

private:
    std::uint8_t m_type = 0;
    std::uint32_t m_prev = 0;
    std::uint32_t m_next = 0;
    std::uint32_t m_tail = 0;
    int m_prefix = 0;
    std::uint8_t m_marker = 0;
    int m_freeSpace = 0;
    int m_storedBytes = 0;
    std::vector<std::uint8_t> m_bytes; // the entries back to back
    std::vector<std::uint32_t> m_ends; // end of entry i in m_bytes
    std::vector<std::uint32_t> m_children;
    std::vector<int> m_pageEnds; // scratch: entry ends on the page
};

} // namespace jet

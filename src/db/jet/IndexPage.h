#pragma once
// One page of an index B-tree: a node (type 03) whose entries point to child pages, or a
// leaf (type 04) whose entries point to rows. Decodes a page image into its header fields
// and full entries, and encodes them back over the same image.
//
// Page layout (Jet 3 / Jet 4 offsets):
//   0x00 type, 0x02 free space (u16), 0x04 owning table definition page,
//   0x08 / 0x0C previous page and next page on the same level, 0x10 / 0x14 tail child,
//   prefix length: Jet 3 one byte at 0x14 (0x15 holds 01 on Access-made nodes),
//                  Jet 4 u16 at 0x18 (0x1A likewise),
//   entry-end bitmask from 0x16 / 0x1B, entries from 0xF8 / 0x1E0.
// Bit n of the mask marks an entry ending at (entries start + n). The first entry is stored
// in full; every later one omits the first P bytes it shares with the first entry.
//
// An entry is its key bytes, then the row pointer as a 3-byte big-endian page and a 1-byte
// row; a node entry adds its child page as a 4-byte big-endian number. Entry::bytes holds
// the key and the row pointer; the child is kept apart.
//
// Reading Jet 3's prefix length as a u16 gives 256 on Access-made nodes ("00 01"); only
// the first byte is the length, and the byte after it is written back as it was found.

#include "db/jet/Format.h"
#include "db/jet/RowId.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace jet {

class IndexPage
{
public:
    static constexpr std::uint8_t kNode = 0x03;
    static constexpr std::uint8_t kLeaf = 0x04;
    static constexpr int kRowPointerSize = 4;
    static constexpr int kChildSize = 4;

    struct Entry
    {
        QByteArray bytes;        // key followed by the 4-byte row pointer
        std::uint32_t child = 0; // node entries: the child page

        QByteArray key() const { return bytes.left(bytes.size() - kRowPointerSize); }
        RowId rowId() const;
    };

    // The order of index entries: unsigned bytes, a shorter entry before every longer one
    // that starts with it. Negative, zero or positive.
    static int compareEntryBytes(const QByteArray &a, const QByteArray &b);

    // Field offsets of one format.
    struct Offsets
    {
        int prev;
        int next;
        int tail;
        int prefix;
        int prefixSize; // 1 (Jet 3) or 2 (Jet 4)
        int marker;     // the byte after the prefix length, kept as found
        int mask;
        int entries;
    };
    static const Offsets &offsets(Format format);

    // The 4 bytes an entry ends with for row `id`.
    static QByteArray rowPointerBytes(RowId id);
    static RowId rowIdFromBytes(const std::uint8_t *fourBytes);

    // Decodes `page` (pageSize bytes of the given format). Fails with an error text for an
    // unknown type, a mask that runs past the page, a prefix longer than the first entry or
    // an entry too short for its row pointer (and child).
    bool decode(Format format, int pageSize, const std::uint8_t *page, QString *error = nullptr);

    // Writes type, free space, links, prefix, marker byte, mask and entries over `page`,
    // which should hold the page as it was read (the other header bytes stay). The prefix
    // length found on the page is kept while every entry still shares it, else it becomes
    // the longest prefix they all share. Fails, leaving `page` alone, when the entries do
    // not fit the page.
    bool encode(std::uint8_t *page, QString *error = nullptr) const;
    // Bytes the entries would take when encoded (prefix applied).
    int encodedEntryBytes() const;
    bool fits() const { return encodedEntryBytes() <= m_pageSize - offsets(m_format).entries; }

    // Scans a leaf page image for the entry that points to row `id` without building the
    // entries. Returns its index, -1 when absent, and -2 for a damaged page (error set).
    static int findRowInLeaf(Format format, int pageSize, const std::uint8_t *page, RowId id, QString *error = nullptr);
    // The row ids of a leaf page image's entries, in order. False (error set) for a
    // damaged page.
    static bool leafRowIds(Format format, int pageSize, const std::uint8_t *page, std::vector<RowId> *rows,
                           QString *error = nullptr);

    Format format() const { return m_format; }
    int pageSize() const { return m_pageSize; }
    std::uint8_t type = kLeaf;
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;
    int prefixLength = 0;     // as read
    std::uint8_t marker = 0;  // byte after the prefix length, as read
    int freeSpace = 0;        // as read
    int storedEntryBytes = 0; // bytes the entries took on the page as read
    std::vector<Entry> entries;

    bool isLeaf() const { return type == kLeaf; }
    bool isNode() const { return type == kNode; }
    // Free space that the current entries leave, as encode() would write it.
    int computedFreeSpace() const { return m_pageSize - offsets(m_format).entries - encodedEntryBytes(); }
    // Turns the page into a leaf without entries, links or tail (an emptied root).
    void makeEmptyLeaf();

    // The page offsets where the entries end, as the entry-end mask marks them; false
    // (error set) if one lies past the page.
    static bool entryEnds(Format format, int pageSize, const std::uint8_t *page, std::vector<int> *ends,
                          QString *error);

private:
    int effectivePrefix() const;

    Format m_format = Format::Jet4;
    int m_pageSize = 4096;
};

} // namespace jet

#include "query/ResultRows.h"

#include "db/jet/Digits.h"
#include "db/jet/JetDate.h"
#include "db/record/CallRecord.h"
#include "lang/Ids.h"
#include "query/CellFormat.h"
#include "query/TextOrder.h"
#include "task/CancelToken.h"

#include <QDir>
#include <QStringEncoder>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr quint32 kBlockSize = 1u << 20;
// Bytes after the end of each block that are never written but may be read: a text can be
// compared 16 places at a time up to its last byte (TextNeedle::In, padded).
constexpr quint32 kBlockSlack = 16;

// Lengths are written as 7 bits a byte, low bits first, the top bit set on every byte but
// the last. A length is written in as many bytes as its largest possible value needs (the
// unused ones carry zero bits), so that room for it is known before the text is encoded.
int LengthBytes(quint32 largest)
{
    int n = 1;
    while (largest >= 0x80) {
        largest >>= 7;
        ++n;
    }
    return n;
}

void WriteLength(char *at, int bytes, quint32 length)
{
    for (int i = 0; i < bytes; ++i) {
        const auto low = quint8(length & 0x7F);
        length >>= 7;
        at[i] = char(i + 1 < bytes ? (low | 0x80) : low);
    }
}

const char *ReadLength(const char *at, quint32 *length)
{
    quint32 value = 0;
    int shift = 0;
    for (;;) {
        const auto byte = quint8(*at++);
        value |= quint32(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            break;
        shift += 7;
    }
    *length = value;
    return at;
}

} // namespace

ResultRows::ResultRows(std::array<QByteArray, 3> typeTexts, QByteArray voiceDirUtf8)
    : m_typeTexts(std::move(typeTexts))
    , m_voiceDirUtf8(std::move(voiceDirUtf8))
{}

char *ResultRows::Room(quint32 bytes)
{
    if (m_blocks.empty() || m_blockUsed + bytes > m_blockSize) {
        m_blockSize = std::max(kBlockSize, bytes);
        m_blocks.push_back(std::shared_ptr<char[]>(new char[m_blockSize + kBlockSlack]));
        m_blockUsed = 0;
    }
    return m_blocks.back().get() + m_blockUsed;
}

void ResultRows::Append(const CallRecord &record, int number, qint64 fileSize)
{
    Row row{};
    row.number = number;
    row.id = record.id;
    row.talkedTime = record.talked_time;
    row.start = record.record_time_start.m_dt;
    row.startValid = record.record_time_start.isValid();
    const int typeId = CellFormat::CallTypeTextId(record.call_direction, record.talked_time);
    row.typeText = typeId == Ids::TxtIncoming ? 0 : (typeId == Ids::TxtOutgoing ? 1 : 2);
    if (record.record_file.isEmpty())
        row.file = quint8(FileKind::None);
    else if (record.record_file == QLatin1String("DEL"))
        row.file = quint8(FileKind::Deleted);
    else
        row.file = quint8(FileKind::Named);
    row.size = fileSize;

    // The texts go straight into a block as UTF-8: room for the worst case (three bytes per
    // UTF-16 unit, and the lengths) is made first.
    const QString *texts[TextFieldCount] = {&record.name, &record.fsk, &record.context, &record.dtmf,
                                            &record.record_file};
    quint32 worstCase = 0;
    for (const QString *t : texts) {
        const auto largest = quint32(t->size()) * 3;
        worstCase += largest + quint32(LengthBytes(largest));
    }
    char *const start = Room(worstCase);
    row.block = quint32(m_blocks.size() - 1);
    row.offset = m_blockUsed;
    char *out = start;
    for (const QString *t : texts) {
        const int lengthBytes = LengthBytes(quint32(t->size()) * 3);
        QStringEncoder encoder(QStringEncoder::Utf8);
        char *end = encoder.appendToBuffer(out + lengthBytes, *t);
        WriteLength(out, lengthBytes, quint32(end - out - lengthBytes));
        out = end;
    }
    // The recording's name is dropped when it can be made again from the row's other cells.
    if (FileKind(row.file) == FileKind::Named && record.line_id >= 0 && record.line_id <= 0xFFFF) {
        row.line = quint16(record.line_id);
        const QByteArrayView fileName = Text(row, File);
        if (IsUsualFileName(row, Text(row, Phone), fileName)) {
            row.file = quint8(FileKind::Usual);
            char *const fileText = const_cast<char *>(fileName.data());
            const int lengthBytes = LengthBytes(quint32(record.record_file.size()) * 3);
            WriteLength(fileText - lengthBytes, lengthBytes, 0);
            out = fileText;
        }
    }
    m_blockUsed += quint32(out - start);
    m_rows.push_back(row);
}

double ResultRows::StartOrderKey(int row) const
{
    const Row &stored = m_rows[size_t(row)];
    return stored.startValid ? stored.start : -std::numeric_limits<double>::infinity();
}

bool ResultRows::FileMissing(int row) const
{
    const Row &r = m_rows[size_t(row)];
    return (FileKind(r.file) == FileKind::Named || FileKind(r.file) == FileKind::Usual) && r.size < 0;
}

void ResultRows::TrimLastBlock()
{
    if (m_blocks.empty() || m_blockUsed >= m_blockSize / 2)
        return;
    std::shared_ptr<char[]> fitted(new char[m_blockUsed + kBlockSlack]);
    std::memcpy(fitted.get(), m_blocks.back().get(), m_blockUsed);
    m_blocks.back() = std::move(fitted);
    m_blockSize = m_blockUsed;
}

void ResultRows::AppendRows(ResultRows &&batch)
{
    if (batch.m_rows.empty())
        return;
    // An empty storage made before the reader takes the reader's texts.
    if (m_rows.empty()) {
        m_typeTexts = batch.m_typeTexts;
        m_voiceDirUtf8 = batch.m_voiceDirUtf8;
    }
    batch.TrimLastBlock();
    const auto firstBlock = quint32(m_blocks.size());
    // Grown by half again when full, never to the exact size: batch after batch would
    // otherwise copy every row stored so far each time.
    if (m_rows.capacity() < m_rows.size() + batch.m_rows.size())
        m_rows.reserve(std::max(m_rows.size() + batch.m_rows.size(), m_rows.capacity() * 3 / 2));
    for (Row row : batch.m_rows) {
        row.block += firstBlock;
        m_rows.push_back(row);
    }
    m_blocks.insert(m_blocks.end(), std::make_move_iterator(batch.m_blocks.begin()),
                    std::make_move_iterator(batch.m_blocks.end()));
    // The batch's blocks are full for this storage: a row appended here starts a new one.
    m_blockSize = 0;
    m_blockUsed = 0;
    batch.m_rows.clear();
    batch.m_blocks.clear();
}

bool ResultRows::Less(int column, const ResultRows &rx, int a, const ResultRows &ry, int b)
{
    QByteArray nameA, nameB;
    return Less(column, rx, a, ry, b, nameA, nameB);
}

bool ResultRows::Less(int column, const ResultRows &rx, int a, const ResultRows &ry, int b, QByteArray &nameA,
                      QByteArray &nameB)
{
    const Row &x = rx.m_rows[size_t(a)];
    const Row &y = ry.m_rows[size_t(b)];
    const auto texts = [&](TextField field) { return CompareTexts(rx.Text(x, field), ry.Text(y, field)) < 0; };
    switch (column) {
    case CellNumber:
        return x.number < y.number;
    case CellName:
        return texts(Name);
    case CellType:
        return CompareTexts(rx.m_typeTexts[x.typeText], ry.m_typeTexts[y.typeText]) < 0;
    case CellPhone:
        return texts(Phone);
    case CellStart:
        // A start time that is not valid shows as -01-... and goes first.
        if (x.startValid != y.startValid)
            return !x.startValid;
        return x.startValid && x.start < y.start;
    case CellTalkTime:
        return x.talkedTime < y.talkedTime;
    case CellSize:
        return x.size < y.size; // an empty cell (-1) first
    case CellRemark:
        return texts(Remark);
    case CellFile:
        // Empty cells, then "DEL", then the files by name, however each name is kept.
        if (std::min(x.file, quint8(FileKind::Named)) != std::min(y.file, quint8(FileKind::Named)))
            return x.file < y.file;
        if (FileKind(x.file) == FileKind::Usual || FileKind(y.file) == FileKind::Usual) {
            nameA.clear();
            nameB.clear();
            return CompareTexts(rx.FileName(x, nameA), ry.FileName(y, nameB)) < 0;
        }
        return FileKind(x.file) == FileKind::Named && texts(File);
    case CellId:
        return x.id < y.id;
    case CellDtmf:
        return texts(Dtmf);
    default:
        return false;
    }
}

void ResultRows::Sort(const std::vector<Source> &sources, int column, bool descending, std::vector<quint32> &keys,
                      const std::vector<qint32> *numbers)
{
    if (sources.empty())
        return;
    // The storage and row of a key: with one source, the key itself.
    const auto resolve = [&sources](quint32 key) -> std::pair<const ResultRows *, quint32> {
        if (sources.size() == 1)
            return {sources.front().rows, key - sources.front().base};
        const auto next = std::upper_bound(sources.begin(), sources.end(), key,
                                           [](quint32 k, const Source &s) { return k < s.base; });
        const Source &source = *(next - 1);
        return {source.rows, key - source.base};
    };
    const auto rowOf = [&](quint32 key) -> const Row & {
        const auto [rows, stored] = resolve(key);
        return rows->m_rows[stored];
    };
    // A sort of a million rows compares each some twenty times, and looking a cell up in
    // scattered rows at every comparison made a sort by number take seconds. Whole-number
    // cells are taken out once into (cell, key) pairs; texts are found once per row. Both
    // cost a few megabytes, which the list's memory budget allows; wider keys would not.
    CancelPoll poll;
    const auto stableSort = [descending, &poll](auto &items, auto less) {
        if (descending) {
            std::stable_sort(items.begin(), items.end(), [&](const auto &a, const auto &b) {
                poll.step();
                return less(b, a);
            });
        } else {
            std::stable_sort(items.begin(), items.end(), [&](const auto &a, const auto &b) {
                poll.step();
                return less(a, b);
            });
        }
    };
    const auto byWholeNumber = [&](auto cellOf) {
        std::vector<std::pair<qint32, quint32>> keyed;
        keyed.reserve(keys.size());
        for (const quint32 key : keys)
            keyed.emplace_back(cellOf(key), key);
        stableSort(keyed, [](const auto &a, const auto &b) { return a.first < b.first; });
        for (size_t i = 0; i < keyed.size(); ++i)
            keys[i] = keyed[i].second;
    };
    const auto byText = [&](TextField field) {
        quint32 largest = 0;
        for (const quint32 key : keys)
            largest = std::max(largest, key);
        // Most comparisons are settled by the first bytes of the texts' sort keys, read from
        // one array; only equal (or unknown, 0) ones read the texts themselves.
        std::vector<quint64> prefixOf(keys.empty() ? 0 : size_t(largest) + 1);
        for (const quint32 key : keys) {
            const auto [rows, stored] = resolve(key);
            prefixOf[key] = TextOrderPrefix(rows->Text(rows->m_rows[stored], field));
        }
        const auto textOf = [&](quint32 key) {
            const auto [rows, stored] = resolve(key);
            return rows->Text(rows->m_rows[stored], field);
        };
        stableSort(keys, [&](quint32 a, quint32 b) {
            const quint64 pa = prefixOf[a];
            const quint64 pb = prefixOf[b];
            if (pa != pb && pa != 0 && pb != 0)
                return pa < pb;
            return CompareTexts(textOf(a), textOf(b)) < 0;
        });
    };
    switch (column) {
    case CellNumber:
        if (numbers)
            return byWholeNumber([numbers](quint32 key) { return (*numbers)[key]; });
        return byWholeNumber([&](quint32 key) { return qint32(rowOf(key).number); });
    case CellType: {
        const std::array<QByteArray, 3> &typeTexts = sources.front().rows->m_typeTexts;
        std::array<qint32, 3> rank{};
        for (size_t i = 0; i < rank.size(); ++i) {
            for (const QByteArray &other : typeTexts)
                rank[i] += CompareTexts(other, typeTexts[i]) < 0 ? 1 : 0;
        }
        return byWholeNumber([&](quint32 key) { return rank[rowOf(key).typeText]; });
    }
    case CellTalkTime:
        return byWholeNumber([&](quint32 key) { return qint32(rowOf(key).talkedTime); });
    case CellId:
        return byWholeNumber([&](quint32 key) { return qint32(rowOf(key).id); });
    case CellName:
        return byText(Name);
    case CellPhone:
        return byText(Phone);
    case CellRemark:
        return byText(Remark);
    case CellDtmf:
        return byText(Dtmf);
    default:
        break;
    }
    // The names of the recordings are made in buffers of this sort's own, not in thread_local
    // ones: with mingw-w64 a thread_local's destructor runs, as its thread ends, on storage
    // that has already been freed.
    QByteArray nameA, nameB;
    stableSort(keys, [&](quint32 a, quint32 b) {
        const auto [ra, sa] = resolve(a);
        const auto [rb, sb] = resolve(b);
        return Less(column, *ra, int(sa), *rb, int(sb), nameA, nameB);
    });
}

const char *ResultRows::TextEntry(const Row &row, TextField field) const
{
    const char *p = m_blocks[row.block].get() + row.offset;
    quint32 length = 0;
    for (int f = 0; f < field; ++f) {
        p = ReadLength(p, &length);
        p += length;
    }
    return p;
}

QByteArrayView ResultRows::TextAt(const char *entry)
{
    quint32 length = 0;
    const char *p = ReadLength(entry, &length);
    return QByteArrayView(p, qsizetype(length));
}

QByteArrayView ResultRows::Text(const Row &row, TextField field) const
{
    return TextAt(TextEntry(row, field));
}

namespace {

constexpr QByteArrayView kRecordingExtension(".wav");

} // namespace

int ResultRows::UsualNameHead(const Row &row, char (&buffer)[kUsualHeadSize])
{
    if (!row.startValid)
        return 0;
    const OleDate::Parts t = OleDate(row.start).parts();
    if (t.year < 1000 || t.year > 9999)
        return 0;
    // Written straight into the buffer: this runs for every row of a listing.
    char *p = jet::Digits::writeUnsigned(buffer, unsigned(t.year), 4);
    for (const int part : {t.month, t.day, t.hour, t.minute, t.second})
        p = jet::Digits::writeUnsigned(p, unsigned(part), 2);
    *p++ = '_';
    p = jet::Digits::writeUnsigned(p, unsigned(row.line));
    *p++ = '_';
    return int(p - buffer);
}

bool ResultRows::AppendUsualFileName(const Row &row, QByteArrayView phone, QByteArray &out) const
{
    char head[kUsualHeadSize];
    const qsizetype headSize = UsualNameHead(row, head);
    if (headSize == 0)
        return false;
    // One resize and plain copies: each QByteArray append is an out-of-line call.
    const qsizetype at = out.size();
    out.resize(at + headSize + phone.size() + kRecordingExtension.size());
    char *dst = out.data() + at;
    std::memcpy(dst, head, std::size_t(headSize));
    std::memcpy(dst + headSize, phone.data(), std::size_t(phone.size()));
    std::memcpy(dst + headSize + phone.size(), kRecordingExtension.data(), std::size_t(kRecordingExtension.size()));
    return true;
}

bool ResultRows::IsUsualFileName(const Row &row, QByteArrayView phone, QByteArrayView name) const
{
    char head[kUsualHeadSize];
    const qsizetype headSize = UsualNameHead(row, head);
    return headSize > 0 && name.size() == headSize + phone.size() + kRecordingExtension.size()
           && name.startsWith(QByteArrayView(head, headSize)) && name.sliced(headSize).startsWith(phone)
           && name.endsWith(kRecordingExtension);
}

QByteArrayView ResultRows::FileName(const Row &row, QByteArray &scratch) const
{
    if (FileKind(row.file) != FileKind::Usual)
        return Text(row, File);
    AppendUsualFileName(row, Text(row, Phone), scratch);
    return scratch;
}

QString ResultRows::CellText(int row, int position) const
{
    QByteArray text;
    AppendCellUtf8(row, position, text);
    return QString::fromUtf8(text);
}

void ResultRows::AppendCellUtf8(int rowIndex, int position, QByteArray &out) const
{
    if (rowIndex < 0 || rowIndex >= Count())
        return;
    const Row &row = m_rows[size_t(rowIndex)];
    switch (position) {
    case CellNumber:
        jet::Digits::appendSigned(out, row.number);
        return;
    case CellName:
        out += Text(row, Name);
        return;
    case CellType:
        out += m_typeTexts[row.typeText];
        return;
    case CellPhone:
        out += Text(row, Phone);
        return;
    case CellStart:
        CellFormat::AppendStartTime(out, OleDate(row.start, row.startValid ? OleDate::Valid : OleDate::Invalid));
        return;
    case CellTalkTime:
        CellFormat::AppendTalkTime(out, row.talkedTime);
        return;
    case CellSize:
        if (row.size >= 0)
            CellFormat::AppendFileSize(out, row.size);
        return;
    case CellRemark:
        out += Text(row, Remark);
        return;
    case CellFile:
        if (FileKind(row.file) == FileKind::Deleted) {
            out += "DEL";
        } else if (FileKind(row.file) == FileKind::Named) {
            out += m_voiceDirUtf8;
            const qsizetype at = out.size();
            out += Text(row, File);
            // A name in a subfolder is shown with the platform's separators too.
            if (QDir::separator() != u'/')
                std::replace(out.begin() + at, out.end(), '/', char(QDir::separator().unicode()));
        } else if (FileKind(row.file) == FileKind::Usual) {
            out += m_voiceDirUtf8;
            AppendUsualFileName(row, Text(row, Phone), out);
        }
        return;
    case CellId:
        jet::Digits::appendSigned(out, row.id);
        return;
    case CellDtmf:
        out += Text(row, Dtmf);
        return;
    default:
        return;
    }
}

namespace {

inline char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

} // namespace

TextNeedle::TextNeedle(const QString &text) : m_text(text), m_foldedText(text.toCaseFolded())
{
    m_folded = m_foldedText.toUtf8();
    m_usualNameChars = !m_folded.isEmpty();
    for (const char c : std::as_const(m_folded)) {
        if (quint8(c) >= 0x80)
            m_ascii = false;
        if (!((c >= '0' && c <= '9') || c == '_' || c == '.' || c == 'w' || c == 'a' || c == 'v'))
            m_usualNameChars = false;
        if (quint8(c) >= 0x80 || (c >= 'a' && c <= 'z'))
            m_letterless = false;
        if (c < '0' || c > '9')
            m_digits = false;
    }
}

template <typename Counts>
bool TextNeedle::LetterlessIn(QByteArrayView haystack, bool padded, Counts counts) const
{
    const qsizetype n = m_folded.size();
    const char *h = haystack.data();
    const qsizetype last = haystack.size() - n;
    // Texts here are short (names, numbers, a recording's name): two bytes compared in the
    // loop beat a library call per candidate, which digit strings have many of.
    const char a = m_folded[0];
    const char b = n > 1 ? m_folded[1] : 0;
    const auto matches = [&](qsizetype at) {
        return (n == 1
                || (h[at + 1] == b && std::memcmp(h + at + 2, m_folded.constData() + 2, std::size_t(n - 2)) == 0))
               && counts(at);
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen places at a time where the first byte is compared at once: a recording's
    // usual name is looked at for most rows. Past the haystack's end only when the caller
    // says that may be read; places past the last are masked out.
    const __m128i first = _mm_set1_epi8(a);
    for (; padded ? i <= last : i + 15 <= last; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i));
        auto places = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, first)));
        if (n > 1) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(h + i + 1));
            places &= unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(next, _mm_set1_epi8(b))));
        }
        if (last - i < 15)
            places &= (1u << (last - i + 1)) - 1;
        for (; places != 0; places &= places - 1) {
            if (matches(i + std::countr_zero(places)))
                return true;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (h[i] == a && matches(i))
            return true;
    }
    return false;
}

bool TextNeedle::InAny(const QByteArrayView *texts, int count, bool padded) const
{
    if (m_folded.isEmpty())
        return true;
    if (!m_letterless) {
        for (int t = 0; t < count; ++t) {
            if (In(texts[t], padded))
                return true;
        }
        return false;
    }
    // One pass from the first text's start to the last one's end; a place that is not
    // wholly inside one of the texts (it takes in what lies between them) does not count.
    const char *from = texts[0].data();
    const char *to = texts[count - 1].data() + texts[count - 1].size();
    const qsizetype n = m_folded.size();
    return LetterlessIn(QByteArrayView(from, to - from), padded, [&](qsizetype at) {
        const char *place = from + at;
        for (int t = 0; t < count; ++t) {
            if (place >= texts[t].data() && place + n <= texts[t].data() + texts[t].size())
                return true;
        }
        return false;
    });
}

bool TextNeedle::In(QByteArrayView haystack, bool padded) const
{
    const qsizetype n = m_folded.size();
    if (n == 0)
        return true;
    // Digits and signs have no other case, in ASCII or beyond it: the bytes themselves are
    // compared (a number typed into the filter box is looked for in most texts of a million
    // rows at each keystroke).
    if (m_letterless)
        return LetterlessIn(haystack, padded, [](qsizetype) { return true; });
    const char *h = haystack.data();
    const char *const needle = m_folded.constData();
    bool otherThanAscii = false;
    if (haystack.size() >= n) {
        const char first = needle[0];
        const qsizetype last = haystack.size() - n;
        for (qsizetype i = 0; i <= last; ++i) {
            const char c = h[i];
            otherThanAscii |= quint8(c) >= 0x80;
            if (FoldAscii(c) != first)
                continue;
            qsizetype k = 1;
            while (k < n && FoldAscii(h[i + k]) == needle[k])
                ++k;
            if (k == n)
                return true;
        }
        for (qsizetype i = last + 1; i < haystack.size() && !otherThanAscii; ++i)
            otherThanAscii = quint8(h[i]) >= 0x80;
    } else {
        for (qsizetype i = 0; i < haystack.size() && !otherThanAscii; ++i)
            otherThanAscii = quint8(h[i]) >= 0x80;
    }
    // Letters beyond ASCII ("Ş" and "ş") differ in their bytes: compared folded, as text.
    if (!otherThanAscii || m_ascii)
        return false;
    return QString::fromUtf8(haystack).toCaseFolded().contains(m_foldedText);
}

qsizetype TextNeedle::IndexIn(const QString &text) const
{
    if (m_foldedText.isEmpty())
        return -1;
    return text.toCaseFolded().indexOf(m_foldedText);
}

namespace {

// The "YYYYMMDD" of the last day a narrowing made a usual name for, on this thread: rows come
// mostly in start order, so the calendar is worked out once a day, not once a row.
struct DayDigits
{
    std::int64_t day = std::numeric_limits<std::int64_t>::min();
    char digits[8] = {};
};
thread_local DayDigits t_lastDay;

} // namespace

int ResultRows::UsualNameHeadOfDay(const Row &row, char (&buffer)[kUsualHeadSize])
{
    std::int64_t seconds = 0;
    // Far from the ends of the calendar only; there UsualNameHead decides alone.
    if (!row.startValid || row.start < -657000.0 || row.start > 2958000.0
        || !jet::JetDate::toSeconds(row.start, &seconds))
        return UsualNameHead(row, buffer);
    const std::int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    if (day != t_lastDay.day) {
        const int size = UsualNameHead(row, buffer);
        if (size >= 8) {
            t_lastDay.day = day;
            std::memcpy(t_lastDay.digits, buffer, 8);
        }
        return size;
    }
    const auto second = unsigned(seconds - day * 86400);
    char *p = buffer;
    std::memcpy(p, t_lastDay.digits, 8);
    p += 8;
    const auto digits = [&p](unsigned value) {
        p[0] = char('0' + value / 10);
        p[1] = char('0' + value % 10);
        p += 2;
    };
    digits(second / 3600);
    digits(second / 60 % 60);
    digits(second % 60);
    *p++ = '_';
    p = std::to_chars(p, buffer + kUsualHeadSize, unsigned(row.line)).ptr;
    *p++ = '_';
    return int(p - buffer);
}

bool ResultRows::Contains(int rowIndex, const TextNeedle &needle) const
{
    if (needle.isEmpty())
        return true;
    const Row &row = m_rows[size_t(rowIndex)];
    // The texts lie one after another: name, number, remark, DTMF digits, file name.
    const char *p = m_blocks[row.block].get() + row.offset;
    QByteArrayView texts[TextFieldCount];
    for (int f = 0; f < TextFieldCount; ++f) {
        texts[f] = TextAt(p);
        p = texts[f].data() + texts[f].size();
    }
    // Each text is followed by another or by the block's slack: all may be read past their end.
    if (needle.InAny(texts, Remark + 1, true))
        return true;
    switch (FileKind(row.file)) {
    case FileKind::Named:
        return needle.In(texts[File], true);
    case FileKind::Usual: {
        // Start time, line, number, ".wav": the number was looked at already; the rest is
        // made only for a text that could match it.
        if (!needle.MayMatchUsualName())
            return false;
        // Made on the stack: this runs for most rows of a million at every keystroke.
        char name[kUsualHeadSize + 64];
        const int headSize = UsualNameHeadOfDay(row, reinterpret_cast<char(&)[kUsualHeadSize]>(name));
        const QByteArrayView phone = texts[Phone];
        if (headSize == 0 || phone.size() > 60)
            return false;
        // The name is "YYYYMMDDhhmmss_<line>_<number>.wav": digits alone cannot reach over
        // a "_" or into ".wav", so they are in the start time, in the line, or in the number,
        // which was looked at already. The buffer has room to be read past the head.
        if (needle.IsDigits())
            return needle.In(QByteArrayView(name, headSize - 1), true);
        std::memcpy(name + headSize, phone.data(), std::size_t(phone.size()));
        std::memcpy(name + headSize + phone.size(), ".wav", 4);
        return needle.In(QByteArrayView(name, headSize + phone.size() + 4));
    }
    default:
        return false;
    }
}

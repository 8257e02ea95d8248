#include "query/ResultRows.h"

#include "db/record/CallRecord.h"
#include "lang/Ids.h"
#include "query/CellFormat.h"
#include "query/TextOrder.h"

#include <QDir>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr quint32 kBlockSize = 1u << 20;

void appendNumber(QByteArray &out, qint64 value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

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
        m_blocks.push_back(std::shared_ptr<char[]>(new char[m_blockSize]));
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
    return FileKind(r.file) == FileKind::Named && r.size < 0;
}

bool ResultRows::Less(int column, int a, int b) const
{
    const Row &x = m_rows[size_t(a)];
    const Row &y = m_rows[size_t(b)];
    const auto texts = [&](TextField field) { return CompareTexts(Text(x, field), Text(y, field)) < 0; };
    switch (column) {
    case CellNumber:
        return x.number < y.number;
    case CellName:
        return texts(Name);
    case CellType:
        return CompareTexts(m_typeTexts[x.typeText], m_typeTexts[y.typeText]) < 0;
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
            // Kept between calls: a sort compares many names.
            static thread_local QByteArray a, b;
            a.clear();
            b.clear();
            return CompareTexts(FileName(x, a), FileName(y, b)) < 0;
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

void ResultRows::Sort(int column, bool descending, std::vector<quint32> &order) const
{
    // A sort of a million rows compares each some twenty times, and looking a cell up in
    // scattered rows at every comparison made a sort by number take seconds. Whole-number
    // cells are taken out once into (cell, row) pairs; texts are found once per row. Both
    // cost a few megabytes, which the list's memory budget allows; wider keys would not.
    const auto stableSort = [descending](auto &items, auto less) {
        if (descending)
            std::stable_sort(items.begin(), items.end(), [&](const auto &a, const auto &b) { return less(b, a); });
        else
            std::stable_sort(items.begin(), items.end(), less);
    };
    const auto byWholeNumber = [&](auto cellOf) {
        std::vector<std::pair<qint32, quint32>> keyed;
        keyed.reserve(order.size());
        for (const quint32 stored : order)
            keyed.emplace_back(cellOf(m_rows[stored]), stored);
        stableSort(keyed, [](const auto &a, const auto &b) { return a.first < b.first; });
        for (size_t i = 0; i < keyed.size(); ++i)
            order[i] = keyed[i].second;
    };
    const auto byText = [&](TextField field) {
        std::vector<const char *> textOf(m_rows.size());
        for (const quint32 stored : order)
            textOf[stored] = TextEntry(m_rows[stored], field);
        stableSort(order, [&](quint32 a, quint32 b) { return CompareTexts(TextAt(textOf[a]), TextAt(textOf[b])) < 0; });
    };
    switch (column) {
    case CellNumber:
        return byWholeNumber([](const Row &r) { return qint32(r.number); });
    case CellType: {
        std::array<qint32, 3> rank{};
        for (size_t i = 0; i < rank.size(); ++i) {
            for (const QByteArray &other : m_typeTexts)
                rank[i] += CompareTexts(other, m_typeTexts[i]) < 0 ? 1 : 0;
        }
        return byWholeNumber([&rank](const Row &r) { return rank[r.typeText]; });
    }
    case CellTalkTime:
        return byWholeNumber([](const Row &r) { return qint32(r.talkedTime); });
    case CellId:
        return byWholeNumber([](const Row &r) { return qint32(r.id); });
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
    stableSort(order, [&](quint32 a, quint32 b) { return Less(column, int(a), int(b)); });
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
    // Written by hand: this runs for every row of a listing, where snprintf costs a fifth of it.
    char *p = buffer;
    const auto digits = [&p](unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            p[i] = char('0' + value % 10);
        p += width;
    };
    digits(unsigned(t.year), 4);
    for (const int part : {t.month, t.day, t.hour, t.minute, t.second})
        digits(unsigned(part), 2);
    *p++ = '_';
    p = std::to_chars(p, buffer + kUsualHeadSize, unsigned(row.line)).ptr;
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
        appendNumber(out, row.number);
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
        appendNumber(out, row.id);
        return;
    case CellDtmf:
        out += Text(row, Dtmf);
        return;
    default:
        return;
    }
}

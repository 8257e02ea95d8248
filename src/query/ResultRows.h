#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

struct CallRecord;

// A text looked for in the cells of a list, letter case aside (Unicode case folding), made
// once for the many texts it is looked for in: an ASCII text is found by comparing bytes,
// letters folded by hand; other texts where their UTF-8 holds other letters than ASCII.
class TextNeedle
{
public:
    TextNeedle() = default;
    explicit TextNeedle(const QString &text);

    bool isEmpty() const { return m_folded.isEmpty(); }
    const QString &text() const { return m_text; }
    // Whether `haystack` (UTF-8) contains the text. `padded`: 16 bytes past its end may be
    // read (not looked at), which lets a short haystack be compared 16 places at a time.
    bool In(QByteArrayView haystack, bool padded = false) const;
    // Whether one of `count` texts that lie one after another in memory, in this order and
    // with anything between them, contains the text.
    bool InAny(const QByteArrayView *texts, int count, bool padded = false) const;
    // Where the text stands in `text`, letter case aside: the start, or -1.
    qsizetype IndexIn(const QString &text) const;
    // Whether the text holds only characters a recording's usual name is made of besides the
    // number (digits, "_", ".", "w", "a", "v"): only then can it match that part of a name.
    bool MayMatchUsualName() const { return m_usualNameChars; }
    // Whether the text is digits only.
    bool IsDigits() const { return m_digits; }

private:
    // In for a text without letters: `counts(at)` says whether a place where the bytes are
    // the same counts as one where the text stands.
    template <typename Counts>
    bool LetterlessIn(QByteArrayView haystack, bool padded, Counts counts) const;

    QString m_text;
    QString m_foldedText;
    QByteArray m_folded; // UTF-8 of m_foldedText
    bool m_ascii = true;
    bool m_usualNameChars = false;
    bool m_letterless = true; // digits and signs only: no letter case to fold
    bool m_digits = true;
};

// The rows of a search in the compact form the result list keeps them in: per row the
// numbers its eleven cells need (40 bytes), and its texts in UTF-8, each after its length,
// in blocks that never move once written. Cell texts are made when asked for. A recording
// named the way the recorder names them (start time, line, number: see UsualFileName) is
// kept as a flag, not as a text: that is the longest text of nearly every row.
//
// Cells by position: 0 row number, 1 user name, 2 call type, 3 number, 4 start time,
// 5 talk time, 6 file size, 7 remark, 8 recording path (or "DEL", or empty), 9 record id,
// 10 DTMF digits.
//
// A copy shares the text blocks, so that a worker thread can read one storage (the export's
// snapshot) while the list goes on with a copy of its own.
class ResultRows
{
public:
    static constexpr int kCellCount = 11;
    enum Cell : int {
        CellNumber,
        CellName,
        CellType,
        CellPhone,
        CellStart,
        CellTalkTime,
        CellSize,
        CellRemark,
        CellFile,
        CellId,
        CellDtmf,
    };

    // The texts of cell 2 (incoming, outgoing, missed) and the voice folder that cell 8
    // starts with, in UTF-8.
    ResultRows(std::array<QByteArray, 3> typeTexts, QByteArray voiceDirUtf8);

    int Count() const { return static_cast<int>(m_rows.size()); }
    void Reserve(std::size_t rows) { m_rows.reserve(rows); }
    // Moves the rows of `batch` (made with the same texts and voice folder) behind these,
    // with their text blocks: a reader fills a batch on a worker thread, the list takes it
    // on its own.
    void AppendRows(ResultRows &&batch);
    // Appends the row of `record`, shown as number `number`; `fileSize` is the size of its
    // recording, or -1 when it does not open.
    void Append(const CallRecord &record, int number, qint64 fileSize);
    // The number cell 0 shows.
    int Number(int row) const { return m_rows[size_t(row)].number; }
    bool IsMissed(int row) const { return m_rows[size_t(row)].typeText == 2; }
    int TalkedTime(int row) const { return m_rows[size_t(row)].talkedTime; }
    // The start time as a number to order rows of several lists by (days since 1899-12-30);
    // a start that is no valid date comes before all others.
    double StartOrderKey(int row) const;
    // Whether the row names a recording that does not open.
    bool FileMissing(int row) const;
    // The record id of a row.
    qint32 Id(int row) const { return m_rows[size_t(row)].id; }
    // The call type of cell 2: 0 incoming, 1 outgoing, 2 missed.
    int CallType(int row) const { return m_rows[size_t(row)].typeText; }
    // The UTF-8 texts of cells 1 (the user) and 3 (the number), as stored.
    QByteArrayView NameUtf8(int row) const { return Text(m_rows[size_t(row)], Name); }
    QByteArrayView PhoneUtf8(int row) const { return Text(m_rows[size_t(row)], Phone); }

    // Whether row `a` of `x` goes before row `b` of `y` in ascending order of `column`:
    // numbers, sizes and talk times by value, start times by time (one that is not valid
    // first), texts by CompareTexts, and cell 8 empty, then "DEL", then the files by name.
    static bool Less(int column, const ResultRows &x, int a, const ResultRows &y, int b);
    bool Less(int column, int a, int b) const { return Less(column, *this, a, *this, b); }

    // Rows of several storages sorted as one list: each row is named by a key, and the keys
    // of source s are its rows' indexes plus its base (sources in ascending order of base).
    struct Source
    {
        const ResultRows *rows;
        quint32 base;
    };
    // Sorts `keys` by `column` as Less() orders them (reversed when `descending`), keeping
    // the order of rows with equal cells. `numbers`, when given, holds the number cell 0
    // shows for each key (a merged list numbers its rows itself). Throws TaskCancelled when
    // the calling thread's request is cancelled meanwhile.
    static void Sort(const std::vector<Source> &sources, int column, bool descending, std::vector<quint32> &keys,
                     const std::vector<qint32> *numbers = nullptr);
    void Sort(int column, bool descending, std::vector<quint32> &order) const
    {
        Sort({Source{this, 0}}, column, descending, order);
    }

    // Whether the row's user name, number, remark or recording name (without the voice
    // folder) contains `needle`: what narrowing the list as the user types looks at. Reads
    // the stored UTF-8 texts without building any string (fast enough for a million rows a
    // keystroke).
    bool Contains(int row, const TextNeedle &needle) const;

    QString CellText(int row, int position) const;
    // The same text appended to `out` in UTF-8, without building a QString.
    void AppendCellUtf8(int row, int position, QByteArray &out) const;

private:
    enum class FileKind : quint8 { None, Deleted, Named, Usual };
    enum TextField { Name, Phone, Remark, Dtmf, File, TextFieldCount };

    struct Row
    {
        double start;  // record_time_start
        qint64 size;   // bytes of the recording file, -1 when it does not open
        quint32 block; // where the row's texts lie
        quint32 offset;
        qint32 number; // shown in cell 0
        qint32 id;
        qint32 talkedTime;
        quint16 line;        // line_id, for a Usual file name
        quint8 typeText : 2; // 0 incoming, 1 outgoing, 2 missed
        quint8 startValid : 1;
        quint8 file : 2; // FileKind
    };
    static_assert(sizeof(Row) <= 40);

    // The UTF-8 bytes of one of the row's texts.
    QByteArrayView Text(const Row &row, TextField field) const;
    // Where a text is kept: its length, then its bytes.
    const char *TextEntry(const Row &row, TextField field) const;
    static QByteArrayView TextAt(const char *entry);
    // The name the recorder gives the recording of a call, "20110315093012_3_13812345678.wav":
    // start time, line and number; appended to `out`. False when the row's start time has no
    // such form.
    bool AppendUsualFileName(const Row &row, QByteArrayView phone, QByteArray &out) const;
    // Whether `name` is the usual one, without building it.
    bool IsUsualFileName(const Row &row, QByteArrayView phone, QByteArrayView name) const;
    // The name's "YYYYMMDDhhmmss_line_" head, written to `buffer`; its length, 0 when the
    // start time makes none.
    static constexpr int kUsualHeadSize = 32;
    static int UsualNameHead(const Row &row, char (&buffer)[kUsualHeadSize]);
    // The same, the calendar worked out once for the rows of one day (in a row).
    static int UsualNameHeadOfDay(const Row &row, char (&buffer)[kUsualHeadSize]);
    // The recording's name as stored or made again (into `scratch`).
    QByteArrayView FileName(const Row &row, QByteArray &scratch) const;
    // Less(), with the buffers that the names of two recordings are made in (cell 8), kept by
    // the caller from one comparison to the next: a sort compares many names.
    static bool Less(int column, const ResultRows &x, int a, const ResultRows &y, int b, QByteArray &nameA,
                     QByteArray &nameB);
    // A block with room for `bytes` more, started when the last one is full.
    char *Room(quint32 bytes);
    // Gives the last block back its unused room, by copying what it holds into one that fits.
    void TrimLastBlock();

    std::vector<Row> m_rows;
    std::vector<std::shared_ptr<char[]>> m_blocks;
    quint32 m_blockSize = 0; // of the last block
    quint32 m_blockUsed = 0;
    std::array<QByteArray, 3> m_typeTexts;
    QByteArray m_voiceDirUtf8;
};

#pragma once

#include "query/RecordingFolder.h"
#include "query/ResultRows.h"
#include "query/ResultSnapshot.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class TaskRunner;

// What both windows' lists of calls share: the rows of one or more backups (one storage per
// backup, ResultRows), shown in an order of their own, each row a call whose identity
// (CallKey: its backup and its record id) a row action keeps from the click to the moment it
// runs. Cell texts are made when the view asks for them.
//
// Cells by position: 0 row number, 1 user name, 2 call type, 3 number, 4 start time,
// 5 talk time, 6 file size, 7 remark, 8 recording path (or "DEL", or empty), 9 record id,
// 10 DTMF digits. A list may show columns of its own before them (the search's backup
// name); CellText and the rest take cell positions, the view's columns are ColumnOfCell().
//
// A click on a column title sorts on a worker thread: the rows keep their order until the
// new one is ready, a second click replaces the first, and every row keeps its number.
// Asked for while rows still arrive, the sort is made when the last one has come.
class CallListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kCellCount = ResultRows::kCellCount;
    using Cell = ResultRows::Cell;
    using enum ResultRows::Cell;

    // A call as row actions address it.
    struct CallKey
    {
        QString backupDir;
        qint32 id = 0;
        bool isValid() const { return !backupDir.isEmpty(); }
        bool operator==(const CallKey &) const = default;
    };

    // `leadingColumns`: columns shown before the cells, filled by LeadingText().
    explicit CallListModel(int leadingColumns, QObject *parent = nullptr);
    ~CallListModel() override;

    int RowCount() const { return static_cast<int>(m_order.size()); }
    int ColumnOfCell(int position) const { return position + m_leadingColumns; }
    // The cell shown in view column `column`; -1 for a leading column.
    int CellOfColumn(int column) const { return column - m_leadingColumns; }
    int ColumnCount() const { return m_leadingColumns + kCellCount; }

    QString CellText(int row, int position) const;
    // The same text appended to `out` in UTF-8, without building a QString.
    void AppendCellUtf8(int row, int position, QByteArray &out) const;
    // The start time as a number to order rows by (days since 1899-12-30); a start that is
    // no valid date comes before all others.
    double StartOrderKey(int row) const;

    CallKey KeyOf(int row) const;
    // Where the call is shown now; -1 when it is not listed (any more).
    int RowOf(const CallKey &call) const;
    QString BackupName(int row) const;
    QString BackupDir(int row) const;
    // The voice folder of the row's backup.
    RecordingFolder Recordings(int row) const { return RecordingFolder(BackupDir(row)); }
    // Removes one row; the numbers shown in cell 0 of the others do not change.
    void RemoveRow(int row);

    // Of the rows shown: how many are missed calls, and their talk time added up (seconds).
    int MissedCount() const { return m_missedCount; }
    qint64 TotalTalkSeconds() const { return m_talkSeconds; }

    // The rows as they are shown now, for a worker thread: taken once, it reads them without
    // touching the list, and learns which of them the list removes later.
    ResultSnapshot Snapshot();

    // Titles of the view's columns, leading ones first.
    void SetTitles(const QStringList &titles);
    // What rows whose recording file is named but missing show as their text colour
    // (ForegroundRole) and font (FontRole); the window gives a brush and a font, this
    // library knows no colours.
    void SetMutedForeground(const QVariant &brush);
    void SetMutedFont(const QVariant &font) { m_mutedFont = font; }

    // Sorts by view column `column` (-1: the list's own order) on a worker thread; sorted()
    // follows once the list shows the order. Numbers, sizes and talk times by value, start
    // times by time, texts by CompareTexts; rows with equal cells keep the list's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // The same at once, on the calling thread.
    void SortNow(int column, Qt::SortOrder order = Qt::AscendingOrder);
    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    // Whether a sort asked for is not shown yet.
    bool IsSorting() const { return m_sortPending; }
    // Whether rows are still arriving (a sort then waits for the last of them).
    virtual bool IsFilling() const { return false; }

    // Narrowing: only the rows `accepts` passes are shown (the list keeps the others, in
    // their order, and shows them again when the narrowing goes: Narrow(nullptr)). The
    // counts of the status line, the export and the row actions see the rows shown. A
    // narrowing holds for rows that arrive later too, until it is changed.
    using RowPredicate = std::function<bool(const ResultRows &rows, int stored)>;
    void Narrow(RowPredicate accepts);
    bool IsNarrowed() const { return m_narrowed; }
    // The same for a narrowing that passes no row the current one leaves out (a longer text
    // typed into the filter box): only the rows shown now are looked at again.
    void NarrowWithin(RowPredicate accepts);
    // Narrows to the rows whose user name, number, remark or recording name contains `text`,
    // letter case aside (ResultRows::Contains); an empty text shows every row again. A text
    // that holds the last one looks only at the rows shown.
    void NarrowByText(const QString &text);
    const QString &NarrowText() const { return m_narrowText; }
    // How many rows the list holds, shown or not.
    int ListedCount() const { return int(AllKeys().size()); }

    // Keyboard search: the first row at `from` or after (going round to the top) whose text
    // in view column `column` starts with `text`, letter case aside; -1 when there is none.
    // It is answered from an index of the first bytes of the column's texts, made on a worker
    // thread: until that is ready (or while rows still arrive) the answer is kNotReady, and
    // keyboardSearchReady(column) follows once it is.
    static constexpr int kNotReady = -2;
    int FindRowStartingWith(int column, const QString &text, int from);
    // Starts making that index for `column` (the view does when a column becomes current).
    void PrepareKeyboardSearch(int column);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The list shows the order the last sort asked for.
    void sorted();
    // The last rows of a fill have come (IsFilling() turned false).
    void fillEnded();
    // The keyboard search of `column` can be answered now.
    void keyboardSearchReady(int column);

protected:
    // One backup's rows. Keys of its rows run from `base` up, in the order they were stored.
    struct Backup
    {
        QString name;
        QString dir;
        std::shared_ptr<ResultRows> rows;
        quint32 base = 0;
    };

    // The text of leading column `column` of `row`.
    virtual QString LeadingText(int row, int column) const;

    // Drops every row and backup. The rows of a snapshot still being read count as removed
    // unless `keepSnapshots` (a caller that streams its rows out in batches).
    void ClearRows(bool keepSnapshots = false);
    // Adds a backup whose rows come later (AppendRows) or at once; returns its index.
    int AddSource(const QString &name, const QString &dir, std::shared_ptr<ResultRows> rows);
    // The storage of backup `backup`, to be added to: copied first while a sort or a
    // snapshot shares it.
    ResultRows &Writable(int backup);
    // Shows the stored rows first..last of the last backup at the end of the list.
    void ShowAppended(int first, int last);
    // Room for `rows` shown rows, when a fill knows how many will come.
    void ReserveRows(std::size_t rows) { m_order.reserve(rows); }
    // For a merged list: the number each key shows in cell 0 (empty: the storage's own).
    std::vector<qint32> &Numbers() { return m_numbers; }
    // Puts every row of the list in the order of `keys` (a permutation of AllKeys()) and
    // shows those the narrowing passes, keeping the views' current rows and selections on
    // their calls.
    void Reorder(const std::vector<quint32> &keys);
    // Shows exactly `shown` (keys of the list, in their order), keeping the views' current
    // rows and selections on their calls.
    // `narrowing`: only the narrowing changed, not the list's rows or their order.
    // `counts`: those of `shown`, when known already.
    struct Counts
    {
        int passed = 0; // the rows counted
        int missed = 0;
        qint64 talkSeconds = 0;
    };
    void ShowKeys(std::vector<quint32> shown, bool narrowing = false, const Counts *counts = nullptr);
    // After the last rows of a fill have come: says so (fillEnded()), then makes a sort
    // asked for meanwhile.
    void SortAfterFill();

    const Backup &BackupOfKey(quint32 key) const { return m_backups[std::size_t(BackupIndexOfKey(key))]; }
    int BackupIndexOfKey(quint32 key) const;
    quint32 Key(int row) const { return m_order[std::size_t(row)]; }
    int BackupCount() const { return int(m_backups.size()); }
    const Backup &BackupAt(int index) const { return m_backups[std::size_t(index)]; }
    // Every row of the list in its order, narrowed away or not.
    const std::vector<quint32> &AllKeys() const { return m_narrowed ? m_all : m_order; }

private:
    void Count(quint32 key, int sign);
    void Recount();
    bool Accepts(quint32 key) const;
    // The keys of `keys` that the narrowing passes, in their order, and (when asked) their
    // counts.
    std::vector<quint32> Passing(const std::vector<quint32> &keys, Counts *counts = nullptr) const;
    // Marks every key of `keys` 1, and 2 those that pass the narrowing (`narrow`; all when
    // false), whose counts it sums.
    struct Visited
    {
        std::vector<quint8> marks;
        Counts counts;
    };
    Visited Visit(const std::vector<quint32> &keys, bool narrow) const;
    std::vector<ResultRows::Source> SortSources() const;
    void StartSort();
    void ShowSorted(std::vector<quint32> keys);
    // The rows changed: the keyboard search's index is made again when next asked for.
    void DropSearchIndex();

    int m_leadingColumns;
    std::vector<Backup> m_backups;
    // The rows shown, by key; while narrowed, m_all holds every row of the list.
    std::vector<quint32> m_order;
    std::vector<quint32> m_all;
    bool m_narrowed = false;
    RowPredicate m_accepts;
    std::vector<qint32> m_numbers;
    int m_sortColumn = -1; // a view column
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sortPending = false;
    bool m_countsStale = false;
    TaskRunner *m_sortRunner = nullptr;
    TaskRunner *m_indexRunner = nullptr;
    // The keyboard search's index: per key, the first four bytes of the case-folded UTF-8
    // text of column m_searchColumn (-1: none made or being made); longer texts typed are
    // checked whole on the rows whose first bytes match. Four bytes keep the list within its
    // memory budget: a million rows take 4 MB, and as much again in the order shown.
    std::vector<quint32> m_searchIndex;
    // The same in the order of the rows shown, made from it when asked after the rows moved.
    std::vector<quint32> m_searchByRow;
    bool m_searchByRowStale = true;
    int m_searchColumn = -1;
    int m_searchIndexWanted = -1;
    int m_missedCount = 0;
    qint64 m_talkSeconds = 0;
    QVariant m_mutedForeground;
    QVariant m_mutedFont;
    QString m_narrowText;
    // The rows shown for the last few texts of NarrowByText, newest first, while the list's
    // rows and their order stay as they were.
    struct NarrowCacheEntry
    {
        QString text;
        std::vector<quint32> shown;
    };
    static constexpr std::size_t kNarrowCacheSize = 3;
    std::vector<NarrowCacheEntry> m_narrowCache;
    bool m_narrowCacheValid = false;
    void DropNarrowCache();
    QStringList m_titles;
    // Of the snapshots handed out that may still be read (an export's, the statistics').
    std::vector<std::weak_ptr<ResultSnapshot::Removals>> m_removalsWatches;
};

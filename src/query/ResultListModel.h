#pragma once

#include "db/exec/ScanReport.h"
#include "query/RecordingFolder.h"
#include "query/ResultRows.h"
#include "query/ResultSnapshot.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class CAdoDb;
class CAdoRecordR;

// The rows of a search, one per call record, as the result list shows them. The rows live in
// a compact storage (ResultRows: numbers, and the texts in UTF-8) and the cell texts are made
// when asked for: a million rows take well under 100 MB.
//
// Cells by position: 0 row number, 1 user name, 2 call type, 3 number, 4 start time,
// 5 talk time, 6 file size, 7 remark, 8 recording path (or "DEL", or empty), 9 record id,
// 10 DTMF digits. Playback, deletion and the export read rows back through CellText; the
// export's worker reads a Snapshot() instead.
//
// Rows are shown in the statement's order until the list is sorted by a column; a sort
// reorders a permutation of row indexes, never the rows, and every row keeps the number
// its search gave it. Row arguments are always positions as shown.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kCellCount = ResultRows::kCellCount;
    using Cell = ResultRows::Cell;
    using enum ResultRows::Cell;

    explicit ResultListModel(QObject *parent = nullptr);
    ~ResultListModel() override;

    // The backup directory (ending in "/") that recording paths are built under.
    void SetBackupDir(const QString &backupDir);
    const QString &BackupDir() const { return m_backupDir; }
    RecordingFolder &Recordings() { return m_recordings; }

    // Runs `statement` on `db` and replaces all rows with its result; a statement that
    // fails leaves the list empty.
    void FillResultList(CAdoDb &db, const QString &statement);

    // The same in steps, so that a window stays responsive while a large result arrives:
    // BeginFill clears the list and runs the statement (false when it fails), FillMore
    // appends up to `maxRows` rows and tells whether more remain.
    bool BeginFill(CAdoDb &db, const QString &statement);
    bool FillMore(int maxRows);
    bool IsFilling() const { return m_cursor != nullptr; }
    // How many rows the statement of the last BeginFill returns in all (-1 before one ran),
    // for showing progress.
    qint64 ExpectedRowCount() const { return m_expectedRows; }
    // Stops a fill in progress; the rows read so far stay.
    void EndFill();
    // How completely the database could be read by the last fill, once it has ended.
    const ScanReport &LastScanReport() const { return m_scanReport; }

    int RowCount() const { return static_cast<int>(m_order.size()); }
    QString CellText(int row, int position) const;
    // The row's start time as a number to order rows of several lists by (days since
    // 1899-12-30); a start that is no valid date comes before all others.
    double StartOrderKey(int row) const;
    // The same text appended to `out` in UTF-8, without building a QString (for callers
    // that write many rows).
    void AppendCellUtf8(int row, int position, QByteArray &out) const;
    // Removes one row; the numbers shown in cell 0 of the others do not change.
    void RemoveRow(int row);
    // Drops the rows read so far while a fill goes on numbering from where it was, for a
    // caller that streams the rows out in batches (the command line).
    void ForgetRows();

    // The rows as they are shown now, for a worker thread: taken once, it reads them without
    // touching the list, and learns which of them the list removes later.
    ResultSnapshot Snapshot();

    // Column titles by position, as the window sets them.
    void SetTitles(const QStringList &titles);
    // What rows whose recording file is named but missing show as their text colour
    // (ForegroundRole); the window gives a brush, this library knows no colours.
    void SetMutedForeground(const QVariant &brush);

    // Sorts by the cells of `column`: numbers, sizes and talk times by value, start times
    // by time, texts by CompareTexts; rows with equal cells keep the statement's order. A
    // column of -1 brings the statement's order back. Asked for while rows still arrive,
    // the sort is made when the last one has come.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return m_sortColumn; }

    // Of the rows shown: how many are missed calls, and their talk time added up (seconds).
    int MissedCount() const { return m_missedCount; }
    qint64 TotalTalkSeconds() const { return m_talkSeconds; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void Clear();
    // New, empty storage for the texts of the current language and voice folder.
    void NewStorage();
    // The storage, to be added to: copied first while a snapshot shares it.
    ResultRows &Writable();
    void ApplySort();
    int Stored(int row) const { return int(m_order[size_t(row)]); }
    void Count(int stored, int sign);

    QString m_backupDir;
    RecordingFolder m_recordings;
    // Rows in the order they were read; a removed row stays here until the next search.
    std::shared_ptr<ResultRows> m_rows;
    // The rows shown, by their index in m_rows.
    std::vector<quint32> m_order;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_missedCount = 0;
    qint64 m_talkSeconds = 0;
    QVariant m_mutedForeground;
    std::array<QByteArray, 3> m_typeTexts; // incoming, outgoing, missed, UTF-8: looked up once per fill
    QStringList m_titles;
    std::weak_ptr<ResultSnapshot::Removals> m_removalsWatch; // of the last snapshot handed out

    CAdoDb *m_db = nullptr;
    std::unique_ptr<CAdoRecordR> m_cursor;
    int m_nextNumber = 1;
    ScanReport m_scanReport;
    qint64 m_expectedRows = -1;
};

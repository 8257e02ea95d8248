#pragma once

#include "db/OleDate.h"
#include "db/ScanReport.h"
#include "query/RecordingFolder.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class CAdoDb;
class CAdoRecordR;
struct CallRecord;

// The rows of a search, one per call record, as the result list shows them. Each row keeps
// just what its eleven cells need, in a compact form (numbers, and the texts in UTF-8 in a
// shared arena), and the cell texts are made when asked for: a million rows fit in well
// under 200 MB.
//
// Cells by position: 0 row number, 1 user name, 2 call type, 3 number, 4 start time,
// 5 talk time, 6 file size, 7 remark, 8 recording path (or "DEL", or empty), 9 record id,
// 10 DTMF digits. Playback, deletion and the export read rows back through CellText.
//
// Rows are shown in the statement's order until the list is sorted by a column; a sort
// reorders a permutation of row indexes, never the rows, and every row keeps the number
// its search gave it. Row arguments are always positions as shown.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT

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
    enum class FileKind : quint8 { None, Deleted, Named };
    enum TextField { Name, Phone, Remark, Dtmf, File, TextFieldCount };

    struct Row
    {
        double start;  // record_time_start
        qint64 size;   // bytes of the recording file, -1 when it does not open
        quint32 block; // where the row's texts lie in the arena
        quint32 offset;
        std::array<quint32, TextFieldCount> length;
        qint32 number; // shown in cell 0
        qint32 id;
        qint32 talkedTime;
        quint8 typeText; // 0 incoming, 1 outgoing, 2 missed
        bool startValid;
        FileKind file;
    };

    void Clear();
    void Append(const CallRecord &record);
    void ApplySort();
    // Whether the row stored at `a` goes before the one at `b` in ascending order of `column`.
    bool StoredRowLess(int column, quint32 a, quint32 b) const;
    const Row &Shown(int row) const { return m_rows[m_order[size_t(row)]]; }
    void Count(const Row &row, int sign);
    // The UTF-8 bytes of one of the row's texts.
    QByteArrayView Text(const Row &row, TextField field) const;

    QString m_backupDir;
    RecordingFolder m_recordings;
    // Rows in the order they were read; a removed row stays here until the next search.
    std::vector<Row> m_rows;
    // The rows shown, by their index in m_rows.
    std::vector<quint32> m_order;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_missedCount = 0;
    qint64 m_talkSeconds = 0;
    QVariant m_mutedForeground;
    // The texts of all rows, UTF-8, in blocks that never move once written.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::vector<quint32> m_blockSizes;
    quint32 m_blockUsed = 0;
    std::array<QByteArray, 3> m_typeTexts; // incoming, outgoing, missed, UTF-8: looked up once per fill
    QByteArray m_voiceDirUtf8;
    QStringList m_titles;

    CAdoDb *m_db = nullptr;
    std::unique_ptr<CAdoRecordR> m_cursor;
    int m_nextNumber = 1;
    ScanReport m_scanReport;
    qint64 m_expectedRows = -1;
};

#pragma once

#include "query/ResultListModel.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The rows of a search over many backups as one list: column 0 the backup's name, then the
// eleven cells of the query window's list. Rows are ordered by start time across all
// backups; equal start times keep the catalogue's order of the backups (and each backup's
// own order). Cell 0 numbers the rows 1..n over the whole list, renumbered whenever the
// rows of another backup come in; a deleted row leaves a gap until then, as in the query
// window.
//
// The rows themselves stay in one ResultListModel per backup, which playback and deletion
// work on; a row removed there (RecordActions::DeleteRecord) leaves this list as well.
class BackupSearchModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 1 + ResultListModel::kCellCount;
    // Column of cell `position` of the query window's list.
    static constexpr int ColumnOfCell(int position) { return position + 1; }

    explicit BackupSearchModel(QObject *parent = nullptr);
    ~BackupSearchModel() override;

    // Drops all rows and backups.
    void Clear();
    // Merges the rows of the backup at catalogue position `catalogueIndex` into the list.
    void AddBackup(int catalogueIndex, const QString &name, const QString &dir, std::unique_ptr<ResultListModel> rows);

    int RowCount() const { return int(m_entries.size()); }
    // The text of a column: 0 the backup's name, 1..11 the query window's cells 0..10.
    QString CellText(int row, int column) const;
    QString BackupName(int row) const;
    QString BackupDir(int row) const;
    // The backup's own list that holds `row`, and the row's place in it.
    ResultListModel &BackupRows(int row) const;
    int RowInBackup(int row) const;

    // Of all rows: how many are missed calls, and their talk time added up (seconds).
    int MissedCount() const;
    qint64 TotalTalkSeconds() const;

    void SetTitles(const QStringList &titles);
    void SetMutedForeground(const QVariant &brush);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Backup
    {
        int catalogueIndex;
        QString name;
        QString dir;
        std::unique_ptr<ResultListModel> rows;
    };
    struct Entry
    {
        double start;  // ResultListModel::StartOrderKey
        int backup;    // index in m_backups
        int position;  // row in that backup's list
        int number;    // shown in cell 0
        int catalogue; // the backup's catalogue position, for equal start times
    };

    // Mirrors the removal of rows first..last from the list of backup `backup`.
    void OnBackupRowsRemoved(int backup, int first, int last);

    std::vector<Backup> m_backups;
    std::vector<Entry> m_entries;
    QStringList m_titles;
    QVariant m_mutedForeground;
};

#pragma once

#include "query/CallListModel.h"

#include <QString>

#include <memory>
#include <vector>

// The rows of a search over many backups as one list: column 0 the backup's name, then the
// eleven cells of the query window's list. Rows are ordered by start time across all
// backups; equal start times keep the catalogue's order of the backups (and each backup's
// own order). Cell 0 numbers the rows 1..n over the whole list, renumbered whenever the
// rows of another backup come in; a deleted row leaves a gap until then, as in the query
// window. A sort asked for while backups are still being searched is made once the search
// has ended.
class BackupSearchModel : public CallListModel
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 1 + kCellCount;
    // Column of cell `position` of the query window's list.
    static constexpr int ColumnOfCell(int position) { return position + 1; }

    explicit BackupSearchModel(QObject *parent = nullptr);
    ~BackupSearchModel() override;

    // Drops all rows and backups.
    void Clear();
    // Merges the rows of the backup at catalogue position `catalogueIndex` into the list.
    void AddBackup(int catalogueIndex, const QString &name, const QString &dir, std::shared_ptr<ResultRows> rows);

    // While true, rows are still to come: a sort waits for the end.
    void SetSearching(bool searching);
    bool IsFilling() const override { return m_searching; }

protected:
    QString LeadingText(int row, int column) const override;

private:
    std::vector<int> m_catalogue; // of each backup, by its index in the list
    bool m_searching = false;
};

#include "query/BackupSearchModel.h"

#include <algorithm>

namespace {
bool goesBefore(double startA, int catalogueA, double startB, int catalogueB)
{
    if (startA != startB)
        return startA < startB;
    return catalogueA < catalogueB;
}
} // namespace

BackupSearchModel::BackupSearchModel(QObject *parent) : QAbstractTableModel(parent)
{
    for (int i = 0; i < kColumnCount; ++i)
        m_titles << QStringLiteral(" ");
}

BackupSearchModel::~BackupSearchModel() = default;

void BackupSearchModel::Clear()
{
    beginResetModel();
    m_entries.clear();
    for (Backup &backup : m_backups)
        backup.rows->disconnect(this);
    m_backups.clear();
    endResetModel();
}

void BackupSearchModel::AddBackup(int catalogueIndex, const QString &name, const QString &dir,
                                  std::unique_ptr<ResultListModel> rows)
{
    if (!rows)
        return;
    rows->setParent(nullptr);
    rows->SetMutedForeground(m_mutedForeground);
    const int backup = int(m_backups.size());
    const int count = rows->RowCount();
    ResultListModel *list = rows.get();
    m_backups.push_back(Backup{catalogueIndex, name, dir, std::move(rows)});
    connect(list, &QAbstractItemModel::rowsRemoved, this,
            [this, backup](const QModelIndex &, int first, int last) { OnBackupRowsRemoved(backup, first, last); });
    if (count == 0)
        return;

    // The new rows go to the end first, then one merge puts every row in its place.
    std::vector<Entry> added;
    added.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        added.push_back(Entry{list->StartOrderKey(i), backup, i, 0, catalogueIndex});
    // Each backup's rows come in start order already; a stable sort keeps its ties.
    std::stable_sort(added.begin(), added.end(), [](const Entry &a, const Entry &b) { return a.start < b.start; });
    const int oldCount = RowCount();
    beginInsertRows(QModelIndex(), oldCount, oldCount + count - 1);
    m_entries.insert(m_entries.end(), added.begin(), added.end());
    endInsertRows();

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Merge by position, so that the old place of every row is known for the view.
    std::vector<int> order(m_entries.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::inplace_merge(order.begin(), order.begin() + oldCount, order.end(), [this](int a, int b) {
        const Entry &x = m_entries[size_t(a)];
        const Entry &y = m_entries[size_t(b)];
        return goesBefore(x.start, x.catalogue, y.start, y.catalogue);
    });
    std::vector<Entry> merged;
    merged.reserve(m_entries.size());
    std::vector<int> newPlace(m_entries.size());
    for (size_t i = 0; i < order.size(); ++i) {
        merged.push_back(m_entries[size_t(order[i])]);
        merged.back().number = int(i) + 1;
        newPlace[size_t(order[i])] = int(i);
    }
    m_entries.swap(merged);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after << this->index(newPlace[size_t(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BackupSearchModel::OnBackupRowsRemoved(int backup, int first, int last)
{
    const int removed = last - first + 1;
    for (int row = RowCount() - 1; row >= 0; --row) {
        Entry &entry = m_entries[size_t(row)];
        if (entry.backup != backup || entry.position < first)
            continue;
        if (entry.position > last) {
            entry.position -= removed;
            continue;
        }
        beginRemoveRows(QModelIndex(), row, row);
        m_entries.erase(m_entries.begin() + row);
        endRemoveRows();
    }
}

QString BackupSearchModel::CellText(int row, int column) const
{
    const Entry &entry = m_entries[size_t(row)];
    if (column == 0)
        return m_backups[size_t(entry.backup)].name;
    if (column == ColumnOfCell(ResultListModel::CellNumber))
        return QString::number(entry.number);
    return m_backups[size_t(entry.backup)].rows->CellText(entry.position, column - 1);
}

QString BackupSearchModel::BackupName(int row) const
{
    return m_backups[size_t(m_entries[size_t(row)].backup)].name;
}

QString BackupSearchModel::BackupDir(int row) const
{
    return m_backups[size_t(m_entries[size_t(row)].backup)].dir;
}

ResultListModel &BackupSearchModel::BackupRows(int row) const
{
    return *m_backups[size_t(m_entries[size_t(row)].backup)].rows;
}

int BackupSearchModel::RowInBackup(int row) const
{
    return m_entries[size_t(row)].position;
}

int BackupSearchModel::MissedCount() const
{
    int count = 0;
    for (const Backup &backup : m_backups)
        count += backup.rows->MissedCount();
    return count;
}

qint64 BackupSearchModel::TotalTalkSeconds() const
{
    qint64 seconds = 0;
    for (const Backup &backup : m_backups)
        seconds += backup.rows->TotalTalkSeconds();
    return seconds;
}

void BackupSearchModel::SetTitles(const QStringList &titles)
{
    for (int i = 0; i < kColumnCount && i < titles.size(); ++i)
        m_titles[i] = titles.at(i);
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void BackupSearchModel::SetMutedForeground(const QVariant &brush)
{
    m_mutedForeground = brush;
    for (Backup &backup : m_backups)
        backup.rows->SetMutedForeground(brush);
}

int BackupSearchModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int BackupSearchModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant BackupSearchModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return CellText(index.row(), index.column());
    // Other roles (the muted colour of a missing recording) are the backup list's.
    const Entry &entry = m_entries[size_t(index.row())];
    const ResultListModel &rows = *m_backups[size_t(entry.backup)].rows;
    return rows.data(rows.index(entry.position, std::max(index.column() - 1, 0)), role);
}

QVariant BackupSearchModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return m_titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

#include "query/BackupSearchModel.h"

#include <algorithm>
#include <numeric>

BackupSearchModel::BackupSearchModel(QObject *parent) : CallListModel(1, parent) {}

BackupSearchModel::~BackupSearchModel() = default;

void BackupSearchModel::Clear()
{
    ClearRows();
    m_catalogue.clear();
}

void BackupSearchModel::SetSearching(bool searching)
{
    m_searching = searching;
    if (!searching)
        SortAfterFill();
}

QString BackupSearchModel::LeadingText(int row, int) const
{
    return BackupName(row);
}

void BackupSearchModel::AddBackup(int catalogueIndex, const QString &name, const QString &dir,
                                  std::shared_ptr<ResultRows> rows)
{
    if (!rows)
        return;
    AddSource(name, dir, rows);
    m_catalogue.push_back(catalogueIndex);
    const int count = rows->Count();
    std::vector<qint32> &numbers = Numbers();
    numbers.resize(numbers.size() + std::size_t(count));
    if (count == 0)
        return;

    // The new rows go to the end first, then one merge puts every row in its place.
    const int oldCount = ListedCount();
    ShowAppended(0, count - 1);
    std::vector<quint32> keys = AllKeys();
    const auto startOf = [this](quint32 key) {
        const Backup &b = BackupOfKey(key);
        return b.rows->StartOrderKey(int(key - b.base));
    };
    const auto catalogueOf = [this](quint32 key) { return m_catalogue[std::size_t(BackupIndexOfKey(key))]; };
    // Each backup's rows come in start order already; a stable sort keeps its ties.
    std::stable_sort(keys.begin() + oldCount, keys.end(),
                     [&](quint32 a, quint32 b) { return startOf(a) < startOf(b); });
    std::inplace_merge(keys.begin(), keys.begin() + oldCount, keys.end(), [&](quint32 a, quint32 b) {
        const double sa = startOf(a);
        const double sb = startOf(b);
        if (sa != sb)
            return sa < sb;
        return catalogueOf(a) < catalogueOf(b);
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        numbers[keys[i]] = qint32(i + 1);
    Reorder(keys);
}

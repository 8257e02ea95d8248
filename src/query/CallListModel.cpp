#include "query/CallListModel.h"

#include "db/jet/Digits.h"

#include "query/TextOrder.h"
#include "task/TaskPool.h"
#include "task/TaskRunner.h"

#include <algorithm>
#include <cstring>
#include <numeric>

CallListModel::CallListModel(int leadingColumns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_leadingColumns(leadingColumns)
    , m_sortRunner(new TaskRunner(this))
    , m_indexRunner(new TaskRunner(this))
{
    for (int i = 0; i < ColumnCount(); ++i)
        m_titles << QStringLiteral(" ");
}

CallListModel::~CallListModel() = default;

int CallListModel::BackupIndexOfKey(quint32 key) const
{
    if (m_backups.size() == 1)
        return 0;
    const auto next = std::upper_bound(m_backups.begin(), m_backups.end(), key,
                                       [](quint32 k, const Backup &b) { return k < b.base; });
    return int(next - m_backups.begin()) - 1;
}

QString CallListModel::CellText(int row, int position) const
{
    QByteArray text;
    AppendCellUtf8(row, position, text);
    return QString::fromUtf8(text);
}

void CallListModel::AppendCellUtf8(int row, int position, QByteArray &out) const
{
    if (row < 0 || row >= RowCount())
        return;
    const quint32 key = Key(row);
    if (!m_numbers.empty() && position == CellNumber) {
        jet::Digits::appendSigned(out, m_numbers[key]);
        return;
    }
    const Backup &backup = BackupOfKey(key);
    backup.rows->AppendCellUtf8(int(key - backup.base), position, out);
}

double CallListModel::StartOrderKey(int row) const
{
    const Backup &backup = BackupOfKey(Key(row));
    return backup.rows->StartOrderKey(int(Key(row) - backup.base));
}

CallListModel::CallKey CallListModel::KeyOf(int row) const
{
    if (row < 0 || row >= RowCount())
        return {};
    const Backup &backup = BackupOfKey(Key(row));
    return CallKey{backup.dir, backup.rows->Id(int(Key(row) - backup.base))};
}

int CallListModel::RowOf(const CallKey &call) const
{
    if (!call.isValid())
        return -1;
    for (const Backup &backup : m_backups) {
        if (backup.dir != call.backupDir)
            continue;
        const quint32 first = backup.base;
        const quint32 end = backup.base + quint32(backup.rows->Count());
        for (int row = 0; row < RowCount(); ++row) {
            const quint32 key = Key(row);
            if (key >= first && key < end && backup.rows->Id(int(key - first)) == call.id)
                return row;
        }
    }
    return -1;
}

QString CallListModel::BackupName(int row) const
{
    return BackupOfKey(Key(row)).name;
}

QString CallListModel::BackupDir(int row) const
{
    return BackupOfKey(Key(row)).dir;
}

void CallListModel::Recount()
{
    const Counts counts = Visit(m_order, false).counts;
    m_missedCount = counts.missed;
    m_talkSeconds = counts.talkSeconds;
}

CallListModel::Visited CallListModel::Visit(const std::vector<quint32> &keys, bool narrow) const
{
    // The rows are looked at in the order they are stored, not in the order shown (a list
    // sorted by number would read its storage at random, which took a third of a keystroke
    // in the filter box over a million rows), by the pool's threads as well for a long
    // list, each slice counting what passes.
    Visited visited;
    if (m_backups.empty())
        return visited;
    const std::size_t keyCount = m_backups.back().base + std::size_t(m_backups.back().rows->Count());
    visited.marks.assign(keyCount, 0);
    for (const quint32 key : keys) {
        if (key < keyCount)
            visited.marks[key] = 1;
    }
    constexpr std::size_t kSlice = 1u << 16;
    const std::size_t slices = (keyCount + kSlice - 1) / kSlice;
    std::vector<Counts> sums(slices);
    const auto look = [&](std::size_t slice) {
        const std::size_t end = std::min(keyCount, (slice + 1) * kSlice);
        Counts counts;
        int backup = BackupIndexOfKey(quint32(slice * kSlice));
        for (std::size_t key = slice * kSlice; key < end; ++key) {
            while (backup + 1 < BackupCount() && key >= m_backups[std::size_t(backup) + 1].base)
                ++backup;
            if (!visited.marks[key])
                continue;
            const Backup &b = m_backups[std::size_t(backup)];
            const int stored = int(key - b.base);
            if (narrow && m_accepts && !m_accepts(*b.rows, stored))
                continue;
            visited.marks[key] = 2;
            ++counts.passed;
            counts.missed += b.rows->IsMissed(stored) ? 1 : 0;
            counts.talkSeconds += b.rows->TalkedTime(stored);
        }
        sums[slice] = counts;
    };
    if (slices <= 1)
        look(0);
    else
        TaskPool::shared().forEach(slices, 0, look);
    for (const Counts &counts : sums) {
        visited.counts.passed += counts.passed;
        visited.counts.missed += counts.missed;
        visited.counts.talkSeconds += counts.talkSeconds;
    }
    return visited;
}

bool CallListModel::Accepts(quint32 key) const
{
    if (!m_accepts)
        return true;
    const Backup &backup = BackupOfKey(key);
    return m_accepts(*backup.rows, int(key - backup.base));
}

void CallListModel::Narrow(RowPredicate accepts)
{
    if (!accepts && !m_narrowed)
        return;
    const std::vector<quint32> all = AllKeys();
    m_accepts = std::move(accepts);
    m_narrowed = bool(m_accepts);
    if (m_narrowed)
        m_all = all;
    else
        m_all.clear();
    // The same rows in the same order, with those the narrowing passes shown.
    if (!m_narrowed)
        m_order = all;
    m_countsStale = true;
    if (m_narrowed) {
        Counts counts;
        std::vector<quint32> shown = Passing(m_all, &counts);
        ShowKeys(std::move(shown), true, &counts);
    } else {
        ShowKeys(all, true);
    }
}

void CallListModel::DropNarrowCache()
{
    m_narrowCache.clear();
    m_narrowCacheValid = false;
}

std::vector<quint32> CallListModel::Passing(const std::vector<quint32> &keys, Counts *counts) const
{
    if (!m_accepts) {
        if (counts)
            *counts = Visit(keys, false).counts;
        return keys;
    }
    const Visited visited = Visit(keys, true);
    if (counts)
        *counts = visited.counts;
    std::vector<quint32> shown;
    shown.reserve(std::size_t(visited.counts.passed));
    for (const quint32 key : keys) {
        if (key < visited.marks.size() && visited.marks[key] == 2)
            shown.push_back(key);
    }
    return shown;
}

void CallListModel::NarrowWithin(RowPredicate accepts)
{
    if (!m_narrowed || !accepts) {
        Narrow(std::move(accepts));
        return;
    }
    m_accepts = std::move(accepts);
    Counts counts;
    std::vector<quint32> shown = Passing(m_order, &counts);
    ShowKeys(std::move(shown), true, &counts);
}

void CallListModel::NarrowByText(const QString &text)
{
    if (text == m_narrowText && (m_narrowed || text.isEmpty()))
        return;
    const bool within = m_narrowed && !m_narrowText.isEmpty() && text.contains(m_narrowText, Qt::CaseInsensitive);
    // The rows the last texts gave, while the list's rows are the same: a letter typed and
    // taken back again (Backspace) costs nothing.
    if (m_narrowed && !m_narrowText.isEmpty() && m_narrowCacheValid) {
        std::erase_if(m_narrowCache, [this](const NarrowCacheEntry &e) { return e.text == m_narrowText; });
        m_narrowCache.insert(m_narrowCache.begin(), NarrowCacheEntry{m_narrowText, m_order});
        if (m_narrowCache.size() > kNarrowCacheSize)
            m_narrowCache.pop_back();
    }
    m_narrowText = text;
    if (text.isEmpty()) {
        Narrow(nullptr);
        return;
    }
    auto needle = std::make_shared<const TextNeedle>(text);
    RowPredicate accepts = [needle](const ResultRows &rows, int stored) { return rows.Contains(stored, *needle); };
    if (m_narrowCacheValid) {
        for (NarrowCacheEntry &entry : m_narrowCache) {
            if (entry.text != text)
                continue;
            std::vector<quint32> shown = std::move(entry.shown);
            std::erase_if(m_narrowCache, [&text](const NarrowCacheEntry &e) { return e.text == text; });
            if (!m_narrowed) {
                m_all = m_order;
                m_narrowed = true;
            }
            m_accepts = std::move(accepts);
            ShowKeys(std::move(shown), true);
            return;
        }
    }
    if (within)
        NarrowWithin(std::move(accepts));
    else
        Narrow(std::move(accepts));
    m_narrowCacheValid = true;
}

void CallListModel::Count(quint32 key, int sign)
{
    const Backup &backup = BackupOfKey(key);
    const int stored = int(key - backup.base);
    if (backup.rows->IsMissed(stored))
        m_missedCount += sign;
    m_talkSeconds += sign * qint64(backup.rows->TalkedTime(stored));
}

void CallListModel::RemoveRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    DropNarrowCache();
    beginRemoveRows(QModelIndex(), row, row);
    const quint32 key = Key(row);
    for (const auto &watch : m_removalsWatches) {
        if (const auto removals = watch.lock())
            removals->Mark(key);
    }
    Count(key, -1);
    m_order.erase(m_order.begin() + row);
    m_searchByRowStale = true;
    if (m_narrowed)
        std::erase(m_all, key);
    endRemoveRows();
}

ResultSnapshot CallListModel::Snapshot()
{
    std::vector<ResultSnapshot::Source> sources;
    for (const Backup &backup : m_backups)
        sources.push_back(ResultSnapshot::Source{backup.rows, backup.base, backup.name});
    auto numbers = m_numbers.empty() ? nullptr : std::make_shared<const std::vector<qint32>>(m_numbers);
    ResultSnapshot snapshot(std::move(sources), m_order, std::move(numbers));
    std::erase_if(m_removalsWatches, [](const auto &watch) { return watch.expired(); });
    m_removalsWatches.push_back(snapshot.RemovalsWatch());
    return snapshot;
}

void CallListModel::SetTitles(const QStringList &titles)
{
    for (int i = 0; i < ColumnCount() && i < titles.size(); ++i)
        m_titles[i] = titles.at(i);
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount() - 1);
}

void CallListModel::SetMutedForeground(const QVariant &brush)
{
    m_mutedForeground = brush;
}

QString CallListModel::LeadingText(int, int) const
{
    return QString();
}

void CallListModel::ClearRows(bool keepSnapshots)
{
    // The rows of a snapshot still being written leave the list with all the others.
    for (const auto &watch : m_removalsWatches) {
        if (const auto removals = watch.lock(); removals && !keepSnapshots)
            removals->MarkAll();
    }
    m_removalsWatches.clear();
    m_sortRunner->cancel();
    DropSearchIndex();
    DropNarrowCache();
    beginResetModel();
    m_order.clear();
    m_order.shrink_to_fit();
    m_all.clear();
    m_all.shrink_to_fit();
    m_numbers.clear();
    m_numbers.shrink_to_fit();
    m_backups.clear();
    // A new search shows the list's own order.
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
    m_sortPending = false;
    m_missedCount = 0;
    m_talkSeconds = 0;
    endResetModel();
}

int CallListModel::AddSource(const QString &name, const QString &dir, std::shared_ptr<ResultRows> rows)
{
    quint32 base = 0;
    if (!m_backups.empty())
        base = m_backups.back().base + quint32(m_backups.back().rows->Count());
    m_backups.push_back(Backup{name, dir, std::move(rows), base});
    return BackupCount() - 1;
}

ResultRows &CallListModel::Writable(int backup)
{
    std::shared_ptr<ResultRows> &rows = m_backups[std::size_t(backup)].rows;
    // A sort or a snapshot on another thread keeps reading the storage as it was.
    if (rows.use_count() > 1)
        rows = std::make_shared<ResultRows>(*rows);
    return *rows;
}

void CallListModel::ShowAppended(int first, int last)
{
    if (last < first)
        return;
    const quint32 base = m_backups.back().base;
    DropSearchIndex();
    DropNarrowCache();
    std::vector<quint32> shown;
    shown.reserve(std::size_t(last - first + 1));
    for (int stored = first; stored <= last; ++stored) {
        const quint32 key = base + quint32(stored);
        if (m_narrowed)
            m_all.push_back(key);
        if (!m_narrowed || Accepts(key))
            shown.push_back(key);
    }
    if (shown.empty())
        return;
    m_searchByRowStale = true;
    beginInsertRows(QModelIndex(), RowCount(), RowCount() + int(shown.size()) - 1);
    for (const quint32 key : shown) {
        m_order.push_back(key);
        Count(key, 1);
    }
    endInsertRows();
}

void CallListModel::Reorder(const std::vector<quint32> &keys)
{
    if (!m_narrowed) {
        ShowKeys(keys);
        return;
    }
    m_all = keys;
    Counts counts;
    std::vector<quint32> shown = Passing(m_all, &counts);
    ShowKeys(std::move(shown), false, &counts);
}

void CallListModel::ShowKeys(std::vector<quint32> shown, bool narrowing, const Counts *counts)
{
    // The list's rows or their order change: the narrowings kept no longer hold.
    if (!narrowing)
        DropNarrowCache();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> keysBefore;
    keysBefore.reserve(std::size_t(before.size()));
    for (const QModelIndex &index : before)
        keysBefore.push_back(Key(index.row()));
    const std::size_t shownBefore = m_order.size();
    m_order = std::move(shown);
    m_searchByRowStale = true;
    // A sort shows the same rows: their counts stay.
    if (counts) {
        m_missedCount = counts->missed;
        m_talkSeconds = counts->talkSeconds;
    } else if (m_order.size() != shownBefore || m_narrowed || m_countsStale) {
        Recount();
    }
    m_countsStale = false;
    // The views' selections and current rows follow their calls to the new places.
    // They are few (the current row, a selection): one pass over the rows finds them all,
    // without a table the size of the list.
    QModelIndexList after = before;
    if (!before.isEmpty()) {
        std::vector<std::pair<quint32, int>> places; // key, row (-1: no longer shown)
        for (const quint32 key : keysBefore)
            places.emplace_back(key, -1);
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        std::size_t found = 0;
        for (int row = 0; row < RowCount() && found < places.size(); ++row) {
            const auto at = std::lower_bound(places.begin(), places.end(), std::pair<quint32, int>(Key(row), -1));
            if (at != places.end() && at->first == Key(row) && at->second < 0) {
                at->second = row;
                ++found;
            }
        }
        for (qsizetype i = 0; i < before.size(); ++i) {
            const auto at =
                std::lower_bound(places.begin(), places.end(), std::pair<quint32, int>(keysBefore[std::size_t(i)], -1));
            after[i] = at->second >= 0 ? index(at->second, before[i].column()) : QModelIndex();
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<ResultRows::Source> CallListModel::SortSources() const
{
    std::vector<ResultRows::Source> sources;
    for (const Backup &backup : m_backups)
        sources.push_back(ResultRows::Source{backup.rows.get(), backup.base});
    return sources;
}

namespace {

// The list's own order of `keys` (by the numbers a merged list gives, or by key), then the
// order of `cell` (-1: none; -2: by backup name), as a sort on a worker computes it.
struct SortJob
{
    std::vector<std::shared_ptr<const ResultRows>> storages; // held while the sort reads them
    std::vector<ResultRows::Source> sources;
    std::vector<QString> backupNames;
    std::vector<quint32> keys;
    std::vector<qint32> numbers;
    int cell = -1;
    bool descending = false;

    void run()
    {
        if (numbers.empty())
            std::sort(keys.begin(), keys.end());
        else
            std::sort(keys.begin(), keys.end(), [this](quint32 a, quint32 b) { return numbers[a] < numbers[b]; });
        if (cell >= 0) {
            ResultRows::Sort(sources, cell, descending, keys, numbers.empty() ? nullptr : &numbers);
        } else if (cell == kByBackup) {
            // The backup column: by name, then each backup's rows in the list's order.
            std::vector<int> rank(sources.size());
            for (std::size_t i = 0; i < sources.size(); ++i) {
                for (std::size_t j = 0; j < sources.size(); ++j)
                    rank[i] += CompareTexts(backupNames[j].toUtf8(), backupNames[i].toUtf8()) < 0 ? 1 : 0;
            }
            const auto backupOf = [this](quint32 key) {
                return std::size_t(std::upper_bound(sources.begin(), sources.end(), key,
                                                    [](quint32 k, const ResultRows::Source &s) { return k < s.base; })
                                   - sources.begin() - 1);
            };
            std::stable_sort(keys.begin(), keys.end(), [&](quint32 a, quint32 b) {
                return descending ? rank[backupOf(b)] < rank[backupOf(a)] : rank[backupOf(a)] < rank[backupOf(b)];
            });
        }
    }
    static constexpr int kByBackup = -2;
};

} // namespace

void CallListModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column >= 0 && column < ColumnCount() ? column : -1;
    m_sortOrder = order;
    m_sortPending = true;
    if (!IsFilling())
        StartSort();
}

void CallListModel::SortNow(int column, Qt::SortOrder order)
{
    m_sortColumn = column >= 0 && column < ColumnCount() ? column : -1;
    m_sortOrder = order;
    m_sortRunner->cancel();
    SortJob job;
    job.sources = SortSources();
    job.keys = AllKeys();
    job.numbers = m_numbers;
    job.cell =
        m_sortColumn < 0 ? -1 : (CellOfColumn(m_sortColumn) >= 0 ? CellOfColumn(m_sortColumn) : SortJob::kByBackup);
    job.descending = order == Qt::DescendingOrder;
    for (const Backup &backup : m_backups)
        job.backupNames.push_back(backup.name);
    job.run();
    ShowSorted(std::move(job.keys));
}

void CallListModel::SortAfterFill()
{
    emit fillEnded();
    if (m_sortPending)
        StartSort();
}

void CallListModel::StartSort()
{
    auto job = std::make_shared<SortJob>();
    for (const Backup &backup : m_backups) {
        job->storages.push_back(backup.rows);
        job->backupNames.push_back(backup.name);
    }
    job->sources = SortSources();
    job->keys = AllKeys();
    job->numbers = m_numbers;
    job->cell =
        m_sortColumn < 0 ? -1 : (CellOfColumn(m_sortColumn) >= 0 ? CellOfColumn(m_sortColumn) : SortJob::kByBackup);
    job->descending = m_sortOrder == Qt::DescendingOrder;
    m_sortRunner->start([this, job](const TaskRunner::Request &request) {
        job->run();
        request.deliver([this, job] { ShowSorted(std::move(job->keys)); });
    });
}

void CallListModel::ShowSorted(std::vector<quint32> keys)
{
    // Rows removed while the sort ran are left out of its order.
    if (keys.size() != AllKeys().size()) {
        std::vector<bool> shown;
        for (const quint32 key : AllKeys()) {
            if (key >= shown.size())
                shown.resize(std::size_t(key) + 1);
            shown[key] = true;
        }
        std::erase_if(keys, [&shown](quint32 key) { return key >= shown.size() || !shown[key]; });
    }
    Reorder(keys);
    m_sortPending = false;
    emit sorted();
}

int CallListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int CallListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CallListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount())
        return QVariant();
    const int cell = CellOfColumn(index.column());
    if (role == Qt::DisplayRole)
        return cell >= 0 ? CellText(index.row(), cell) : LeadingText(index.row(), index.column());
    if (role == Qt::ForegroundRole || role == Qt::FontRole) {
        const Backup &backup = BackupOfKey(Key(index.row()));
        if (backup.rows->FileMissing(int(Key(index.row()) - backup.base)))
            return role == Qt::ForegroundRole ? m_mutedForeground : m_mutedFont;
    }
    return QVariant();
}

QVariant CallListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_titles.at(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    // The first click on any title sorts ascending, whatever the last sort was.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    return QVariant();
}

namespace {

// The first bytes of a text as the keyboard search compares them.
quint32 PrefixBytes(const QByteArray &folded)
{
    quint32 bytes = 0;
    std::memcpy(&bytes, folded.constData(), std::min<std::size_t>(sizeof bytes, std::size_t(folded.size())));
    return bytes;
}

} // namespace

void CallListModel::DropSearchIndex()
{
    m_indexRunner->cancel();
    m_searchIndex.clear();
    m_searchIndex.shrink_to_fit();
    m_searchByRow.clear();
    m_searchByRow.shrink_to_fit();
    m_searchByRowStale = true;
    m_searchColumn = -1;
    m_searchIndexWanted = -1;
}

void CallListModel::PrepareKeyboardSearch(int column)
{
    if (column < 0 || column >= ColumnCount() || IsFilling() || column == m_searchColumn
        || column == m_searchIndexWanted)
        return;
    m_searchIndexWanted = column;
    // What the worker reads: the storages (shared), the numbers a merged list shows, the
    // backups' names, and which keys there are.
    struct Job
    {
        std::vector<std::shared_ptr<const ResultRows>> storages;
        std::vector<quint32> bases;
        std::vector<QString> names;
        std::vector<qint32> numbers;
        int cell = 0;
        std::vector<quint32> index;
    };
    auto job = std::make_shared<Job>();
    for (const Backup &backup : m_backups) {
        job->storages.push_back(backup.rows);
        job->bases.push_back(backup.base);
        job->names.push_back(backup.name);
    }
    job->numbers = m_numbers;
    job->cell = CellOfColumn(column);
    m_indexRunner->start([this, job, column](const TaskRunner::Request &request) {
        std::size_t keys = 0;
        if (!job->storages.empty())
            keys = job->bases.back() + std::size_t(job->storages.back()->Count());
        job->index.resize(keys);
        QByteArray cell;
        for (std::size_t b = 0; b < job->storages.size(); ++b) {
            const ResultRows &rows = *job->storages[b];
            const QByteArray name = job->names[b].toCaseFolded().toUtf8();
            for (int stored = 0; stored < rows.Count(); ++stored) {
                if ((stored & 0xFFF) == 0 && request.isCancelled())
                    return;
                const quint32 key = job->bases[b] + quint32(stored);
                if (job->cell < 0) {
                    job->index[key] = PrefixBytes(name);
                    continue;
                }
                cell.resize(0);
                if (job->cell == CellNumber && !job->numbers.empty())
                    cell.setNum(job->numbers[key]);
                else
                    rows.AppendCellUtf8(stored, job->cell, cell);
                job->index[key] = PrefixBytes(QString::fromUtf8(cell).toCaseFolded().toUtf8());
            }
        }
        request.deliver([this, job, column] {
            m_searchIndex = std::move(job->index);
            m_searchByRowStale = true;
            m_searchColumn = column;
            m_searchIndexWanted = -1;
            emit keyboardSearchReady(column);
        });
    });
}

int CallListModel::FindRowStartingWith(int column, const QString &text, int from)
{
    if (text.isEmpty() || RowCount() == 0)
        return -1;
    if (column != m_searchColumn || IsFilling()) {
        PrepareKeyboardSearch(column);
        return kNotReady;
    }
    const QString folded = text.toCaseFolded();
    const QByteArray wanted = folded.toUtf8();
    const std::size_t compared = std::min<std::size_t>(sizeof(quint32), std::size_t(wanted.size()));
    // The first bytes wanted, and which bytes of a row's prefix they are compared with.
    quint32 want = 0;
    quint32 mask = 0;
    std::memcpy(&want, wanted.constData(), compared);
    std::memset(&mask, 0xFF, compared);
    if (m_searchByRowStale) {
        // The rows in the order shown read one after the other, not all over the index.
        m_searchByRow.resize(m_order.size());
        for (std::size_t row = 0; row < m_order.size(); ++row) {
            const quint32 key = m_order[row];
            m_searchByRow[row] = key < m_searchIndex.size() ? m_searchIndex[key] : 0;
        }
        m_searchByRowStale = false;
    }
    const int cell = CellOfColumn(column);
    from = std::max(from, 0) % RowCount();
    for (int n = 0; n < RowCount(); ++n) {
        const int row = (from + n) % RowCount();
        if ((m_searchByRow[std::size_t(row)] & mask) != want)
            continue;
        // Longer than the index holds: the rest of the text decides.
        if (compared < std::size_t(wanted.size())) {
            const QString whole = cell >= 0 ? CellText(row, cell) : LeadingText(row, column);
            if (!whole.toCaseFolded().startsWith(folded))
                continue;
        }
        return row;
    }
    return -1;
}

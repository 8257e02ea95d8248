#pragma once

#include "query/ResultRows.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

// A call list's rows as they were shown when an export began, for the export's worker
// thread to read without asking the window for anything: the list's storages, shared (they
// only grow, and a new search gives the list new ones), the order the rows were shown in,
// and which of these rows the list has removed since, which the worker then leaves out.
// Copies share all of it.
class ResultSnapshot
{
public:
    // The rows the list removed after the snapshot was taken, by their key; set by the
    // list's thread, read by the worker's.
    class Removals
    {
    public:
        explicit Removals(std::size_t keys) : m_removed(keys) {}
        void Mark(quint32 key);
        // The list was emptied (a new search): every row counts as removed.
        void MarkAll() { m_all.store(true, std::memory_order_release); }
        bool Has(quint32 key) const;

    private:
        std::vector<std::atomic<bool>> m_removed;
        std::atomic<bool> m_all{false};
    };

    // One backup's rows; the keys of its rows are their indexes in `rows` plus `base`.
    struct Source
    {
        std::shared_ptr<const ResultRows> rows;
        quint32 base = 0;
        QString backupName;
    };

    ResultSnapshot() = default;
    // `order`: the rows shown, by key. `numbers`, when given, holds the number cell 0 shows
    // for each key (a list merged from several backups numbers its rows itself).
    ResultSnapshot(std::vector<Source> sources, std::vector<quint32> order,
                   std::shared_ptr<const std::vector<qint32>> numbers = nullptr);

    int RowCount() const { return static_cast<int>(m_order.size()); }
    QString CellText(int row, int position) const;
    void AppendCellUtf8(int row, int position, QByteArray &out) const;
    // The name of the backup the row comes from (as the catalogue shows it).
    const QString &BackupName(int row) const { return SourceOf(m_order[std::size_t(row)]).backupName; }
    // Whether the list removed this row after the snapshot was taken.
    bool IsRemoved(int row) const { return m_removals->Has(m_order[std::size_t(row)]); }
    // The storage that holds the row, and the row's place in it (`*stored`).
    const ResultRows &StoredRow(int row, int *stored) const
    {
        const quint32 key = m_order[std::size_t(row)];
        const Source &source = SourceOf(key);
        *stored = int(key - source.base);
        return *source.rows;
    }

    // For the list: where to mark the rows it removes, held without keeping the snapshot
    // alive once its worker has let it go.
    std::weak_ptr<Removals> RemovalsWatch() const { return m_removals; }

private:
    const Source &SourceOf(quint32 key) const;

    std::vector<Source> m_sources;
    std::vector<quint32> m_order;
    std::shared_ptr<const std::vector<qint32>> m_numbers;
    std::shared_ptr<Removals> m_removals;
};

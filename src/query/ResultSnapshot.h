#pragma once

#include "query/ResultRows.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

// The result list's rows as they were shown when an export began, for the export's worker
// thread to read without asking the window for anything: the list's storage, shared (it
// only grows, and a new search gives the list a new one), the order the rows were shown in,
// and which of these rows the list has removed since, which the worker then leaves out.
// Copies share all of it.
class ResultSnapshot
{
public:
    // The rows the list removed after the snapshot was taken, by their place in the
    // storage; set by the list's thread, read by the worker's.
    class Removals
    {
    public:
        explicit Removals(int storedRows) : m_removed(std::size_t(std::max(storedRows, 0))) {}
        void Mark(quint32 stored);
        // The list was emptied (a new search): every row counts as removed.
        void MarkAll() { m_all.store(true, std::memory_order_release); }
        bool Has(quint32 stored) const;

    private:
        std::vector<std::atomic<bool>> m_removed;
        std::atomic<bool> m_all{false};
    };

    ResultSnapshot() = default;
    // `order`: the rows shown, by their place in `rows`.
    ResultSnapshot(std::shared_ptr<const ResultRows> rows, std::vector<quint32> order);

    int RowCount() const { return static_cast<int>(m_order.size()); }
    QString CellText(int row, int position) const { return m_rows->CellText(Stored(row), position); }
    void AppendCellUtf8(int row, int position, QByteArray &out) const
    {
        m_rows->AppendCellUtf8(Stored(row), position, out);
    }
    // Whether the list removed this row after the snapshot was taken.
    bool IsRemoved(int row) const { return m_removals->Has(quint32(Stored(row))); }

    // For the list: where to mark the rows it removes, held without keeping the snapshot
    // alive once its worker has let it go.
    std::weak_ptr<Removals> RemovalsWatch() const { return m_removals; }

private:
    int Stored(int row) const { return int(m_order[std::size_t(row)]); }

    std::shared_ptr<const ResultRows> m_rows;
    std::vector<quint32> m_order;
    std::shared_ptr<Removals> m_removals;
};

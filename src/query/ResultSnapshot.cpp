#include "query/ResultSnapshot.h"

void ResultSnapshot::Removals::Mark(quint32 stored)
{
    if (stored < m_removed.size())
        m_removed[stored].store(true, std::memory_order_release);
}

bool ResultSnapshot::Removals::Has(quint32 stored) const
{
    if (m_all.load(std::memory_order_acquire))
        return true;
    return stored < m_removed.size() && m_removed[stored].load(std::memory_order_acquire);
}

ResultSnapshot::ResultSnapshot(std::shared_ptr<const ResultRows> rows, std::vector<quint32> order)
    : m_rows(std::move(rows))
    , m_order(std::move(order))
    , m_removals(std::make_shared<Removals>(m_rows ? m_rows->Count() : 0))
{}

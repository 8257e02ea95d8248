#include "query/ResultSnapshot.h"

#include "db/jet/Digits.h"

#include <algorithm>

void ResultSnapshot::Removals::Mark(quint32 key)
{
    if (key < m_removed.size())
        m_removed[key].store(true, std::memory_order_release);
}

bool ResultSnapshot::Removals::Has(quint32 key) const
{
    if (m_all.load(std::memory_order_acquire))
        return true;
    return key < m_removed.size() && m_removed[key].load(std::memory_order_acquire);
}

ResultSnapshot::ResultSnapshot(std::vector<Source> sources, std::vector<quint32> order,
                               std::shared_ptr<const std::vector<qint32>> numbers)
    : m_sources(std::move(sources))
    , m_order(std::move(order))
    , m_numbers(std::move(numbers))
{
    std::size_t keys = 0;
    if (!m_sources.empty() && m_sources.back().rows)
        keys = m_sources.back().base + std::size_t(m_sources.back().rows->Count());
    m_removals = std::make_shared<Removals>(keys);
}

const ResultSnapshot::Source &ResultSnapshot::SourceOf(quint32 key) const
{
    const auto next = std::upper_bound(m_sources.begin(), m_sources.end(), key,
                                       [](quint32 k, const Source &s) { return k < s.base; });
    return *(next - 1);
}

QString ResultSnapshot::CellText(int row, int position) const
{
    QByteArray text;
    AppendCellUtf8(row, position, text);
    return QString::fromUtf8(text);
}

void ResultSnapshot::AppendCellUtf8(int row, int position, QByteArray &out) const
{
    const quint32 key = m_order[std::size_t(row)];
    if (m_numbers && position == ResultRows::CellNumber) {
        jet::Digits::appendSigned(out, (*m_numbers)[key]);
        return;
    }
    const Source &source = SourceOf(key);
    source.rows->AppendCellUtf8(int(key - source.base), position, out);
}

#include "db/jet/ParallelScan.h"

#include "db/jet/ErrorText.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDef.h"
#include "db/jet/UsageMap.h"
#include "task/TaskPool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace jet {

ParallelScan::ParallelScan(const PageFile &file, const TableDef &table) : m_file(file), m_table(table) {}

bool ParallelScan::prepare(QString *error)
{
    QString why;
    if (!UsageMap::readPages(m_file, m_table.ownedPagesMap(), &m_pages, &why, &m_pagesPastTheEnd)) {
        m_pages.clear();
        setError(error, QStringLiteral("table at page %1: %2").arg(m_table.firstPage()).arg(why));
        return false;
    }
    return true;
}

unsigned ParallelScan::defaultThreadCount()
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("ORVIK_SCAN_THREADS", &ok);
    if (ok && wanted > 0)
        return unsigned(wanted);
    return std::max(1u, std::thread::hardware_concurrency());
}

std::size_t ParallelScan::shareCount() const
{
    return (m_pages.size() + kSharePages - 1) / kSharePages;
}

bool ParallelScan::run(const std::function<void(std::size_t share, RowScanner &rows)> &scanShare, QString *error)
{
    const std::size_t shares = shareCount();
    const unsigned threads = std::min(m_threads != 0 ? m_threads : defaultThreadCount(), kMaxThreads);

    std::atomic<std::uint64_t> rowsRead{0};
    // The first share that failed; shares after it need not run.
    std::atomic<std::size_t> failedShare{shares};
    std::mutex errorLock;
    QString firstError;
    // The shares are taken in ascending order by the pool's threads that are free and this
    // one: a scan inside a search whose other backups keep the pool busy runs here alone.
    TaskPool::shared().forEach(shares, threads, [&](std::size_t share) {
        if (share > failedShare.load())
            return;
        const std::size_t first = share * kSharePages;
        const std::size_t last = std::min(first + kSharePages, m_pages.size());
        RowScanner rows(m_file, m_table,
                        std::vector<std::uint32_t>(m_pages.begin() + std::ptrdiff_t(first),
                                                   m_pages.begin() + std::ptrdiff_t(last)));
        scanShare(share, rows);
        rowsRead += rows.rowsRead();
        if (rows.hasError()) {
            const std::lock_guard<std::mutex> guard(errorLock);
            if (share < failedShare.load()) {
                failedShare = share;
                firstError = rows.error();
            }
        }
    });
    m_rowsRead = rowsRead.load();
    if (failedShare.load() < shares) {
        setError(error, firstError);
        return false;
    }
    // A cancelled request leaves shares unread: its rows are not the table's.
    if (CancelToken::currentCancelled()) {
        setError(error, QStringLiteral("cancelled"));
        return false;
    }
    return true;
}

} // namespace jet

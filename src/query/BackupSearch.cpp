#include "query/BackupSearch.h"

#include "backup/BackupArray.h"
#include "db/ado/AdoDb.h"
#include "query/ResultListModel.h"

#include <QThread>

#include <algorithm>
#include <chrono>

namespace {
// Rows read between two looks at the stop flag.
constexpr int kRowsPerStep = 4096;
} // namespace

BackupSearch::BackupSearch(QObject *parent) : QObject(parent) {}

BackupSearch::~BackupSearch()
{
    Stop();
}

void BackupSearch::Start(std::vector<Target> targets, const QString &statement, int threads)
{
    Stop();
    ++m_generation;
    m_targets = std::move(targets);
    m_results.clear();
    m_results.resize(m_targets.size());
    m_statement = statement;
    m_next = 0;
    m_done = 0;
    m_stop = false;
    m_stopped = false;
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    const int count = std::min(std::max(threads, 1), TargetCount());
    for (int i = 0; i < count; ++i) {
        try {
            m_workers.emplace_back([this] { Work(); });
        } catch (const std::system_error &) {
            break; // fewer workers do the same work
        }
    }
    if (m_workers.empty() && !m_targets.empty())
        Work(); // no thread at all: search here
}

void BackupSearch::Stop()
{
    m_stop = true;
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_allDone.notify_all();
}

bool BackupSearch::Wait(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto ended = [this] { return m_stopped || m_done.load() >= TargetCount(); };
    if (milliseconds < 0)
        m_allDone.wait(lock, ended);
    else
        m_allDone.wait_for(lock, std::chrono::milliseconds(milliseconds), ended);
    return ended();
}

std::unique_ptr<ResultListModel> BackupSearch::TakeRows(int index)
{
    return std::move(m_results[size_t(index)].rows);
}

void BackupSearch::Work()
{
    const int generation = m_generation;
    for (;;) {
        const int index = m_next.fetch_add(1);
        if (index >= TargetCount() || m_stop)
            return;
        SearchOne(index);
        if (m_stop)
            return; // a stopped backup is not announced: its rows are incomplete
        int done;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            done = m_done.fetch_add(1) + 1;
        }
        emit BackupSearched(generation, index);
        if (done == TargetCount())
            m_allDone.notify_all();
    }
}

void BackupSearch::SearchOne(int index)
{
    const Target &target = m_targets[size_t(index)];
    Result &result = m_results[size_t(index)];
    CAdoDb db;
    if (!db.OpenForReading(CBackupArray::DatabaseOf(target.dir), QString())) {
        result.failure = db.LastError();
        return;
    }
    auto rows = std::make_unique<ResultListModel>();
    rows->SetBackupDir(target.dir);
    if (!rows->BeginFill(db, m_statement)) {
        result.failure = db.LastError();
        return;
    }
    while (!m_stop && rows->FillMore(kRowsPerStep)) {}
    rows->EndFill();
    result.report = rows->LastScanReport();
    // The rows belong to whoever started the search from here on.
    rows->moveToThread(thread());
    result.rows = std::move(rows);
}

#include "query/BackupMerge.h"

#include "backup/BackupArray.h"
#include "db/ado/AdoDb.h"
#include "query/ResultRows.h"
#include "query/RowReader.h"
#include "task/TaskPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace {
// Rows read from one backup at a time.
constexpr int kBatchRows = 1024;
// How often Open reports progress while the backups are opened.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
} // namespace

struct BackupMerge::Backup
{
    BackupSearch::Target target;
    QString failure;
    CAdoDb db;
    std::unique_ptr<RowReader> reader;
    std::shared_ptr<ResultRows> batch;
    int next = 0; // the row of the batch to hand out next
    ScanReport finalReport;
    bool closed = false;
};

BackupMerge::BackupMerge(std::vector<BackupSearch::Target> targets, const QString &statement) : m_statement(statement)
{
    for (BackupSearch::Target &target : targets) {
        auto backup = std::make_unique<Backup>();
        backup->target = std::move(target);
        m_backups.push_back(std::move(backup));
    }
}

BackupMerge::~BackupMerge() = default;

void BackupMerge::Open(const std::function<void(int done)> &progress)
{
    std::atomic<int> done{0};
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    const auto openOne = [this, &done](std::size_t index) {
        Backup &backup = *m_backups[index];
        try {
            if (!backup.db.OpenForReading(CBackupArray::DatabaseOf(backup.target.dir), QString())) {
                backup.failure = backup.db.LastError();
            } else {
                backup.reader = std::make_unique<RowReader>(backup.db, backup.target.dir);
                if (!backup.reader->Open(m_statement)) {
                    backup.failure = backup.db.LastError();
                    backup.reader.reset();
                }
            }
        } catch (const std::exception &e) {
            // One backup that fails this way is that backup's failure, not the search's.
            backup.failure = QString::fromLocal8Bit(e.what());
            backup.reader.reset();
        }
        ++done;
    };
    // The opening runs on the pool while this thread reports how far it has come.
    TaskPool::shared().post([&] {
        TaskPool::shared().forEach(m_backups.size(), 0, openOne);
        const std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        ended.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, kProgressInterval, [&] { return finished; }))
        progress(done.load());
    progress(done.load());
}

const QString &BackupMerge::Failure(int index) const
{
    return m_backups[std::size_t(index)]->failure;
}

ScanReport BackupMerge::Report(int index) const
{
    const Backup &backup = *m_backups[std::size_t(index)];
    if (backup.closed)
        return backup.finalReport;
    return backup.reader ? backup.reader->Report() : ScanReport();
}

bool BackupMerge::Refill(Backup &backup)
{
    if (!backup.reader || !backup.reader->HasMore()) {
        if (backup.reader) {
            backup.finalReport = backup.reader->Close();
            backup.closed = true;
            backup.reader.reset();
        }
        backup.batch.reset();
        return false;
    }
    backup.batch = backup.reader->NewStorage();
    backup.reader->ReadInto(*backup.batch, kBatchRows);
    backup.next = 0;
    // A batch whose rows all went (deleted meanwhile, or not decodable) reads on.
    return backup.batch->Count() > 0 || Refill(backup);
}

bool BackupMerge::Next(int *backupIndex, const ResultRows **rows, int *row)
{
    // The heap's top is the backup whose next row comes first: the earliest start, then the
    // first target.
    const auto later = [this](int a, int b) {
        const Backup &x = *m_backups[std::size_t(a)];
        const Backup &y = *m_backups[std::size_t(b)];
        const double sx = x.batch->StartOrderKey(x.next);
        const double sy = y.batch->StartOrderKey(y.next);
        return sx != sy ? sx > sy : a > b;
    };
    if (!m_heapBuilt) {
        m_heapBuilt = true;
        for (int i = 0; i < TargetCount(); ++i) {
            if (Refill(*m_backups[std::size_t(i)]))
                m_heap.push_back(i);
        }
        std::make_heap(m_heap.begin(), m_heap.end(), later);
    } else if (!m_heap.empty()) {
        // The row handed out last is done with: its backup moves on.
        std::pop_heap(m_heap.begin(), m_heap.end(), later);
        Backup &last = *m_backups[std::size_t(m_heap.back())];
        if (++last.next < last.batch->Count() || Refill(last))
            std::push_heap(m_heap.begin(), m_heap.end(), later);
        else
            m_heap.pop_back();
    }
    if (m_heap.empty())
        return false;
    const int top = m_heap.front();
    const Backup &backup = *m_backups[std::size_t(top)];
    *backupIndex = top;
    *rows = backup.batch.get();
    *row = backup.next;
    return true;
}

#pragma once

#include "db/exec/ScanReport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ResultListModel;

// One statement run over many backups at once: a pool of worker threads (as many as the
// machine has cores, never more than there are backups) takes the backups one after the
// other, opens each read-only, reads its rows into a ResultListModel of its own and says
// so with BackupSearched. A backup that cannot be searched gets its reason instead. The
// window and orvik-cli both search through this class; the merged order is theirs.
class BackupSearch : public QObject
{
    Q_OBJECT

public:
    // A backup to search: its name as the catalogue shows it and its directory (ending in "/").
    struct Target
    {
        QString name;
        QString dir;
    };

    explicit BackupSearch(QObject *parent = nullptr);
    // Stops a search still running and waits for its workers.
    ~BackupSearch() override;

    // Stops any search still running, then searches `targets` with `statement` on up to
    // `threads` workers (0: the machine's cores). The rows' models are handed to the
    // thread this object lives in.
    void Start(std::vector<Target> targets, const QString &statement, int threads = 0);
    // Asks the workers to stop after the rows they are reading and waits for them: backups
    // not yet searched stay unsearched, nothing is half-handed over.
    void Stop();
    // Waits up to `milliseconds` (-1: for ever) for the search to end or be stopped; true
    // once it has.
    bool Wait(int milliseconds = -1);

    // Counts every Start, so that a receiver can tell a late signal of an earlier search.
    int Generation() const { return m_generation; }
    int TargetCount() const { return int(m_targets.size()); }
    const Target &TargetAt(int index) const { return m_targets[size_t(index)]; }
    // How many backups have been searched (or have failed) so far.
    int DoneCount() const { return m_done.load(); }

    // The outcome of one backup, valid once BackupSearched(generation, index) came (or
    // after Wait): the reason it could not be searched (empty when it was), how completely
    // its table could be read, and its rows, which TakeRows hands over once.
    QString Failure(int index) const { return m_results[size_t(index)].failure; }
    const ScanReport &Report(int index) const { return m_results[size_t(index)].report; }
    std::unique_ptr<ResultListModel> TakeRows(int index);

signals:
    // Emitted from a worker thread when the backup at `index` is done (never for a backup
    // whose search was stopped).
    void BackupSearched(int generation, int index);

private:
    struct Result
    {
        QString failure;
        ScanReport report;
        std::unique_ptr<ResultListModel> rows;
    };

    void Work();
    void SearchOne(int index);

    std::vector<Target> m_targets;
    std::vector<Result> m_results;
    QString m_statement;
    std::vector<std::thread> m_workers;
    std::atomic<int> m_next{0};
    std::atomic<int> m_done{0};
    std::atomic<bool> m_stop{false};
    int m_generation = 0;
    std::mutex m_mutex;
    bool m_stopped = false; // under m_mutex
    std::condition_variable m_allDone;
};

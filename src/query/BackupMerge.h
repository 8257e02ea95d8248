#pragma once

#include "db/exec/ScanReport.h"
#include "query/BackupSearch.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ResultRows;

// The rows of one statement over many backups, taken by start time across all of them
// without holding them all: every backup is opened (read-only) and its statement run first,
// several at a time on the TaskPool; then the rows are read a batch per backup at a time
// and handed out in start-time order, equal times in the order of the targets. orvik-cli's
// search writes its rows this way, so a root of many large backups costs the memory of a
// batch per backup.
class BackupMerge
{
public:
    BackupMerge(std::vector<BackupSearch::Target> targets, const QString &statement);
    ~BackupMerge();

    // Opens every backup and runs the statement on it; `progress` is called on this thread
    // now and then with the number of backups done so far.
    void Open(const std::function<void(int done)> &progress);

    int TargetCount() const { return int(m_backups.size()); }
    // Why backup `index` could not be searched (empty when it could).
    const QString &Failure(int index) const;
    // How completely its table could be read, as far as it has been read.
    ScanReport Report(int index) const;

    // The next row in start-time order: its backup, and its place in a storage that stays
    // valid until the next call. False once every row has been handed out.
    bool Next(int *backup, const ResultRows **rows, int *row);

private:
    struct Backup;
    bool Refill(Backup &backup);

    std::vector<std::unique_ptr<Backup>> m_backups;
    QString m_statement;
    // Backups with a row to hand out, ordered as a heap by that row's start time.
    std::vector<int> m_heap;
    bool m_heapBuilt = false;
};

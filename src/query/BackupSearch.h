#pragma once

#include "db/exec/ScanReport.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class CAdoDb;
class ResultRows;
class TaskRunner;

// One statement run over many backups at once for the search window: the backups are taken
// one after the other by the threads of the TaskPool that are free, each opened read-only
// and its rows read into a storage of its own; BackupSearched says when one is done. A
// backup that cannot be searched gets its reason instead. Nothing here waits: Stop() returns
// at once, and what a stopped search still finds is dropped.
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
    // The outcome of one backup: the reason it could not be searched (empty when it was),
    // how completely its table could be read, and its rows.
    struct Result
    {
        QString failure;
        ScanReport report;
        std::shared_ptr<ResultRows> rows;
    };

    explicit BackupSearch(QObject *parent = nullptr);
    ~BackupSearch() override;

    // Stops any search still running, then searches `targets` with `statement`.
    void Start(std::vector<Target> targets, const QString &statement);
    // Stops the search: backups not yet searched stay unsearched, and none is announced
    // after this.
    void Stop();
    bool IsRunning() const;

    // Counts every Start, so that a receiver can tell a late signal of an earlier search.
    int Generation() const { return m_generation; }
    int TargetCount() const { return int(m_targets.size()); }
    const Target &TargetAt(int index) const { return m_targets[size_t(index)]; }
    // The outcome of one backup, valid once BackupSearched(generation, index) came.
    const Result &ResultAt(int index) const { return m_results[size_t(index)]; }
    // Hands the backup's rows over once.
    std::shared_ptr<ResultRows> TakeRows(int index);

    // Opens a backup's database read-only and reads the rows of `statement` from it: the
    // part of a search that one backup takes. Stops early when the calling thread's request
    // is cancelled. An exception on the way is this backup's failure, not the search's.
    static Result SearchOne(const Target &target, const QString &statement);

    // Why a backup could not be searched, as a user says it: the text id (Ids::TxtFailure...)
    // of the category that a failure text of the database (CAdoDb::LastError: the Jet
    // engine's messages) falls in: a damaged database, one locked by another program, one
    // with a password, no database at all, or anything else.
    static int FailureTextId(const QString &failure);

signals:
    // The backup at `index` is done (never for a backup whose search was stopped).
    void BackupSearched(int generation, int index);

private:
    static Result SearchOneUnguarded(const Target &target, const QString &statement);

    std::vector<Target> m_targets;
    std::vector<Result> m_results;
    int m_generation = 0;
    TaskRunner *m_runner = nullptr;
};

#pragma once

#include "db/exec/ScanReport.h"
#include "query/CallListModel.h"

#include <QString>

#include <memory>

class CAdoDb;
class RowReader;
class TaskRunner;
struct SharedDatabase;

// The rows of a search of one backup, one per call record, as the query window's list
// shows them (CallListModel without columns of its own). Rows are shown in the statement's
// order until the list is sorted by a column. Row arguments are always positions as shown.
//
// The rows come in two ways: StartFill reads them on a worker thread and hands them over in
// batches (the window, which never waits for a database); BeginFill and FillMore read them
// on the calling thread (orvik-cli, a search over many backups, tests).
class ResultListModel : public CallListModel
{
    Q_OBJECT

public:
    explicit ResultListModel(QObject *parent = nullptr);
    ~ResultListModel() override;

    // The backup directory (ending in "/") that recording paths are built under.
    void SetBackupDir(const QString &backupDir);
    const QString &BackupDir() const { return m_backupDir; }
    RecordingFolder &Recordings() { return m_recordings; }

    // Empties the list, then reads the rows of `statement` on a worker thread; they appear
    // in batches, the first soon. fillFinished() follows; a new fill or EndFill() stops it.
    void StartFill(std::shared_ptr<SharedDatabase> db, const QString &statement);

    // Runs `statement` on `db` and replaces all rows with its result; a statement that
    // fails leaves the list empty.
    void FillResultList(CAdoDb &db, const QString &statement);
    // The same in steps, on this thread: BeginFill clears the list and runs the statement
    // (false when it fails), FillMore appends up to `maxRows` rows and tells whether more
    // remain.
    bool BeginFill(CAdoDb &db, const QString &statement);
    bool FillMore(int maxRows);
    bool IsFilling() const override { return m_filling; }
    // How many rows the statement of the last fill returns in all (-1 before one ran), for
    // showing progress.
    qint64 ExpectedRowCount() const { return m_expectedRows; }
    // Stops a fill in progress; the rows read so far stay.
    void EndFill();
    // How completely the database could be read by the last fill, once it has ended.
    const ScanReport &LastScanReport() const { return m_scanReport; }
    // Drops the rows read so far while a fill goes on numbering from where it was, for a
    // caller that streams the rows out in batches (the command line).
    void ForgetRows();

    // Removes one row; the numbers shown in cell 0 of the others do not change.
    using CallListModel::Recordings;
    using CallListModel::RemoveRow;

signals:
    // A fill started with StartFill has ended: `opened` false when the statement failed
    // (`error` says why); otherwise every row has come (LastScanReport() tells how completely
    // the table could be read).
    void fillFinished(bool opened, const QString &error);

private:
    // Empties the list; `storage` takes the rows of the next fill.
    void Clear(std::shared_ptr<ResultRows> storage = nullptr);
    void Append(ResultRows &&batch);
    void FillEnded();

    QString m_backupDir;
    RecordingFolder m_recordings;
    std::unique_ptr<RowReader> m_reader; // of BeginFill
    TaskRunner *m_fillRunner = nullptr;
    bool m_filling = false;
    ScanReport m_scanReport;
    qint64 m_expectedRows = -1;
};

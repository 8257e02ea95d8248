#pragma once

#include "config/Desktop.h"
#include "query/ResultSnapshot.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CDlgProgress;
class QTimer;
class QWidget;
class TaskRunner;

// The export of a window's list into a workbook, on the TaskPool with the window's progress
// window; both windows export through it (CallList starts it).
//
// The list hands over a snapshot of its rows once, on the window's thread, and the worker
// writes from it without asking the window for anything, leaving out the rows the list
// removes before it gets to them. The progress bar, the messages and the end come back to
// the window's thread through the TaskRunner, never waiting; the worker stops after the row
// in hand once the window asked to close. Nothing here waits for the worker: destroying the
// export while it runs tells the worker to stop, and it ends by itself.
class ListExport : public QObject
{
    Q_OBJECT

public:
    // What to export.
    struct Source
    {
        ResultSnapshot rows;
        // Whether each workbook row starts with the row's backup name (the search's list).
        bool withBackupName = false;
        // Header cells written before the usual ones.
        QStringList leadingHeader;
        // Names the workbook file (CallListExport::OutputPath).
        QString name;
        // Whether the sheet of statistics (of the rows written) follows the list's.
        bool withStatistics = false;
    };

    // `running` and `closeRequested` are the window's flags: `running` is 1 from the start
    // of an export until its worker has ended (set back on the window's thread); the worker
    // stops early once `closeRequested` is 1.
    ListExport(QWidget *window, CDlgProgress *progress, std::atomic<int32_t> &running,
               std::atomic<int32_t> &closeRequested);
    ~ListExport() override;

    // Starts the worker (nothing when an export runs already or the snapshot is empty).
    // `setBusy` is called with true now and with false when the export has ended.
    void Start(Source source, std::function<void(bool busy)> setBusy);

    // A close request of the window: `close` runs at once with QDialog::Rejected when no
    // export runs; otherwise a 100-millisecond timer ("CloseTimer"), restarted by every
    // further request, runs it with QDialog::Accepted at its first tick after the worker
    // has ended.
    void RequestClose(std::function<void(int result)> close);
    void StopCloseTimer();
    // What a tick of that timer does instead of running `close` once the export has ended
    // (the query window's OnTimer).
    void SetTimerHandler(std::function<void()> tick) { m_tick = std::move(tick); }

private:
    void OnCloseTimer();
    void ShowProgressWindow(int rowCount);
    void Ended();

    QWidget *m_window;
    CDlgProgress *m_progress;
    std::atomic<int32_t> &m_running;
    std::atomic<int32_t> &m_closeRequested;
    TaskRunner *m_runner = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    QTimer *m_closeTimer = nullptr;
    std::function<void(int result)> m_close;
    std::function<void()> m_tick;
    std::function<void(bool busy)> m_setBusy;
};

#pragma once

#include "config/Desktop.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class CallListExport;
class CDlgProgress;
class QAbstractItemModel;
class QTimer;
class QWidget;

// The export of a window's list into a workbook, on a worker thread with the window's
// progress window; the query window and the search window both export through it.
//
// The worker never touches a widget or the list itself. A list that can hand out a snapshot
// of its rows (Source::snapshot) gives it once, on the UI thread, and the worker writes from
// it without asking the window for anything, leaving out the rows the list removes before it
// gets to them; it moves the progress bar at most every 30 ms, without waiting. Otherwise
// every row goes through the UI thread, each call waiting for its answer there: the worker
// reads the row count once, then each row just before writing it, and stops when the list
// has no row left to write (rows deleted meanwhile); the row to write next is kept on the UI
// thread, where deletions from the list move it. Either way the progress window and every
// message go through the UI thread, and the worker stops after the row in hand once the
// window asked to close.
class ListExport : public QObject
{
    Q_OBJECT

public:
    // The list's rows as they were when the export began, readable from the worker thread.
    struct Snapshot
    {
        int rowCount = 0;
        // Whether the list removed this row after the snapshot was taken.
        std::function<bool(int row)> isRemoved;
        std::function<QStringList(int row)> workbookRow;
    };

    // What to export, each function called on the UI thread.
    struct Source
    {
        std::function<int()> rowCount;
        // The workbook row of list row `row` (CallListExport::WorkbookRow, maybe with more).
        std::function<QStringList(int row)> workbookRow;
        // Header cells written before the usual ones.
        QStringList leadingHeader;
        // Names the workbook file (CallListExport::OutputPath).
        QString name;
        // Called with true when the export starts, with false when it has ended.
        std::function<void(bool busy)> setBusy;
        // When set, called once as the worker starts; the worker then writes the rows from
        // the snapshot instead of asking for each through rowCount and workbookRow.
        std::function<Snapshot()> snapshot;
    };

    // `running` and `closeRequested` are the window's flags, shared with the worker without
    // a lock: `running` is 1 from the start of an export until its worker has ended; the
    // worker stops early once `closeRequested` is 1. `list` is the model whose removed rows
    // move the export's place.
    ListExport(QWidget *window, CDlgProgress *progress, QAbstractItemModel *list, std::atomic<int32_t> &running,
               std::atomic<int32_t> &closeRequested);
    // Normally the window closes only after the worker has ended. If it is destroyed
    // otherwise, the worker is told to stop, and its calls on the UI thread are still served
    // until it has.
    ~ListExport() override;

    // Starts the worker (nothing when an export runs already or the list is empty).
    void Start(Source source);

    // A close request of the window: `close` runs at once with QDialog::Rejected when no
    // export runs; otherwise a 100-millisecond timer ("CloseTimer"), restarted by every
    // further request, runs it with QDialog::Accepted at its first tick after the worker
    // has ended.
    void RequestClose(std::function<void(int result)> close);
    void StopCloseTimer();

private:
    void Work();
    void End();
    // Runs `work` on the UI thread and waits for it.
    void OnUiThread(const std::function<void()> &work);
    // Moves the progress bar to `rowsWritten` on the UI thread, without waiting for it.
    void ShowProgress(int rowsWritten);
    void ShowMessageFromWorker(Desktop::Icon icon, const QString &caption, const QString &text);
    // The worker's two ways through the rows; false when a row could not be written.
    bool WriteSnapshot(Snapshot rows, CallListExport &exporter);
    bool WriteRowByRow(int count, CallListExport &exporter);

    QWidget *m_window;
    CDlgProgress *m_progress;
    std::atomic<int32_t> &m_running;
    std::atomic<int32_t> &m_closeRequested;
    Source m_source;
    std::thread m_worker;
    QTimer *m_closeTimer = nullptr;
    std::function<void(int result)> m_close;
    // The list row the export writes next; used on the UI thread only.
    int m_nextRow = 0;
};

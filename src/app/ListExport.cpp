#include "app/ListExport.h"

#include "app/DlgProgress.h"
#include "config/Config.h"
#include "export/CallListExport.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "stats/CallStatistics.h"
#include "task/TaskRunner.h"

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
constexpr int kCloseTimerMilliseconds = 100;
// The worker moves the progress bar at most this often.
constexpr int kProgressMilliseconds = 30;
} // namespace

ListExport::ListExport(QWidget *window, CDlgProgress *progress, std::atomic<int32_t> &running,
                       std::atomic<int32_t> &closeRequested)
    : QObject(window)
    , m_window(window)
    , m_progress(progress)
    , m_running(running)
    , m_closeRequested(closeRequested)
    , m_runner(new TaskRunner(this))
{
    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("CloseTimer"));
    m_closeTimer->setInterval(kCloseTimerMilliseconds);
    connect(m_closeTimer, &QTimer::timeout, this, &ListExport::OnCloseTimer);
}

ListExport::~ListExport()
{
    // The worker sees the request after the row in hand and ends by itself; what it still
    // sends is dropped with the runner.
    m_stop->store(true);
}

void ListExport::Start(Source source, std::function<void(bool busy)> setBusy)
{
    if (m_running != 0 || source.rows.RowCount() <= 0)
        return;
    m_setBusy = std::move(setBusy);
    m_setBusy(true);
    m_running = 1;
    m_closeRequested = 0;

    const auto job = std::make_shared<Source>(std::move(source));
    const QString programDir = g_config.m_appDir;
    // The worker never reads the window's own flag, which goes with the window: a close
    // request reaches it through a flag of its own.
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_runner->start(
        [this, job, programDir, stop = m_stop](const TaskRunner::Request &request) {
            const auto message = [&request, this](Desktop::Icon icon, const QString &caption, const QString &text) {
                request.deliver([this, icon, caption, text] {
                    // The progress window goes first: it must not stand over the message.
                    m_progress->hide();
                    Desktop::current().showMessage(m_window, icon, caption, text, Desktop::Buttons::Ok);
                });
            };
            const QString output =
                CallListExport::OutputPath(QDir::tempPath(), job->name, QDateTime::currentDateTime());
            CallListExport exporter;
            if (!exporter.Begin(programDir, output, job->leadingHeader)) {
                if (exporter.LastFailure() == CallListExport::Failure::Template)
                    message(Desktop::Icon::Error, QString(), QStringLiteral("Open File Error"));
                else
                    message(Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                            QStringLiteral("The workbook %1 could not be made: %2").arg(output, exporter.ErrorText()));
                return;
            }
            const ResultSnapshot &rows = job->rows;
            // The progress window shows before the first row is written, and the worker
            // waits for it (the window's thread never waits for the worker): a close request
            // or a removal made as it appears is seen before any row is written.
            struct Gate
            {
                std::mutex mutex;
                std::condition_variable opened;
                bool open = false;
            };
            auto gate = std::make_shared<Gate>();
            request.deliver([this, gate, count = rows.RowCount()] {
                ShowProgressWindow(count);
                const std::lock_guard<std::mutex> lock(gate->mutex);
                gate->open = true;
                gate->opened.notify_all();
            });
            {
                std::unique_lock<std::mutex> lock(gate->mutex);
                while (!gate->opened.wait_for(lock, std::chrono::milliseconds(50), [&] { return gate->open; })) {
                    if (request.isCancelled())
                        return;
                }
            }
            bool written = true;
            int done = 0;
            std::vector<bool> writtenRows; // for the statistics, when asked for
            if (job->withStatistics)
                writtenRows.resize(std::size_t(rows.RowCount()));
            QElapsedTimer sinceProgress;
            sinceProgress.start();
            const auto showProgress = [&] {
                request.deliver([this, done] { m_progress->ProgressBar()->setValue(done); });
            };
            for (int row = 0; row < rows.RowCount(); ++row) {
                if (request.isCancelled())
                    break;
                if (rows.IsRemoved(row))
                    continue;
                QStringList cells =
                    CallListExport::WorkbookRow([&](int position) { return rows.CellText(row, position); });
                if (job->withBackupName)
                    cells.prepend(rows.BackupName(row));
                if (!exporter.AddRow(cells)) {
                    written = false;
                    break;
                }
                if (job->withStatistics)
                    writtenRows[std::size_t(row)] = true;
                ++done;
                if (sinceProgress.elapsed() >= kProgressMilliseconds) {
                    showProgress();
                    sinceProgress.restart();
                }
                // A close request stops the export after the row in hand.
                if (stop->load())
                    break;
            }
            showProgress();
            if (request.isCancelled()) {
                exporter.Discard();
                return;
            }
            if (written && job->withStatistics) {
                // Of the rows the list's sheet holds, those removed while it was written too.
                const CallStatistics statistics = CallStatistics::fromSnapshot(
                    rows, [&writtenRows](int row) { return writtenRows[std::size_t(row)]; });
                written = exporter.AddStatistics(statistics);
            }
            if (written && exporter.Finish()) {
                request.deliver([this, output] {
                    m_progress->hide();
                    if (!Desktop::current().openFile(output)) {
                        // The workbook is written all the same: say where it is.
                        Desktop::current().showMessage(m_window, Desktop::Icon::Error, QString(),
                                                       QStringLiteral("Please Install Excel First\n%1").arg(output),
                                                       Desktop::Buttons::Ok);
                    }
                });
            } else {
                const QString reason = exporter.ErrorText();
                exporter.Discard();
                message(Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                        QStringLiteral("The workbook %1 could not be written: %2").arg(output, reason));
            }
        },
        [this](const QString &failure) {
            m_progress->hide();
            Desktop::current().showMessage(m_window, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption), failure,
                                           Desktop::Buttons::Ok);
        });
    connect(m_runner, &TaskRunner::finished, this, &ListExport::Ended, Qt::UniqueConnection);
}

void ListExport::ShowProgressWindow(int rowCount)
{
    QProgressBar *bar = m_progress->ProgressBar();
    bar->setRange(0, rowCount);
    bar->setValue(0);
    // Centred over the window.
    const QRect over = m_window->frameGeometry();
    m_progress->move(over.center()
                     - QPoint(m_progress->frameGeometry().width() / 2, m_progress->frameGeometry().height() / 2));
    m_progress->show();
}

void ListExport::Ended()
{
    m_progress->hide();
    // The window's close timer polls this flag: from here on the window may close.
    m_running = 0;
    if (m_setBusy)
        m_setBusy(false);
}

void ListExport::RequestClose(std::function<void(int result)> close)
{
    m_closeRequested = 1;
    m_stop->store(true);
    if (m_running == 0) {
        close(QDialog::Rejected);
        return;
    }
    m_close = std::move(close);
    m_closeTimer->start();
}

void ListExport::StopCloseTimer()
{
    m_closeTimer->stop();
}

void ListExport::OnCloseTimer()
{
    if (m_tick)
        m_tick();
    else if (m_running == 0 && m_close)
        m_close(QDialog::Accepted);
}

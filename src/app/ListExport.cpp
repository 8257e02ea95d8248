#include "app/ListExport.h"

#include "app/DlgProgress.h"
#include "config/Config.h"
#include "export/CallListExport.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <system_error>

namespace {
constexpr int kCloseTimerMilliseconds = 100;
// A worker writing from a snapshot moves the progress bar at most this often.
constexpr int kProgressMilliseconds = 30;
} // namespace

ListExport::ListExport(QWidget *window, CDlgProgress *progress, QAbstractItemModel *list, std::atomic<int32_t> &running,
                       std::atomic<int32_t> &closeRequested)
    : QObject(window)
    , m_window(window)
    , m_progress(progress)
    , m_running(running)
    , m_closeRequested(closeRequested)
{
    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("CloseTimer"));
    m_closeTimer->setInterval(kCloseTimerMilliseconds);
    connect(m_closeTimer, &QTimer::timeout, this, [this] {
        if (m_running == 0 && m_close)
            m_close(QDialog::Accepted);
    });
    // A row deleted above the next one moves it up with the rows that follow, so that none
    // of them is skipped.
    connect(list, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (first < m_nextRow)
            m_nextRow -= qMin(last + 1, m_nextRow) - first;
    });
}

ListExport::~ListExport()
{
    m_closeTimer->stop();
    if (!m_worker.joinable())
        return;
    m_closeRequested = 1;
    while (m_running != 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_worker.join();
}

void ListExport::Start(Source source)
{
    if (m_running != 0 || source.rowCount() <= 0)
        return;
    m_source = std::move(source);
    m_source.setBusy(true);
    m_running = 1;
    m_closeRequested = 0;
    if (m_worker.joinable())
        m_worker.join(); // the previous worker has ended (m_running was 0)
    try {
        m_worker = std::thread([this] { Work(); });
    } catch (const std::system_error &) {
        // No thread: back to idle.
        m_source.setBusy(false);
        m_running = 0;
    }
}

void ListExport::RequestClose(std::function<void(int result)> close)
{
    m_closeRequested = 1;
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

void ListExport::OnUiThread(const std::function<void()> &work)
{
    QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

void ListExport::ShowProgress(int rowsWritten)
{
    QProgressBar *bar = m_progress->ProgressBar();
    QMetaObject::invokeMethod(
        bar, [bar, rowsWritten] { bar->setValue(rowsWritten); }, Qt::QueuedConnection);
}

void ListExport::ShowMessageFromWorker(Desktop::Icon icon, const QString &caption, const QString &text)
{
    OnUiThread([&] { Desktop::current().showMessage(m_window, icon, caption, text, Desktop::Buttons::Ok); });
}

void ListExport::Work()
{
    const QString output = CallListExport::OutputPath(QDir::tempPath(), m_source.name, QDateTime::currentDateTime());
    CallListExport exporter;
    if (!exporter.Begin(g_config.m_appDir, output, m_source.leadingHeader)) {
        if (exporter.LastFailure() == CallListExport::Failure::Template)
            ShowMessageFromWorker(Desktop::Icon::Error, QString(), QStringLiteral("Open File Error"));
        else
            ShowMessageFromWorker(
                Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                QStringLiteral("The workbook %1 could not be made: %2").arg(output, exporter.ErrorText()));
        End();
        return;
    }

    int count = 0;
    Snapshot rows;
    OnUiThread([&] {
        // Taken before the progress window shows: what the list removes from here on is
        // left out of a snapshot.
        if (m_source.snapshot) {
            rows = m_source.snapshot();
            count = rows.rowCount;
        } else {
            count = m_source.rowCount();
        }
        m_nextRow = 0;
        QProgressBar *bar = m_progress->ProgressBar();
        bar->setRange(0, count);
        bar->setValue(0);
        // Centred over the window.
        const QRect over = m_window->frameGeometry();
        m_progress->move(over.center()
                         - QPoint(m_progress->frameGeometry().width() / 2, m_progress->frameGeometry().height() / 2));
        m_progress->show();
    });

    const bool written = m_source.snapshot ? WriteSnapshot(std::move(rows), exporter) : WriteRowByRow(count, exporter);
    if (written && exporter.Finish()) {
        bool opened = false;
        OnUiThread([&] { opened = Desktop::current().openFile(output); });
        if (!opened) {
            // The workbook is written all the same: say where it is.
            ShowMessageFromWorker(Desktop::Icon::Error, QString(),
                                  QStringLiteral("Please Install Excel First\n%1").arg(output));
        }
    } else {
        const QString reason = exporter.ErrorText();
        exporter.Discard();
        ShowMessageFromWorker(Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                              QStringLiteral("The workbook %1 could not be written: %2").arg(output, reason));
    }
    End();
}

bool ListExport::WriteSnapshot(Snapshot rows, CallListExport &exporter)
{
    // `rows` is let go on return: the list need not keep its rows for the export any longer.
    bool written = true;
    int done = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (int row = 0; row < rows.rowCount; ++row) {
        if (rows.isRemoved(row))
            continue;
        if (!exporter.AddRow(rows.workbookRow(row))) {
            written = false;
            break;
        }
        ++done;
        if (sinceProgress.elapsed() >= kProgressMilliseconds) {
            ShowProgress(done);
            sinceProgress.restart();
        }
        if (m_closeRequested != 0)
            break;
    }
    ShowProgress(done);
    return written;
}

bool ListExport::WriteRowByRow(int count, CallListExport &exporter)
{
    for (int i = 0; i < count; ++i) {
        QStringList row;
        bool present = false;
        OnUiThread([&] {
            // Rows deleted during the export make the list shorter: what it holds is written.
            if (m_nextRow < m_source.rowCount()) {
                present = true;
                row = m_source.workbookRow(m_nextRow++);
            }
        });
        if (!present)
            break;
        if (!exporter.AddRow(row))
            return false;
        OnUiThread([&] { m_progress->ProgressBar()->setValue(i + 1); });
        if (m_closeRequested != 0)
            break;
    }
    return true;
}

void ListExport::End()
{
    OnUiThread([this] {
        m_progress->hide();
        m_source.setBusy(false);
    });
    // Last: from here on the window may close and be destroyed.
    m_running = 0;
}

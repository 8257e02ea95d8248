// CDlgQuery: the export of the result list into a workbook, on a worker thread.
//
// The worker never touches a widget or the list itself: every row, the progress window, the
// buttons and every message go through the UI thread, each call waiting for its answer
// there. It reads the row count once, then each row just before writing it, and stops when
// the list has no row left to write (rows deleted meanwhile) or the window asked to close.
// The row to write next is kept on the UI thread (m_exportRow), where deletions move it.
#include "app/DlgProgress.h"
#include "app/DlgQuery.h"
#include "config/Config.h"
#include "export/CallListExport.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include "ui_DlgQuery.h"

#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QProgressBar>
#include <QTableView>

#include <system_error>

void CDlgQuery::OnExport()
{
    if (m_model.RowCount() <= 0 || m_exportRunning != 0)
        return;
    ui->IdcFind->setEnabled(false);
    ui->IdcExport->setEnabled(false);
    // The worker reads the rows by their place in the list: no sort while it runs.
    ui->IdcResultList->horizontalHeader()->setSectionsClickable(false);
    m_exportRunning = 1;
    m_closeRequested = 0;
    if (m_worker.joinable())
        m_worker.join(); // the previous worker has ended (m_exportRunning was 0)
    try {
        m_worker = std::thread([this] { ExportToExcel(); });
    } catch (const std::system_error &) {
        // No thread: back to idle.
        ui->IdcFind->setEnabled(true);
        ui->IdcExport->setEnabled(true);
        ui->IdcResultList->horizontalHeader()->setSectionsClickable(true);
        m_exportRunning = 0;
    }
}

void CDlgQuery::OnUiThread(const std::function<void()> &work)
{
    QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

void CDlgQuery::ShowMessageFromWorker(Desktop::Icon icon, const QString &caption, const QString &text)
{
    OnUiThread([&] { Desktop::current().showMessage(this, icon, caption, text, Desktop::Buttons::Ok); });
}

void CDlgQuery::ExportToExcel()
{
    const QString output = CallListExport::OutputPath(QDir::tempPath(), m_backupDir, QDateTime::currentDateTime());
    CallListExport exporter;
    if (!exporter.Begin(g_config.m_appDir, output)) {
        if (exporter.LastFailure() == CallListExport::Failure::Template)
            ShowMessageFromWorker(Desktop::Icon::Error, QString(), QStringLiteral("Open File Error"));
        else
            ShowMessageFromWorker(
                Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                QStringLiteral("The workbook %1 could not be made: %2").arg(output, exporter.ErrorText()));
        EndExport();
        return;
    }

    OnUiThread([this] {
        QProgressBar *bar = m_progress->ProgressBar();
        bar->setRange(0, 1);
        bar->setValue(0);
        // Centred over the query window.
        const QRect over = frameGeometry();
        m_progress->move(over.center()
                         - QPoint(m_progress->frameGeometry().width() / 2, m_progress->frameGeometry().height() / 2));
        m_progress->show();
    });

    int count = 0;
    OnUiThread([&] {
        count = m_model.RowCount();
        m_exportRow = 0;
        m_progress->ProgressBar()->setRange(0, count);
    });

    bool written = true;
    for (int i = 0; i < count; ++i) {
        QStringList row;
        bool present = false;
        OnUiThread([&] {
            // Rows deleted during the export make the list shorter: what it holds is written.
            if (m_exportRow < m_model.RowCount()) {
                present = true;
                const int listRow = m_exportRow++;
                row = CallListExport::WorkbookRow([&](int position) { return m_model.CellText(listRow, position); });
            }
        });
        if (!present)
            break;
        if (!exporter.AddRow(row)) {
            written = false;
            break;
        }
        OnUiThread([&] { m_progress->ProgressBar()->setValue(i + 1); });
        if (m_closeRequested != 0)
            break;
    }

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
    EndExport();
}

void CDlgQuery::EndExport()
{
    OnUiThread([this] {
        m_progress->hide();
        ui->IdcFind->setEnabled(true);
        ui->IdcExport->setEnabled(true);
        ui->IdcResultList->horizontalHeader()->setSectionsClickable(true);
    });
    // Last: from here on the window may close and be destroyed.
    m_exportRunning = 0;
}

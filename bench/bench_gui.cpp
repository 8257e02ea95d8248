// bench_gui: the query window on a large backup. Opens CDlgQuery on the backup folder given
// as the argument (it must hold dbR.mdb; the 1,000,000-row benchmark database is the one
// meant), presses Find with no filter and measures
//   - the time until the list shows its first rows (Find returned and the list painted),
//   - the time until it holds every row,
//   - the longest time the window did not answer while the rows arrived (the largest gap
//     between the ticks of a 5 ms timer),
//   - the time a click on a column title takes to sort all the rows (by talk time, by
//     number, by start time the other way, back to the search's order), list painted,
//   - the process's peak memory (VmHWM) with the list filled and sorted;
// then exports the list through the progress window (the workbook is written but not
// opened) and, side by side, runs `orvik-cli export` of the same rows, each whole.
// Run it offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_gui /tmp/big-backup
#include "app/DlgQuery.h"
#include "config/Desktop.h"
#include "lang/Language.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {

QString PeakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QStringLiteral("?");
}

QString LoadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll().split(' ').value(0))
                                          : QStringLiteral("?");
}

// Answers every message with OK and keeps the workbooks it is asked to open.
class BenchDesktop : public HeadlessDesktop
{
public:
    Answer showMessage(QObject *, Icon, const QString &, const QString &text, Buttons buttons) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    bool openFile(const QString &path) override
    {
        opened << path;
        return true;
    }
    QStringList opened;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_gui BACKUP_DIR [RUNS]\n");
        return 2;
    }
    const QString backupDir = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    g_language.Load(QStringLiteral("language/Menu_English.xml"));
    BenchDesktop desktop;
    Desktop::install(&desktop);
    qputenv("TMPDIR", QDir::tempPath().toLocal8Bit());

    CDlgQuery dlg(backupDir);
    dlg.resize(1200, 800);
    dlg.show();
    QCoreApplication::processEvents();
    auto *find = dlg.findChild<QPushButton *>(QStringLiteral("IdcFind"));
    auto *exportButton = dlg.findChild<QPushButton *>(QStringLiteral("IdcExport"));

    std::printf("bench_gui: %s, %d runs\n", qPrintable(backupDir), runs);
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
        });

        clock.start();
        find->click();
        dlg.List()->viewport()->repaint();
        const qint64 firstRows = clock.elapsed();
        const int rowsAtFirst = dlg.Model().RowCount();
        lastTick = clock.elapsed();
        ticker.start();
        while (dlg.IsFilling())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const qint64 allRows = clock.elapsed();
        ticker.stop();

        std::printf("run %d: first rows shown after %lld ms (%d rows), all %d rows after %lld ms, "
                    "longest pause of the window %lld ms (load %s)\n",
                    run, (long long)firstRows, rowsAtFirst, dlg.Model().RowCount(), (long long)allRows,
                    (long long)longestGap, qPrintable(LoadAverage()));
    }

    const struct
    {
        const char *what;
        int column;
        Qt::SortOrder order;
    } sorts[] = {
        {"talk time", ResultListModel::CellTalkTime, Qt::AscendingOrder},
        {"number (text)", ResultListModel::CellPhone, Qt::AscendingOrder},
        {"start time, latest first", ResultListModel::CellStart, Qt::DescendingOrder},
        {"the search's order", -1, Qt::AscendingOrder},
    };
    for (const auto &sort : sorts) {
        QElapsedTimer clock;
        clock.start();
        dlg.List()->sortByColumn(sort.column, sort.order);
        dlg.List()->viewport()->repaint();
        std::printf("sort by %s: %lld ms\n", sort.what, (long long)clock.elapsed());
    }
    std::printf("peak memory with the list filled and sorted (VmHWM): %s\n", qPrintable(PeakMemory()));

    // The window's export, then orvik-cli's of the same rows.
    QElapsedTimer exportClock;
    exportClock.start();
    exportButton->click();
    while (dlg.m_exportRunning != 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double windowSeconds = exportClock.nsecsElapsed() / 1e9;
    for (const QString &file : desktop.opened)
        QFile::remove(file);
    const QString windowLoad = LoadAverage();

    const QString output = QDir::tempPath() + QStringLiteral("/bench-gui-cli-export.xlsx");
    QElapsedTimer cliClock;
    cliClock.start();
    const int exitCode = QProcess::execute(QCoreApplication::applicationDirPath() + QStringLiteral("/orvik-cli"),
                                           {QStringLiteral("export"), backupDir, QStringLiteral("--output"), output});
    const double cliSeconds = cliClock.nsecsElapsed() / 1e9;
    QFile::remove(output);
    std::printf("export of %d rows: the window %.2f s (load %s), orvik-cli export %.2f s (exit %d, load %s): "
                "%.2f x   (target at most 1.5)\n",
                dlg.Model().RowCount(), windowSeconds, qPrintable(windowLoad), cliSeconds, exitCode,
                qPrintable(LoadAverage()), windowSeconds / cliSeconds);
    std::printf("peak memory after the export (VmHWM): %s\n", qPrintable(PeakMemory()));
    return 0;
}

// bench_gui: the query window on a large backup. Opens CDlgQuery on the backup folder given
// as the argument (it must hold dbR.mdb; the 1,000,000-row benchmark database is the one
// meant), presses Find with no filter and measures
//   - the time until the list shows its first rows (Find returned and the list painted),
//   - the time until it holds every row,
//   - the longest time the window did not answer while the rows arrived (the largest gap
//     between the ticks of a 5 ms timer),
//   - the time a click on a column title takes until the list shows all the rows sorted (by
//     talk time, by number, by start time the other way, back to the search's order), and
//     the window's longest pause meanwhile (the sort runs on a worker),
//   - type-ahead in the number column: the time until the list shows the row that starts
//     with the letters typed, per letter, and the longest pause of the window,
//   - the process's peak memory (VmHWM) with the list filled and sorted;
//   - the time each keystroke in the filter box above the list takes to narrow the rows
//     listed and paint the list (typing "138", deleting it letter by letter, a user name's
//     letters in capitals, and Escape), against the target of 50 ms;
//   - the statistics view: the time from the list being complete to the
//     view showing its figures, when the view is shown during Find and when it is switched
//     to with the list complete, the memory the count takes (peak and kept, over the
//     resident size before it), and the time a click on a figure takes to narrow the list;
// then exports the list through the progress window (the workbook is written but not
// opened) and, side by side, runs `orvik-cli export` of the same rows, each whole.
// Run it offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_gui /tmp/big-backup
#include "app/DlgQuery.h"
#include "app/ListStatistics.h"
#include "config/Desktop.h"
#include "lang/Language.h"
#include "query/CallListModel.h"
#include "stats/CallSelection.h"

#include <QTabBar>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <malloc.h>
#include <sys/resource.h>

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

// A line of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Starts counting the peak resident size (VmHWM) again from the size now.
void ResetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The processor time of the whole process so far, all threads, in milliseconds.
qint64 ProcessorMs()
{
    struct rusage usage
    {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QString LoadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll().split(' ').value(0))
                                          : QStringLiteral("?");
}

// Spins the event loop until `done`, and says how long the window went without answering
// (the largest gap between the ticks of a 5 ms timer).
template <typename Done>
qint64 LongestPauseUntil(Done done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return std::max(longestGap, clock.elapsed() - lastTick);
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
        clock.start();
        find->click();
        // The rows are read on a worker: the first batch comes through the event loop.
        const qint64 firstPause = LongestPauseUntil([&] { return dlg.Model().RowCount() > 0 || !dlg.IsFilling(); });
        dlg.List()->viewport()->repaint();
        const qint64 firstRows = clock.elapsed();
        const int rowsAtFirst = dlg.Model().RowCount();
        const qint64 longestGap = std::max(firstPause, LongestPauseUntil([&] { return !dlg.IsFilling(); }));
        const qint64 allRows = clock.elapsed();

        std::printf("run %d: first rows shown after %lld ms (%d rows), all %d rows after %lld ms, "
                    "longest pause of the window %lld ms (load %s)\n",
                    run, (long long)firstRows, rowsAtFirst, dlg.Model().RowCount(), (long long)allRows,
                    (long long)longestGap, qPrintable(LoadAverage()));
    }

    // The statistics view. First shown while Find runs: the figures of the rows so far come
    // now and then, and those of all rows once the last has come.
    auto *statistics = dlg.findChild<ListStatistics *>();
    QTabBar *tabs = statistics->tabs();
    // Both wait in the event loop, so that the window's thread leaves the processors to the
    // workers as it would in use.
    for (int run = 1; run <= runs; ++run) {
        tabs->setCurrentIndex(1);
        QElapsedTimer clock;
        qint64 complete = -1, processor = 0;
        QEventLoop wait;
        const QMetaObject::Connection filled = QObject::connect(&dlg.Model(), &ResultListModel::fillFinished, [&] {
            complete = clock.elapsed();
            processor = ProcessorMs();
        });
        const QMetaObject::Connection shown = QObject::connect(statistics, &ListStatistics::ready, [&] {
            if (complete >= 0 && statistics->isCurrent())
                wait.quit();
        });
        clock.start();
        find->click();
        wait.exec();
        QObject::disconnect(filled);
        QObject::disconnect(shown);
        std::printf("statistics shown during Find, run %d: all %d rows after %lld ms, the view ready %lld ms later "
                    "(target at most 300), %lld ms of processor time meanwhile (load %s)\n",
                    run, dlg.Model().RowCount(), (long long)complete, (long long)(clock.elapsed() - complete),
                    (long long)(ProcessorMs() - processor), qPrintable(LoadAverage()));
    }
    // Then switched to with the list complete (a narrowing that keeps every row makes the
    // figures stale while the list is shown), with the memory the count takes.
    for (int run = 1; run <= runs; ++run) {
        tabs->setCurrentIndex(0);
        dlg.Model().Narrow([run](const ResultRows &, int) { return run > 0; });
        QCoreApplication::processEvents();
        // What the heap holds free goes back to the system first, so that the count's own
        // memory shows in the resident size.
        malloc_trim(0);
        const long before = StatusKb("VmRSS");
        const struct mallinfo2 heapBefore = mallinfo2();
        ResetPeakMemory();
        QElapsedTimer clock;
        clock.start();
        const qint64 processor = ProcessorMs();
        QEventLoop wait;
        const QMetaObject::Connection shown =
            QObject::connect(statistics, &ListStatistics::ready, &wait, &QEventLoop::quit);
        tabs->setCurrentIndex(1);
        if (!statistics->isCurrent())
            wait.exec();
        QObject::disconnect(shown);
        const qint64 ready = clock.elapsed();
        const struct mallinfo2 heapAfter = mallinfo2();
        const double heldMb =
            (double(heapAfter.uordblks + heapAfter.hblkhd) - double(heapBefore.uordblks + heapBefore.hblkhd))
            / 1048576.0;
        std::printf("statistics switched to, run %d: ready after %lld ms (%lld ms of processor time); resident "
                    "%.1f MB before, peak +%.1f MB, after +%.1f MB (target below 20); allocated and still held "
                    "after: %+.2f MB (load %s)\n",
                    run, (long long)ready, (long long)(ProcessorMs() - processor), before / 1024.0,
                    (StatusKb("VmHWM") - before) / 1024.0, (StatusKb("VmRSS") - before) / 1024.0, heldMb,
                    qPrintable(LoadAverage()));
    }
    // A click on the busiest weekday hour narrows the list; the list is painted.
    {
        QElapsedTimer clock;
        clock.start();
        statistics->showCalls(CallSelection::slot(2, 10, false));
        dlg.List()->viewport()->repaint();
        std::printf("narrowed to Wednesdays 10:00-10:59 (%d rows): %lld ms; ", dlg.Model().RowCount(),
                    (long long)clock.elapsed());
        clock.restart();
        statistics->showAllCalls();
        dlg.List()->viewport()->repaint();
        std::printf("all %d rows again: %lld ms\n", dlg.Model().RowCount(), (long long)clock.elapsed());
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
        const qint64 pause = LongestPauseUntil([&] { return !dlg.Model().IsSorting(); });
        dlg.List()->viewport()->repaint();
        std::printf("sort by %s: shown after %lld ms, longest pause of the window %lld ms   (target under 100)\n",
                    sort.what, (long long)clock.elapsed(), (long long)pause);
    }

    // Type-ahead in the number column (sorted by number): the index of the column's first
    // bytes is made on a worker when the column becomes current; then each letter.
    dlg.List()->sortByColumn(ResultListModel::CellPhone, Qt::AscendingOrder);
    LongestPauseUntil([&] { return !dlg.Model().IsSorting(); });
    {
        QElapsedTimer clock;
        clock.start();
        bool ready = false;
        QObject::connect(&dlg.Model(), &CallListModel::keyboardSearchReady, [&] { ready = true; });
        dlg.List()->setCurrentIndex(dlg.Model().index(0, ResultListModel::CellPhone));
        const qint64 pause = LongestPauseUntil([&] { return ready; });
        std::printf("type-ahead index of the number column made after %lld ms, longest pause of the window %lld ms\n",
                    (long long)clock.elapsed(), (long long)pause);
        qint64 slowest = 0;
        for (const QString &letters : {QStringLiteral("9"), QStringLiteral("1"), QStringLiteral("13"),
                                       QStringLiteral("138"), QStringLiteral("0"), QStringLiteral("x")}) {
            dlg.List()->setCurrentIndex(dlg.Model().index(0, ResultListModel::CellPhone));
            QElapsedTimer letter;
            letter.start();
            const int row = dlg.Model().FindRowStartingWith(ResultListModel::CellPhone, letters, 1);
            const qint64 ms = letter.elapsed();
            slowest = std::max(slowest, ms);
            std::printf("  type-ahead \"%s\": row %d after %lld ms\n", qPrintable(letters), row, (long long)ms);
        }
        std::printf("type-ahead: slowest %lld ms per search   (target under 50)\n", (long long)slowest);
    }
    std::printf("peak memory with the list filled and sorted (VmHWM): %s\n", qPrintable(PeakMemory()));

    // The filter box: each keystroke as the user types it, the list painted after it; with
    // the list sorted by number (as the type-ahead above left it), then in its own order.
    auto *box = dlg.findChild<QLineEdit *>(QStringLiteral("NarrowBox"));
    for (const char *order : {"sorted by number", "in the search's order"}) {
        if (!box)
            break;
        if (std::strcmp(order, "in the search's order") == 0) {
            dlg.List()->sortByColumn(-1, Qt::AscendingOrder);
            LongestPauseUntil([&] { return !dlg.Model().IsSorting(); });
        }
        std::printf("filter box, the list %s:\n", order);
        box->setFocus();
        const struct
        {
            Qt::Key key;
            const char *text;
        } keys[] = {{Qt::Key_1, "1"},        {Qt::Key_3, "3"},        {Qt::Key_8, "8"}, {Qt::Key_Backspace, ""},
                    {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""}, {Qt::Key_Z, "Z"}, {Qt::Key_H, "H"},
                    {Qt::Key_A, "A"},        {Qt::Key_Escape, ""}};
        std::vector<double> times;
        for (const auto &k : keys) {
            QElapsedTimer clock;
            clock.start();
            QKeyEvent press(QEvent::KeyPress, k.key, Qt::NoModifier, QString::fromLatin1(k.text));
            QCoreApplication::sendEvent(box, &press);
            QKeyEvent release(QEvent::KeyRelease, k.key, Qt::NoModifier, QString::fromLatin1(k.text));
            QCoreApplication::sendEvent(box, &release);
            dlg.List()->viewport()->repaint();
            const double ms = clock.nsecsElapsed() / 1e6;
            times.push_back(ms);
            std::printf("filter box \"%s\": %d rows shown, %.1f ms\n", qPrintable(box->text()), dlg.Model().RowCount(),
                        ms);
        }
        std::sort(times.begin(), times.end());
        std::printf("filter box over %d rows: median %.1f ms, slowest %.1f ms a keystroke   (target at most 50, "
                    "load %s)\n",
                    dlg.Model().ListedCount(), times[times.size() / 2], times.back(), qPrintable(LoadAverage()));
    }

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

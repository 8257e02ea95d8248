// bench_search: the search over every backup on a root of 50 backups of 20,000 rows each.
//
// The 20,000-row database is made once from the 1,000,000-row benchmark database (unpacked
// into build/bench-data as bench_database does): a copy whose table keeps only the data
// pages that hold its first 20,000 or so rows (the others cleared from the table's page
// map, the row count set to match), so it reads as a sound table of that size. The 50
// backups are hard links of it, each with a config.ini. Measured, with the load average:
//   (a) orvik-cli search --number 138 over the root, whole process, best of three;
//   (b) the sum of 50 orvik-cli query --number 138 runs, one per backup, best of three sums;
//   (c) the search window: Find pressed until the first rows are in the list and painted,
//       and until every backup is searched (three runs with the number filter, three with
//       none, which lists all 1,000,000 rows).
// Run it offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_search [record-1m.mdb.xz]
#include "app/SearchAllWindow.h"
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "db/jet/Bytes.h"
#include "db/jet/DataPage.h"
#include "db/jet/Database.h"
#include "db/jet/RowScanner.h"
#include "lang/Language.h"
#include "query/BackupSearch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>

#include <atomic>
#include <cstdio>
#include <set>

#include <unistd.h>

namespace {

constexpr int kBackups = 50;
constexpr std::uint32_t kRows = 20000;

struct PagePatch
{
    std::uint32_t page;
    QByteArray bytes;
};

// Clears from a usage-map bitmap every page that is not in `keep`.
void clearBits(std::uint8_t *bitmap, int bytes, std::uint64_t firstPage, const std::set<std::uint32_t> &keep)
{
    for (int i = 0; i < bytes; ++i)
        for (int bit = 0; bit < 8; ++bit)
            if (!keep.count(std::uint32_t(firstPage + std::uint64_t(i) * 8 + std::uint64_t(bit))))
                bitmap[i] &= std::uint8_t(~(1u << bit));
}

// Writes `target`: `source` whose table "record" keeps only the data pages of its first
// `wanted` rows (whole pages); returns the rows kept, 0 on failure.
std::uint32_t makeSmallDatabase(const QString &source, const QString &target, std::uint32_t wanted)
{
    QFile::remove(target);
    if (!QFile::copy(source, target))
        return 0;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

    std::vector<PagePatch> patches;
    std::uint64_t rowCountAt = 0;
    std::uint32_t rows = 0;
    {
        jet::Database db;
        QString error;
        if (!db.open(target, jet::PageFile::OpenMode::ReadOnly, &error))
            return 0;
        const auto table = db.table(QStringLiteral("record"), &error);
        if (!table || !table->rowCountFileOffset())
            return 0;
        rowCountAt = *table->rowCountFileOffset();
        std::set<std::uint32_t> keep;
        jet::RowScanner scan(db.file(), *table);
        std::uint32_t current = 0xFFFFFFFF;
        while (scan.next()) {
            if (scan.rowId().page != current) {
                if (rows >= wanted)
                    break;
                current = scan.rowId().page;
                keep.insert(current);
            }
            ++rows;
        }

        const jet::PageFile &file = db.file();
        const int pageSize = file.pageSize();
        const jet::RowId map = table->ownedPagesMap();
        QByteArray page(pageSize, '\0');
        auto *bytes = reinterpret_cast<std::uint8_t *>(page.data());
        int start = 0;
        int end = 0;
        if (!file.readPage(map.page, bytes)
            || !jet::DataPage(file.layout(), bytes).rowBounds(int(map.slot), &start, &end))
            return 0;
        std::uint8_t *row = bytes + start;
        if (row[0] == 0x00) {
            clearBits(row + 5, end - start - 5, jet::readU32(row + 1), keep);
            patches.push_back({map.page, page});
        } else {
            const std::uint64_t perMapPage = std::uint64_t(pageSize - 4) * 8;
            for (int m = 0; m < (end - start - 1) / 4; ++m) {
                const std::uint32_t mapPage = jet::readU32(row + 1 + 4 * m);
                if (mapPage == 0 || mapPage >= file.pageCount())
                    continue;
                QByteArray bits(pageSize, '\0');
                auto *b = reinterpret_cast<std::uint8_t *>(bits.data());
                if (!file.readPage(mapPage, b))
                    return 0;
                clearBits(b + 4, pageSize - 4, std::uint64_t(m) * perMapPage, keep);
                patches.push_back({mapPage, bits});
            }
        }
    }
    QFile out(target);
    if (!out.open(QIODevice::ReadWrite))
        return 0;
    for (const PagePatch &patch : patches) {
        out.seek(qint64(patch.page) * patch.bytes.size());
        out.write(patch.bytes);
    }
    const std::uint8_t count[4] = {std::uint8_t(rows), std::uint8_t(rows >> 8), std::uint8_t(rows >> 16),
                                   std::uint8_t(rows >> 24)};
    out.seek(qint64(rowCountAt));
    out.write(reinterpret_cast<const char *>(count), 4);
    return rows;
}

// Wall time of one process, its output dropped; the exit code in `exitCode`.
double runProcess(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (exitCode)
        *exitCode = process.exitCode();
    return clock.nsecsElapsed() / 1e9;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QStringLiteral("?");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    const QString archive = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVIK_BIG_DATABASE_XZ);
    const QString work = QDir::cleanPath(bin + QStringLiteral("/../bench-data"));
    const QString big = work + QStringLiteral("/record-1m/dbR.mdb");
    QDir().mkpath(work + QStringLiteral("/record-1m"));
    if (!QFileInfo::exists(big)) {
        std::printf("unpacking %s ...\n", qPrintable(archive));
        const QString command = QStringLiteral("xz -dc '%1' > '%2'").arg(archive, big);
        if (std::system(command.toLocal8Bit().constData()) != 0)
            return 1;
        QFile(work + QStringLiteral("/record-1m/config.ini")).open(QIODevice::WriteOnly);
    }

    const QString small = work + QStringLiteral("/search-20k.mdb");
    const std::uint32_t rows = makeSmallDatabase(big, small, kRows);
    if (rows == 0) {
        std::fprintf(stderr, "cannot make the 20,000-row database\n");
        return 1;
    }
    const QString root = work + QStringLiteral("/search-root");
    QDir(root).removeRecursively();
    QStringList dirs;
    for (int i = 1; i <= kBackups; ++i) {
        const QString dir = root + QStringLiteral("/backup-%1/").arg(i, 2, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        if (::link(QFile::encodeName(small).constData(), QFile::encodeName(dir + "dbR.mdb").constData()) != 0)
            return 1;
        QFile config(dir + QStringLiteral("config.ini"));
        config.open(QIODevice::WriteOnly);
        config.write("[base]\r\ndt_start=2010-01-01 00:00:00\r\n");
        dirs << dir;
    }
    std::printf("bench_search: %d backups of %u rows (hard links), load average %s\n", kBackups, rows,
                qPrintable(loadAverage()));

    const QString cli = bin + QStringLiteral("/orvik-cli");
    const QStringList filter{QStringLiteral("--number"), QStringLiteral("138"), QStringLiteral("-q")};
    double search = 1e9;
    double queries = 1e9;
    for (int run = 0; run < 3; ++run) {
        int exitCode = -1;
        search = std::min(search, runProcess(cli, QStringList{"search", "--root", root} + filter, &exitCode));
        if (exitCode != 0)
            std::fprintf(stderr, "orvik-cli search exited with %d\n", exitCode);
        double sum = 0;
        for (const QString &dir : dirs)
            sum += runProcess(cli, QStringList{"query", dir} + filter);
        queries = std::min(queries, sum);
    }
    std::printf("orvik-cli search --number 138: %.3f s; 50 orvik-cli query runs: %.3f s (%.2f x)\n", search, queries,
                search / queries);

    // The engine alone, in this process: the first backup done, all done.
    std::vector<BackupSearch::Target> targets;
    for (const QString &dir : dirs)
        targets.push_back({QFileInfo(QDir::cleanPath(dir)).fileName(), dir});
    for (const QString &statement :
         {QStringLiteral("select * from Record where fsk LIKE '%138%' order by record_time_start"),
          QStringLiteral("select * from Record  order by record_time_start")}) {
        BackupSearch engine;
        qint64 firstDone = -1;
        int done = 0;
        QElapsedTimer clock;
        QObject::connect(&engine, &BackupSearch::BackupSearched, &engine, [&](int, int) {
            if (firstDone < 0)
                firstDone = clock.elapsed();
            ++done;
        });
        clock.start();
        engine.Start(targets, statement);
        while (done < engine.TargetCount())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("engine, %s: first backup searched after %lld ms, all after %lld ms\n",
                    statement.contains(u'%') ? "--number 138" : "no filter", (long long)firstDone,
                    (long long)clock.elapsed());
    }

    g_language.Load(QStringLiteral("language/Menu_English.xml"));
    CBackupArray catalogue(g_config);
    catalogue.AddDirectory(root);
    SearchAllWindow window(catalogue);
    window.resize(1200, 800);
    window.show();
    QCoreApplication::processEvents();
    auto *find = window.findChild<QPushButton *>(QStringLiteral("IdcFind"));
    auto *number = window.findChild<QLineEdit *>(QStringLiteral("IdcNumber"));
    for (int run = 1; run <= 6; ++run) {
        // Three runs with the number filter, then three with none (every row listed).
        number->setText(run <= 3 ? QStringLiteral("138") : QString());
        QElapsedTimer clock;
        clock.start();
        find->click();
        while (window.Model().RowCount() == 0 && window.IsSearching())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window.List()->viewport()->repaint();
        const qint64 first = clock.elapsed();
        const int firstRows = window.Model().RowCount();
        while (window.IsSearching())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("window, %s: first rows shown after %lld ms (%d rows), all %d rows after %lld ms\n",
                    run <= 3 ? "--number 138" : "no filter", (long long)first, firstRows, window.Model().RowCount(),
                    (long long)clock.elapsed());
    }
    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}

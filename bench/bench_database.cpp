// Speed of the database road on the 1,000,000-row benchmark database, side by side with
// reading the file once (cat) and with Debian's mdb-export, in one run:
//   (a) orvik-cli query for one month (--from 2011-03-01 --to 2011-03-31), whole process,
//       through the index and with the scan forced (ORVIK_FORCE_SCAN=1)
//   (b) the same for one day (2011-03-15)
//   (c) orvik-cli sql with the number search of the query window, ordered by start time, with
//       the scan on every core and on one (ORVIK_SCAN_THREADS=1)
//   (d) the statement of (c) read into call records through CAdoRecordR, in this process
//   (e) one delete by id (three indexes, journal and syncs included), on a copy, five ids
//   (f) orvik-cli query listing all 1,000,000 rows, and mdb-export of the whole table
// Whole processes run in turn with cat (A, cat, A, cat, ...); each figure is the median of
// its runs, and its ratio the median of the ratios of each pair, with the load average at
// the time. Peak memory is the largest resident size the process reached (from wait4).
// The database is unpacked once into the build tree.
//
//   bench_database [record-1m.mdb.xz]
#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "db/ado/AdoRecordR.h"
#include "db/record/CallRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kRuns = 7;

struct Measure
{
    double seconds = 0;
    long peakKb = 0;
};

// Runs a program with stdout to /dev/null and `environment` added to this process's;
// wall time and peak resident size.
Measure runProcess(const QStringList &command, const QStringList &environment = {})
{
    QList<QByteArray> words;
    for (const QString &w : command)
        words << QFile::encodeName(w);
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    QList<QByteArray> extra;
    for (const QString &e : environment)
        extra << e.toLocal8Bit();
    std::vector<char *> envp;
    for (char **e = environ; *e; ++e)
        envp.push_back(*e);
    for (QByteArray &e : extra)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return {};
    }
    int status = 0;
    struct rusage usage
    {};
    wait4(pid, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    return {timer.nsecsElapsed() / 1e9, usage.ru_maxrss};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QString loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll().split(' ').value(0))
                                          : QStringLiteral("?");
}

// A whole process beside cat of the database, in turn.
struct Pair
{
    double seconds = 0;
    double catSeconds = 0;
    double ratio = 0;
    long peakKb = 0;
    QString load;
};

Pair againstCat(const QString &database, const QStringList &command, const QStringList &environment = {})
{
    std::vector<double> own, cat, ratios;
    Pair pair;
    runProcess(command, environment); // warm-up
    for (int i = 0; i < kRuns; ++i) {
        const Measure a = runProcess(command, environment);
        const Measure c = runProcess({"cat", database});
        own.push_back(a.seconds);
        cat.push_back(c.seconds);
        ratios.push_back(a.seconds / c.seconds);
        pair.peakKb = std::max(pair.peakKb, a.peakKb);
    }
    pair.seconds = median(own);
    pair.catSeconds = median(cat);
    pair.ratio = median(ratios);
    pair.load = loadAverage();
    return pair;
}

void printPair(const char *what, const Pair &p, const char *target)
{
    std::printf("%-44s %7.3f s  cat %6.3f s  %5.2f x cat  %6.1f MB  load %s  %s\n", what, p.seconds, p.catSeconds,
                p.ratio, p.peakKb / 1024.0, qPrintable(p.load), target);
}

// Silences the notices a fallback open would show.
class QuietDesktop : public HeadlessDesktop
{
public:
    Answer showMessage(QObject *, Icon, const QString &, const QString &, Buttons buttons) override
    {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
};

const QString kStatement = QStringLiteral("select * from Record where fsk LIKE '%138%' order by record_time_start");

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QuietDesktop desktop;
    Desktop::install(&desktop);
    const QString bin = QCoreApplication::applicationDirPath();
    const QString archive = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVIK_BIG_DATABASE_XZ);
    const QString work = bin + QStringLiteral("/../bench-data");
    const QString backup = work + QStringLiteral("/record-1m");
    const QString database = backup + QStringLiteral("/dbR.mdb");
    QDir().mkpath(backup);
    if (!QFileInfo::exists(database)) {
        std::printf("unpacking %s ...\n", qPrintable(archive));
        const QString command = QStringLiteral("xz -dc '%1' > '%2'").arg(archive, database);
        if (std::system(command.toLocal8Bit().constData()) != 0) {
            std::fprintf(stderr, "cannot unpack %s\n", qPrintable(archive));
            return 1;
        }
        QFile(backup + QStringLiteral("/config.ini")).open(QIODevice::WriteOnly);
    }
    const QString cli = bin + QStringLiteral("/orvik-cli");
    const QStringList month = {cli, "query", backup, "--from", "2011-03-01", "--to", "2011-03-31"};
    const QStringList day = {cli, "query", backup, "--from", "2011-03-15", "--to", "2011-03-15"};
    const QStringList search = {cli, "sql", database, kStatement};
    const QStringList scanOnly = {QStringLiteral("ORVIK_FORCE_SCAN=1")};
    const QStringList oneThread = {QStringLiteral("ORVIK_SCAN_THREADS=1")};

    std::printf("1,000,000-row record table (%s), medians of %d runs in turn with cat\n", qPrintable(database), kRuns);
    printPair("(a) orvik-cli query, one month", againstCat(database, month), "(target at most 1.5 x cat)");
    printPair("    the same, scan forced", againstCat(database, month, scanOnly), "");
    printPair("(b) orvik-cli query, one day", againstCat(database, day), "(target at most 0.5 x cat)");
    printPair("    the same, scan forced", againstCat(database, day, scanOnly), "");
    printPair("(c) orvik-cli sql, number search", againstCat(database, search), "(target at most 3 x cat)");
    printPair("    the same, scan on one thread", againstCat(database, search, oneThread), "");

    std::vector<double> inProcess;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        CAdoDb db;
        db.OpenAccessDatabase(database, QString());
        CAdoRecordR cursor(&db);
        int rows = 0;
        if (cursor.Open(kStatement)) {
            while (cursor.HasRecord()) {
                CallRecord record;
                cursor.GetRecord(record);
                ++rows;
                cursor.MoveNext();
            }
        }
        if (rows == 0)
            std::fprintf(stderr, "(d) read no rows\n");
        inProcess.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("%-44s %7.3f s  load %s\n", "(d) the same into call records, in process", median(inProcess),
                qPrintable(loadAverage()));

    // Deletes on a copy: the ids lie at the start, the middle and the end of the table.
    const QString copy = work + QStringLiteral("/delete-copy.mdb");
    QFile::remove(copy);
    QFile::copy(database, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    double slowestDelete = 0, totalDelete = 0;
    const int ids[] = {17, 250000, 500001, 750003, 999990};
    {
        CAdoDb db;
        db.OpenAccessDatabase(copy, QString());
        for (int id : ids) {
            QElapsedTimer timer;
            timer.start();
            if (!db.SqlExecute(QStringLiteral("delete from record where id = %1").arg(id)))
                std::fprintf(stderr, "delete of id %d failed: %s\n", id, qPrintable(db.LastError()));
            const double s = timer.nsecsElapsed() / 1e9;
            slowestDelete = std::max(slowestDelete, s);
            totalDelete += s;
        }
    }
    QFile::remove(copy);
    std::printf("%-44s %7.3f s slowest, %.3f s mean of %d  load %s  (target at most 0.020 s)\n",
                "(e) delete by id, 3 indexes", slowestDelete, totalDelete / std::size(ids), int(std::size(ids)),
                qPrintable(loadAverage()));

    Measure all{1e9, 0}, mdbExport{1e9, 0};
    for (int i = 0; i < 3; ++i) {
        const Measure f = runProcess({cli, "query", backup});
        const Measure m = runProcess({"mdb-export", database, "record"});
        all = {std::min(all.seconds, f.seconds), std::max(all.peakKb, f.peakKb)};
        mdbExport = {std::min(mdbExport.seconds, m.seconds), std::max(mdbExport.peakKb, m.peakKb)};
    }
    std::printf("%-44s %7.3f s  %6.1f MB = %.0f bytes per row  load %s\n", "(f) orvik-cli query, all rows (best of 3)",
                all.seconds, all.peakKb / 1024.0, all.peakKb * 1024.0 / 1e6, qPrintable(loadAverage()));
    std::printf("%-44s %7.3f s  %6.1f MB\n", "    mdb-export, whole table (best of 3)", mdbExport.seconds,
                mdbExport.peakKb / 1024.0);
    return 0;
}

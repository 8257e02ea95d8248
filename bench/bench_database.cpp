// Speed of the database road on the 1,000,000-row benchmark database, side by side with
// Debian's mdb-export in the same run:
//   (a) orvik-cli sql with the number search of the query window, output to /dev/null
//   (b) the same statement read into call records through CAdoRecordR, in this process
//   (c) mdb-export of the whole table to /dev/null
//   (d) reading the file once (cat to /dev/null)
//   (e) one delete by id (three indexes), on a copy, for several ids
//   (f) orvik-cli query on the backup with no filter (all rows listed), to /dev/null
// Times are the best of three runs; peak memory is the largest resident size the
// process reached (from wait4). The database is unpacked once into the build tree.
//
//   bench_database [record-1m.mdb.xz]
#include "config/Desktop.h"
#include "db/AdoDb.h"
#include "db/AdoRecordR.h"
#include "db/CallRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Measure
{
    double seconds = 0;
    long peakKb = 0;
};

// Runs a program with stdout to /dev/null; wall time and peak resident size.
Measure runProcess(const QStringList &command)
{
    QList<QByteArray> words;
    for (const QString &w : command)
        words << QFile::encodeName(w);
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
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

Measure best(const std::function<Measure()> &run)
{
    Measure result{1e9, 0};
    for (int i = 0; i < 3; ++i) {
        const Measure m = run();
        result.seconds = std::min(result.seconds, m.seconds);
        result.peakKb = std::max(result.peakKb, m.peakKb);
    }
    return result;
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

    const Measure a = best([&] { return runProcess({cli, "sql", database, kStatement}); });
    const Measure b = best([&] {
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
            std::fprintf(stderr, "(b) read no rows\n");
        return Measure{timer.nsecsElapsed() / 1e9, 0};
    });
    const Measure c = best([&] { return runProcess({"mdb-export", database, "record"}); });
    const Measure d = best([&] { return runProcess({"cat", database}); });

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

    const Measure f = best([&] { return runProcess({cli, "query", backup}); });

    std::printf("\n1,000,000-row record table, best of 3\n");
    std::printf("(a) orvik-cli sql, number search   %7.3f s   peak %6.1f MB\n", a.seconds, a.peakKb / 1024.0);
    std::printf("(b) same, 19 columns into records  %7.3f s\n", b.seconds);
    std::printf("(c) mdb-export, whole table        %7.3f s   peak %6.1f MB\n", c.seconds, c.peakKb / 1024.0);
    std::printf("(d) cat, the file once             %7.3f s\n", d.seconds);
    std::printf("    (b)/(c) = %.3f   (target at most 0.1)   peak of (a) target < 300 MB\n", b.seconds / c.seconds);
    std::printf("(e) delete by id, 3 indexes        %7.3f s slowest, %.3f s mean of %d   (target < 0.5 s)\n",
                slowestDelete, totalDelete / std::size(ids), int(std::size(ids)));
    std::printf("(f) orvik-cli query, all rows      %7.3f s   peak %6.1f MB = %.0f bytes per row\n", f.seconds,
                f.peakKb / 1024.0, f.peakKb * 1024.0 / 1e6);
    std::printf("    (f)/(c) = %.3f   (target under 0.5, under 250 bytes per row)\n", f.seconds / c.seconds);
    return 0;
}

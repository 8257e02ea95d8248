#include "backup/BackupArray.h"
#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "cli/TerminalDesktop.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "query/BackupMerge.h"
#include "query/ResultListModel.h"
#include "stats/CallStatistics.h"

#include <QCommandLineParser>
#include <QDir>

#include <optional>
#include <utility>

namespace Cli {

namespace {

using Grouping = CallStatistics::Grouping;

const std::pair<const char *, Grouping> kGroupings[] = {
    {"day", Grouping::Day},         {"week", Grouping::Week}, {"month", Grouping::Month},   {"hour", Grouping::Hour},
    {"weekday", Grouping::Weekday}, {"user", Grouping::User}, {"number", Grouping::Number}, {"type", Grouping::Type},
};

// The columns after a group's key; the totals have the median before the longest call.
QStringList figureKeys(bool totals)
{
    QStringList keys{QStringLiteral("calls"),        QStringLiteral("incoming"),       QStringLiteral("outgoing"),
                     QStringLiteral("missed"),       QStringLiteral("answered"),       QStringLiteral("missed_percent"),
                     QStringLiteral("talk_seconds"), QStringLiteral("average_seconds")};
    if (totals)
        keys << QStringLiteral("median_seconds");
    keys << QStringLiteral("longest_seconds") << QStringLiteral("first") << QStringLiteral("last");
    return keys;
}

void addNumber(TableWriter &out, qint64 value)
{
    out.addNumberText(QByteArray::number(value));
}

void addTime(TableWriter &out, qint64 seconds)
{
    if (seconds == CallFigures::kNoTime)
        out.addNull();
    else
        out.addText(CallStatistics::timeText(seconds).toUtf8());
}

void addFigures(TableWriter &out, const CallFigures &figures, std::optional<qint64> median)
{
    for (const qint64 count : {figures.calls, figures.incoming, figures.outgoing, figures.missed, figures.answered()})
        addNumber(out, count);
    const qint64 perMille = figures.missedPerMille();
    out.addNumberText(QByteArray::number(perMille / 10) + '.' + QByteArray::number(perMille % 10));
    addNumber(out, figures.talkSeconds);
    addNumber(out, figures.averageSeconds());
    if (median)
        addNumber(out, *median);
    addNumber(out, figures.longestSeconds);
    addTime(out, figures.first);
    addTime(out, figures.last);
}

// The rows of the one backup DIR, as query reads them.
int countBackup(const QCommandLineParser &parser, CallStatistics &statistics)
{
    BackupQuery search;
    const int started = search.begin(parser, QStringLiteral("stats"));
    if (started != ExitOk)
        return started;
    ProgressMeter progress(QStringLiteral("rows"), ProgressMeter::wanted(parser, true));
    progress.setTotal(search.model().ExpectedRowCount());
    forEachRow(search.model(), progress, [&](const ResultSnapshot &rows, int row) {
        int stored = 0;
        const ResultRows &storage = rows.StoredRow(row, &stored);
        statistics.add(storage, stored);
        return true;
    });
    progress.finish();
    return scanResult(search.model().LastScanReport());
}

// The rows of every backup of the catalogue, as search reads them.
int countCatalogue(const QCommandLineParser &parser, CallStatistics &statistics)
{
    CBackupArray catalogue(g_config);
    std::unique_ptr<BackupMerge> opened;
    if (const int started = openCatalogueSearch(parser, QStringLiteral("stats"), catalogue, &opened); started != ExitOk)
        return started;
    BackupMerge &merge = *opened;
    int backup = 0, row = 0;
    const ResultRows *rows = nullptr;
    while (merge.Next(&backup, &rows, &row))
        statistics.add(*rows, row);
    // As search says them: the backups that could not be searched, then those found damaged.
    int exit = ExitOk;
    for (int i = 0; i < merge.TargetCount(); ++i) {
        const QString dir = QDir::toNativeSeparators(catalogue.GetAt(i)->m_path);
        if (!merge.Failure(i).isEmpty()) {
            printErrorLine(QStringLiteral("%1: %2").arg(dir, merge.Failure(i)));
            exit = ExitSomeFailed;
        } else if (const ScanReport report = merge.Report(i); !report.isComplete()) {
            printErrorLine(QStringLiteral("%1: warning: %2").arg(dir, report.describe()));
            if (exit == ExitOk)
                exit = ExitDamaged;
        }
    }
    return exit;
}

} // namespace

// The figures of the statistics view for the calls query (DIR) or search (the catalogue)
// lists: the totals, or one row per group of --by.
int Stats(const QCommandLineParser &parser)
{
    OutputOptions output;
    QString error;
    if (!readOutputOptions(parser, &output, &error))
        return usageError(QStringLiteral("stats"), error);
    std::optional<Grouping> grouping;
    QString groupName;
    if (parser.isSet(QStringLiteral("by"))) {
        groupName = parser.value(QStringLiteral("by"));
        for (const auto &[name, value] : kGroupings) {
            if (groupName == QLatin1String(name))
                grouping = value;
        }
        if (!grouping)
            return usageError(QStringLiteral("stats"), QStringLiteral("unknown grouping: %1").arg(groupName));
    }
    const bool oneBackup = !parser.positionalArguments().isEmpty();
    if (oneBackup && (parser.isSet(QStringLiteral("root")) || parser.isSet(QStringLiteral("add"))))
        return usageError(QStringLiteral("stats"), QStringLiteral("a backup directory or --root/--add, not both"));

    // Every number is kept only for a row per number: there may be nearly as many as calls.
    CallStatistics statistics(grouping == Grouping::Number);
    const int exit = oneBackup ? countBackup(parser, statistics) : countCatalogue(parser, statistics);
    if (exit == ExitUsage || exit == ExitStatement)
        return exit;
    statistics.finish();

    if (!grouping) {
        TableWriter out(output, figureKeys(true), true);
        out.beginRow();
        addFigures(out, statistics.totals(), statistics.medianSeconds());
        out.endRow();
        out.finish();
        return exit;
    }
    TableWriter out(output, QStringList{groupName} + figureKeys(false), true);
    const bool numericKey = *grouping == Grouping::Hour || *grouping == Grouping::Weekday;
    for (const CallStatistics::Group &group : statistics.groups(*grouping)) {
        out.beginRow();
        if (numericKey)
            out.addNumberText(group.key.toUtf8());
        else
            out.addText(group.key.toUtf8());
        addFigures(out, group.figures, std::nullopt);
        out.endRow();
    }
    out.finish();
    return exit;
}

} // namespace Cli

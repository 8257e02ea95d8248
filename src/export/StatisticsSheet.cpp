#include "export/StatisticsSheet.h"

#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "stats/CallStatistics.h"

#include <initializer_list>

namespace {

using Row = WorkbookWriter::SheetRow;

QString text(int id)
{
    return GetDialogText(id);
}

QStringList texts(std::initializer_list<int> ids)
{
    QStringList texts;
    for (const int id : ids)
        texts << text(id);
    return texts;
}

QString count(qint64 value)
{
    return QString::number(value);
}

QString duration(qint64 seconds)
{
    return CellFormat::TotalTalkTime(seconds);
}

QString rate(const CallFigures &figures)
{
    const qint64 perMille = figures.missedPerMille();
    return QStringLiteral("%1.%2 %").arg(perMille / 10).arg(perMille % 10);
}

// A text the spreadsheet must keep as it is (a number "0123", a name "1001").
QString literal(const QString &text)
{
    return text.isEmpty() ? text : u'\'' + text;
}

void section(std::vector<Row> &rows, int title, const QStringList &header)
{
    if (!rows.empty())
        rows.push_back(Row{});
    rows.push_back(Row{Row::Title, {text(title)}});
    rows.push_back(Row{Row::Header, header});
}

} // namespace

QString StatisticsSheet::name()
{
    return QStringLiteral("Statistics");
}

std::vector<double> StatisticsSheet::columnWidths()
{
    // The first column holds days, users and numbers; first and last calls need 20.
    return {22, 12, 12, 12, 12, 12, 12, 16, 16, 14, 20, 20};
}

std::vector<WorkbookWriter::SheetRow> StatisticsSheet::rows(const CallStatistics &statistics)
{
    std::vector<Row> rows;
    const CallFigures &totals = statistics.totals();
    section(rows, Ids::TxtStatsTotals,
            texts({Ids::TxtStatsCalls, Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed, Ids::TxtStatsAnswered,
                   Ids::TxtStatsMissedRate, Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsMedian,
                   Ids::TxtStatsLongest, Ids::TxtStatsFirst, Ids::TxtStatsLast}));
    rows.push_back(
        Row{Row::Body,
            {count(totals.calls), count(totals.incoming), count(totals.outgoing), count(totals.missed),
             count(totals.answered()), rate(totals), duration(totals.talkSeconds), duration(totals.averageSeconds()),
             duration(statistics.medianSeconds()), duration(totals.longestSeconds),
             CallStatistics::timeText(totals.first), CallStatistics::timeText(totals.last)}});

    section(rows, Ids::TxtStatsPerDay,
            texts({Ids::TxtStatsDay, Ids::TxtStatsCalls, Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed,
                   Ids::TxtStatsTalkTime}));
    for (const CallStatistics::Group &day : statistics.groups(CallStatistics::Grouping::Day)) {
        const CallFigures &f = day.figures;
        rows.push_back(Row{
            Row::Body,
            {day.key, count(f.calls), count(f.incoming), count(f.outgoing), count(f.missed), duration(f.talkSeconds)}});
    }

    QStringList weekdays{text(Ids::TxtStatsHour)};
    for (int id = Ids::TxtStatsMonday; id <= Ids::TxtStatsSunday; ++id)
        weekdays << text(id);
    section(rows, Ids::TxtStatsHeatMap, weekdays);
    for (int hour = 0; hour < CallStatistics::kHours; ++hour) {
        QStringList cells{QString::number(hour)};
        for (int weekday = 0; weekday < CallStatistics::kWeekdays; ++weekday)
            cells << count(statistics.slot(weekday, hour).calls);
        rows.push_back(Row{Row::Body, cells});
    }

    section(rows, Ids::TxtStatsPerUser,
            texts({Ids::TxtStatsUser, Ids::TxtStatsCalls, Ids::TxtMissed, Ids::TxtStatsMissedRate,
                   Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsLongest}));
    for (const CallStatistics::Group &user : statistics.groups(CallStatistics::Grouping::User)) {
        const CallFigures &f = user.figures;
        rows.push_back(Row{Row::Body,
                           {literal(user.key), count(f.calls), count(f.missed), rate(f), duration(f.talkSeconds),
                            duration(f.averageSeconds()), duration(f.longestSeconds)}});
    }

    section(
        rows, Ids::TxtStatsTopNumbers,
        texts({Ids::TxtStatsNumber, Ids::TxtStatsCalls, Ids::TxtStatsTalkTime, Ids::TxtStatsFirst, Ids::TxtStatsLast}));
    for (const CallStatistics::Group &number : statistics.topNumbers(kTopNumbers)) {
        const CallFigures &f = number.figures;
        rows.push_back(Row{Row::Body,
                           {literal(number.key), count(f.calls), duration(f.talkSeconds),
                            CallStatistics::timeText(f.first), CallStatistics::timeText(f.last)}});
    }
    return rows;
}

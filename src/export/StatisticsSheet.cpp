#include "export/StatisticsSheet.h"

#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "stats/CallStatistics.h"

#include <initializer_list>

namespace {

using Row = WorkbookWriter::SheetRow;

QString Text(int id)
{
    return GetDialogText(id);
}

QStringList Texts(std::initializer_list<int> ids)
{
    QStringList texts;
    for (const int id : ids)
        texts << Text(id);
    return texts;
}

QString Count(qint64 value)
{
    return QString::number(value);
}

QString Duration(qint64 seconds)
{
    return CellFormat::TotalTalkTime(seconds);
}

QString Rate(const CallFigures &figures)
{
    const qint64 perMille = figures.MissedPerMille();
    return QStringLiteral("%1.%2 %").arg(perMille / 10).arg(perMille % 10);
}

// A text the spreadsheet must keep as it is (a number "0123", a name "1001").
QString Literal(const QString &text)
{
    return text.isEmpty() ? text : u'\'' + text;
}

void Section(std::vector<Row> &rows, int title, const QStringList &header)
{
    if (!rows.empty())
        rows.push_back(Row{});
    rows.push_back(Row{Row::Title, {Text(title)}});
    rows.push_back(Row{Row::Header, header});
}

} // namespace

QString StatisticsSheet::Name()
{
    return QStringLiteral("Statistics");
}

std::vector<double> StatisticsSheet::ColumnWidths()
{
    // The first column holds days, users and numbers; first and last calls need 20.
    return {22, 12, 12, 12, 12, 12, 12, 16, 16, 14, 20, 20};
}

std::vector<WorkbookWriter::SheetRow> StatisticsSheet::Rows(const CallStatistics &statistics)
{
    std::vector<Row> rows;
    const CallFigures &totals = statistics.Totals();
    Section(rows, Ids::TxtStatsTotals,
            Texts({Ids::TxtStatsCalls, Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed, Ids::TxtStatsAnswered,
                   Ids::TxtStatsMissedRate, Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsMedian,
                   Ids::TxtStatsLongest, Ids::TxtStatsFirst, Ids::TxtStatsLast}));
    rows.push_back(
        Row{Row::Body,
            {Count(totals.calls), Count(totals.incoming), Count(totals.outgoing), Count(totals.missed),
             Count(totals.Answered()), Rate(totals), Duration(totals.talkSeconds), Duration(totals.AverageSeconds()),
             Duration(statistics.MedianSeconds()), Duration(totals.longestSeconds),
             CallStatistics::TimeText(totals.first), CallStatistics::TimeText(totals.last)}});

    Section(rows, Ids::TxtStatsPerDay,
            Texts({Ids::TxtStatsDay, Ids::TxtStatsCalls, Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtMissed,
                   Ids::TxtStatsTalkTime}));
    for (const CallStatistics::Group &day : statistics.Groups(CallStatistics::Grouping::Day)) {
        const CallFigures &f = day.figures;
        rows.push_back(Row{
            Row::Body,
            {day.key, Count(f.calls), Count(f.incoming), Count(f.outgoing), Count(f.missed), Duration(f.talkSeconds)}});
    }

    QStringList weekdays{Text(Ids::TxtStatsHour)};
    for (int id = Ids::TxtStatsMonday; id <= Ids::TxtStatsSunday; ++id)
        weekdays << Text(id);
    Section(rows, Ids::TxtStatsHeatMap, weekdays);
    for (int hour = 0; hour < CallStatistics::kHours; ++hour) {
        QStringList cells{QString::number(hour)};
        for (int weekday = 0; weekday < CallStatistics::kWeekdays; ++weekday)
            cells << Count(statistics.Slot(weekday, hour).calls);
        rows.push_back(Row{Row::Body, cells});
    }

    Section(rows, Ids::TxtStatsPerUser,
            Texts({Ids::TxtStatsUser, Ids::TxtStatsCalls, Ids::TxtMissed, Ids::TxtStatsMissedRate,
                   Ids::TxtStatsTalkTime, Ids::TxtStatsAverage, Ids::TxtStatsLongest}));
    for (const CallStatistics::Group &user : statistics.Groups(CallStatistics::Grouping::User)) {
        const CallFigures &f = user.figures;
        rows.push_back(Row{Row::Body,
                           {Literal(user.key), Count(f.calls), Count(f.missed), Rate(f), Duration(f.talkSeconds),
                            Duration(f.AverageSeconds()), Duration(f.longestSeconds)}});
    }

    Section(
        rows, Ids::TxtStatsTopNumbers,
        Texts({Ids::TxtStatsNumber, Ids::TxtStatsCalls, Ids::TxtStatsTalkTime, Ids::TxtStatsFirst, Ids::TxtStatsLast}));
    for (const CallStatistics::Group &number : statistics.TopNumbers(kTopNumbers)) {
        const CallFigures &f = number.figures;
        rows.push_back(Row{Row::Body,
                           {Literal(number.key), Count(f.calls), Duration(f.talkSeconds),
                            CallStatistics::TimeText(f.first), CallStatistics::TimeText(f.last)}});
    }
    return rows;
}

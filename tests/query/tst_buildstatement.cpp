// The statement a filter gives, and the date ranges of the presets beside the pickers.
#include "query/BuildStatement.h"
#include "query/DatePresets.h"

#include <QtTest>

Q_DECLARE_METATYPE(OleDate)

namespace {
const QString kAll = QStringLiteral("All users");
OleDate day(int y, int m, int d)
{
    return OleDate::fromDateTime(QDateTime(QDate(y, m, d), QTime(15, 30, 12)));
}
} // namespace

class TestBuildStatement : public QObject
{
    Q_OBJECT

private slots:
    void statements_data();
    void statements();
    void datePresets_data();
    void datePresets();
};

void TestBuildStatement::statements_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("remark");
    QTest::addColumn<int>("callType");
    QTest::addColumn<bool>("useDates");
    QTest::addColumn<OleDate>("from");
    QTest::addColumn<OleDate>("to");
    QTest::addColumn<QString>("statement");

    const OleDate d1 = day(2009, 12, 1), d29 = day(2009, 12, 29);
    QTest::newRow("nothing set") << "" << kAll << "" << 2 << false << d1 << d29
                                 << "select * from Record  order by record_time_start";
    QTest::newRow("number, incoming") << "138" << kAll << "" << 0 << false << d1 << d29
                                      << "select * from Record where fsk LIKE '%138%' and call_direction = 0 order by "
                                         "record_time_start";
    QTest::newRow("number overrides user")
        << "138"
        << "Li"
        << "" << 2 << false << d1 << d29 << "select * from Record where fsk LIKE '%138%' order by record_time_start";
    QTest::newRow("user, remark, missed, dates")
        << ""
        << "Li"
        << "vip" << 3 << true << d1 << d29
        << "select * from Record where name LIKE '%Li%' and context LIKE '%vip%' and talked_time = 0 and "
           "call_direction = 0 and record_time_start >= #2009-12-1 0:0:0# and record_time_start <= "
           "#2009-12-29 23:59:59# order by record_time_start";
    QTest::newRow("user box emptied, outgoing")
        << ""
        << ""
        << "" << 1 << false << d1 << d29
        << "select * from Record where name LIKE '%%' and call_direction = 1 order by record_time_start";

    QTest::newRow("all-users text compared exactly") << ""
                                                     << "all users"
                                                     << "" << 2 << false << d1 << d29
                                                     << "select * from Record where name LIKE '%all users%' order by "
                                                        "record_time_start";
    QTest::newRow("remark alone") << "" << kAll << "50% off_deal" << 2 << false << d1 << d29
                                  << "select * from Record where context LIKE '%50% off_deal%' order by "
                                     "record_time_start";
    QTest::newRow("a name that starts like the joining word")
        << ""
        << "dan"
        << "" << 2 << false << d1 << d29 << "select * from Record where name LIKE '%dan%' order by record_time_start";
    QTest::newRow("dates only, same day") << "" << kAll << "" << 2 << true << d29 << d29
                                          << "select * from Record where record_time_start >= #2009-12-29 0:0:0# and "
                                             "record_time_start <= #2009-12-29 23:59:59# order by record_time_start";
    QTest::newRow("invalid date gives -1 parts")
        << "" << kAll << "" << 2 << true << OleDate(0.0, OleDate::Invalid) << d29
        << "select * from Record where record_time_start >= #-1--1--1 0:0:0# and record_time_start <= "
           "#2009-12-29 23:59:59# order by record_time_start";
    QTest::newRow("call type beyond the list counts as missed")
        << "" << kAll << "" << 7 << false << d1 << d29
        << "select * from Record where talked_time = 0 and call_direction = 0 order by record_time_start";
    QTest::newRow("apostrophes are doubled")
        << "0'1" << kAll << "it's" << 2 << false << d1 << d29
        << "select * from Record where fsk LIKE '%0''1%' and context LIKE '%it''s%' order by record_time_start";
    QTest::newRow("apostrophe in the user") << ""
                                            << "O'Brien"
                                            << "" << 2 << false << d1 << d29
                                            << "select * from Record where name LIKE '%O''Brien%' order by "
                                               "record_time_start";
    QTest::newRow("an opening bracket matches itself")
        << "[1]" << kAll << "a[b" << 2 << false << d1 << d29
        << "select * from Record where fsk LIKE '%[[]1]%' and context LIKE '%a[[]b%' order by record_time_start";
}

void TestBuildStatement::statements()
{
    QFETCH(QString, number);
    QFETCH(QString, user);
    QFETCH(QString, remark);
    QFETCH(int, callType);
    QFETCH(bool, useDates);
    QFETCH(OleDate, from);
    QFETCH(OleDate, to);
    QFETCH(QString, statement);
    QCOMPARE(BuildStatement(number, user, kAll, remark, callType, useDates, from, to), statement);
}

void TestBuildStatement::datePresets_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("firstDay");
    // Today, yesterday, this week, last week, this month, last month: first and last day each.
    QTest::addColumn<QList<QDate>>("ranges");
    const auto d = [](int y, int m, int day) { return QDate(y, m, day); };
    QTest::newRow("a Wednesday, weeks from Monday")
        << d(2024, 3, 6) << int(Qt::Monday)
        << QList<QDate>{d(2024, 3, 6),  d(2024, 3, 6), d(2024, 3, 5), d(2024, 3, 5),  d(2024, 3, 4), d(2024, 3, 10),
                        d(2024, 2, 26), d(2024, 3, 3), d(2024, 3, 1), d(2024, 3, 31), d(2024, 2, 1), d(2024, 2, 29)};
    QTest::newRow("new year's day, weeks from Sunday")
        << d(2024, 1, 1) << int(Qt::Sunday)
        << QList<QDate>{d(2024, 1, 1),   d(2024, 1, 1),  d(2023, 12, 31), d(2023, 12, 31),
                        d(2023, 12, 31), d(2024, 1, 6),  d(2023, 12, 24), d(2023, 12, 30),
                        d(2024, 1, 1),   d(2024, 1, 31), d(2023, 12, 1),  d(2023, 12, 31)};
    QTest::newRow("the first day of the week, March 31st")
        << d(2025, 3, 31) << int(Qt::Monday)
        << QList<QDate>{d(2025, 3, 31), d(2025, 3, 31), d(2025, 3, 30), d(2025, 3, 30), d(2025, 3, 31), d(2025, 4, 6),
                        d(2025, 3, 24), d(2025, 3, 30), d(2025, 3, 1),  d(2025, 3, 31), d(2025, 2, 1),  d(2025, 2, 28)};
}

void TestBuildStatement::datePresets()
{
    QFETCH(QDate, today);
    QFETCH(int, firstDay);
    QFETCH(QList<QDate>, ranges);
    QList<QDate> got;
    for (const DatePreset preset : kDatePresets) {
        const auto [from, to] = DatePresetRange(preset, today, Qt::DayOfWeek(firstDay));
        got << from << to;
    }
    QCOMPARE(got, ranges);
}

QTEST_GUILESS_MAIN(TestBuildStatement)
#include "tst_buildstatement.moc"

// The conversions of column values to call-record fields (the rules of VariantChangeType),
// the engine's text of values, and the calendar parts of OLE dates.
#include "db/record/OleDate.h"
#include "db/ado/VariantConvert.h"

#include <QtTest>

#include <cmath>
#include <ctime>
#include <limits>

class TestVariantConvert : public QObject
{
    Q_OBJECT

private slots:
    void integers_data();
    void integers();
    void numbersAsText();
    void datesAsTextIgnoreTheTimeZone();
    void datePartsAtTheEdgesOfTheRange();
};

void TestVariantConvert::integers_data()
{
    QTest::addColumn<jet::Value>("value");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("result");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("tie rounds to even, down") << jet::Value::real(2.5) << true << 2;
    QTest::newRow("tie rounds to even, up") << jet::Value::real(3.5) << true << 4;
    QTest::newRow("negative tie") << jet::Value::real(-2.5) << true << -2;
    QTest::newRow("largest int32") << jet::Value::real(2147483647.4) << true << 2147483647;
    QTest::newRow("rounds beyond int32") << jet::Value::real(2147483647.5) << false << 0;
    QTest::newRow("smallest int32 tie") << jet::Value::real(-2147483648.5) << true << -2147483647 - 1;
    QTest::newRow("NaN") << jet::Value::real(nan) << false << 0;
    QTest::newRow("infinity") << jet::Value::real(inf) << false << 0;
    QTest::newRow("minus infinity") << jet::Value::real(-inf) << false << 0;
    QTest::newRow("int64 beyond int32") << jet::Value::integer(std::int64_t(1) << 32, 0x04) << false << 0;
    QTest::newRow("numeric text") << jet::Value::text(" 7", 0x0A) << true << 7;
    QTest::newRow("text beyond int32") << jet::Value::text("2147483648", 0x0A) << false << 0;
    QTest::newRow("text that is no number") << jet::Value::text("abc", 0x0A) << false << 0;
    QTest::newRow("text nan") << jet::Value::text("nan", 0x0A) << false << 0;
    QTest::newRow("NULL") << jet::Value::null() << false << 0;
}

void TestVariantConvert::integers()
{
    QFETCH(jet::Value, value);
    QFETCH(bool, converts);
    QFETCH(int, result);
    int field = 12345; // a failed conversion keeps it
    QCOMPARE(VariantConvert::toInt32(value, &field), converts);
    QCOMPARE(field, converts ? result : 12345);
}

void TestVariantConvert::numbersAsText()
{
    auto text = [](const jet::Value &v) {
        QString s;
        return v.toText(&s) ? s : QStringLiteral("<failed>");
    };
    QCOMPARE(text(jet::Value::real(1000000.0)), QStringLiteral("1000000"));
    QCOMPARE(text(jet::Value::real(0.1 + 0.2)), QStringLiteral("0.3"));
    QCOMPARE(text(jet::Value::real(-3.5)), QStringLiteral("-3.5"));
    QCOMPARE(text(jet::Value::real(1e15)), QStringLiteral("1E+15"));
    // A Single holds about 7 significant digits, and that is what it shows.
    QCOMPARE(text(jet::Value::single(0.1f)), QStringLiteral("0.1"));
    QCOMPARE(text(jet::Value::integer(2147483648LL, 0x04)), QStringLiteral("2147483648"));
}

void TestVariantConvert::datesAsTextIgnoreTheTimeZone()
{
    // A stored date is a wall-clock date: no time zone, no daylight saving time.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QString summer, winter, beforeEpoch;
    const bool ok = jet::Value::dateTime(40000.5).toText(&summer) && jet::Value::dateTime(40148.0).toText(&winter)
                    && jet::Value::dateTime(-1.75).toText(&beforeEpoch);
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
    QVERIFY(ok);
    QCOMPARE(summer, QStringLiteral("2009-07-06 12:00:00"));
    QCOMPARE(winter, QStringLiteral("2009-12-01 00:00:00"));
    QCOMPARE(beforeEpoch, QStringLiteral("1899-12-29 18:00:00"));
}

void TestVariantConvert::datePartsAtTheEdgesOfTheRange()
{
    auto parts = [](double days) {
        const OleDate::Parts p = OleDate(days).parts();
        return QList<int>{p.year, p.month, p.day, p.hour, p.minute, p.second};
    };
    QCOMPARE(parts(0.0), (QList<int>{1899, 12, 30, 0, 0, 0}));
    QCOMPARE(parts(-1.25), (QList<int>{1899, 12, 29, 6, 0, 0}));
    QCOMPARE(parts(-0.5), (QList<int>{1899, 12, 30, 12, 0, 0}));
    // Half a second before midnight rounds into the next day, before the epoch as well.
    QCOMPARE(parts(-1.0 - 86399.6 / 86400.0), (QList<int>{1899, 12, 30, 0, 0, 0}));
    QCOMPARE(parts(40148.0 + 86399.6 / 86400.0), (QList<int>{2009, 12, 2, 0, 0, 0}));
    // The first day OLE dates cover, all of it: 100-01-01 is -657434, its noon -657434.5.
    QCOMPARE(parts(-657434.0), (QList<int>{100, 1, 1, 0, 0, 0}));
    QCOMPARE(parts(-657434.5), (QList<int>{100, 1, 1, 12, 0, 0}));
    QCOMPARE(parts(-657435.0), (QList<int>{-1, -1, -1, -1, -1, -1}));
    QCOMPARE(parts(2958465.0 + 86399.0 / 86400.0), (QList<int>{9999, 12, 31, 23, 59, 59}));
    QCOMPARE(parts(2958466.0), (QList<int>{-1, -1, -1, -1, -1, -1}));
    QCOMPARE(parts(std::numeric_limits<double>::quiet_NaN()), (QList<int>{-1, -1, -1, -1, -1, -1}));
    QCOMPARE(OleDate(40148.0, OleDate::Invalid).parts().year, -1);
}

QTEST_GUILESS_MAIN(TestVariantConvert)
#include "tst_variantconvert.moc"

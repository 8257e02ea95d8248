// SELECT statements run by the engine on real databases: conditions and ordering on values
// that the query window's own statements rarely meet (NaN in a Double column, numbers
// matched with LIKE).
#include "db/JetConnection.h"
#include "db/JetRecordset.h"

#include "TestPaths.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

// The recordset's row fetcher refers to its own table definition: no copies.
static_assert(!std::is_copy_constructible_v<JetRecordset> && !std::is_copy_assignable_v<JetRecordset>);

namespace {

// A writable copy of the backup with the odd column types (ring_time is a Double column).
QString copyOfOddTypes(const QTemporaryDir &dir)
{
    const QString path = dir.filePath("dbR.mdb");
    QFile::copy(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/odd-types/dbR.mdb"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QByteArray doubleBytes(double v)
{
    QByteArray b(8, '\0');
    std::memcpy(b.data(), &v, 8);
    return b;
}

// Replaces the one stored Double `from` (it occurs once in the file) by `to`.
bool replaceStoredDouble(const QString &path, double from, double to)
{
    QByteArray bytes = TestFiles::read(path);
    const QByteArray old = doubleBytes(from);
    const qsizetype at = bytes.indexOf(old);
    if (at < 0 || bytes.indexOf(old, at + 1) >= 0)
        return false;
    bytes.replace(at, 8, doubleBytes(to));
    return TestFiles::write(path, bytes);
}

struct Row
{
    int id = 0;
    bool ringTimeNull = false;
    double ringTime = 0;
};

// The rows of a statement, in the order the engine gives them; fails the test when the
// statement does not run.
QList<Row> select(const QString &path, const QString &statement)
{
    JetConnection connection;
    sql::SqlError error;
    if (!connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error)) {
        qWarning() << "open:" << error.message;
        return {};
    }
    std::shared_ptr<JetRecordset> rs;
    if (!connection.execute(statement, &rs, &error)) {
        qWarning() << "execute:" << error.message;
        return {};
    }
    const int idColumn = rs->columnIndex(QStringLiteral("id"));
    const int ringColumn = rs->columnIndex(QStringLiteral("ring_time"));
    QList<Row> rows;
    for (; !rs->isEof(); rs->moveNext(nullptr)) {
        jet::Value id, ring;
        if (!rs->value(idColumn, &id) || !rs->value(ringColumn, &ring))
            return {};
        rows.append({int(id.toInt64()), ring.isNull(), ring.toDouble()});
    }
    return rows;
}

QList<int> ids(const QList<Row> &rows)
{
    QList<int> out;
    for (const Row &r : rows)
        out << r.id;
    return out;
}

} // namespace

class TestJetSelect : public QObject
{
    Q_OBJECT

private slots:
    void nanEqualsNoNumber();
    void nanDoesNotDisorderTheSort();
    void likeOnALargeRoundNumber();
    void likeOnANumberWithoutBinaryNoise();
    void likeOnADateMatchesItsText();
};

void TestJetSelect::nanEqualsNoNumber()
{
    QTemporaryDir dir;
    const QString path = copyOfOddTypes(dir);
    // Row 2 holds 3.5; every other ring_time is a whole number or NULL.
    QVERIFY(replaceStoredDouble(path, 3.5, std::numeric_limits<double>::quiet_NaN()));

    QCOMPARE(ids(select(path, "select * from Record where ring_time = 2 order by id")), (QList<int>{1, 8, 9, 10}));
    QCOMPARE(ids(select(path, "select * from Record where ring_time >= 6 order by id")), (QList<int>{5, 11}));
    QCOMPARE(ids(select(path, "select * from Record where ring_time <= 0 order by id")), (QList<int>{4}));
    // The row with NaN is still there, and it is not NULL.
    QCOMPARE(ids(select(path, "select * from Record where id = 2 and ring_time is not null")), (QList<int>{2}));
}

void TestJetSelect::nanDoesNotDisorderTheSort()
{
    QTemporaryDir dir;
    const QString path = copyOfOddTypes(dir);
    QVERIFY(replaceStoredDouble(path, 3.5, std::numeric_limits<double>::quiet_NaN()));

    for (const char *direction : {"", " desc"}) {
        const QList<Row> rows = select(path, QStringLiteral("select * from Record order by ring_time") + direction);
        QCOMPARE(rows.size(), 12);
        QList<double> numbers;
        int nulls = 0, nans = 0;
        for (const Row &r : rows) {
            if (r.ringTimeNull)
                ++nulls;
            else if (std::isnan(r.ringTime))
                ++nans;
            else
                numbers << r.ringTime;
        }
        QCOMPARE(nulls, 1);
        QCOMPARE(nans, 1);
        QList<double> sorted = numbers;
        if (*direction)
            std::sort(sorted.begin(), sorted.end(), std::greater<double>());
        else
            std::sort(sorted.begin(), sorted.end());
        QCOMPARE(numbers, sorted);
        // NULL comes first in ascending order and last in descending order.
        QCOMPARE(rows.front().ringTimeNull, !*direction);
        QCOMPARE(rows.back().ringTimeNull, bool(*direction));
    }
}

void TestJetSelect::likeOnALargeRoundNumber()
{
    QTemporaryDir dir;
    const QString path = copyOfOddTypes(dir);
    // Row 3 holds 4.5; make it one million, which Jet writes out as 1000000.
    QVERIFY(replaceStoredDouble(path, 4.5, 1000000.0));

    QCOMPARE(ids(select(path, "select * from Record where ring_time LIKE '1000000'")), (QList<int>{3}));
    QCOMPARE(ids(select(path, "select * from Record where ring_time LIKE '%000'")), (QList<int>{3}));
    QCOMPARE(ids(select(path, "select * from Record where ring_time LIKE '%e%'")), (QList<int>{}));
}

void TestJetSelect::likeOnANumberWithoutBinaryNoise()
{
    QTemporaryDir dir;
    const QString path = copyOfOddTypes(dir);
    // 0.1 + 0.2 is stored as 0.30000000000000004; Jet shows 15 significant digits: 0.3.
    QVERIFY(replaceStoredDouble(path, 4.5, 0.1 + 0.2));

    QCOMPARE(ids(select(path, "select * from Record where ring_time LIKE '0.3'")), (QList<int>{3}));
    QCOMPARE(ids(select(path, "select * from Record where ring_time LIKE '%4'")), (QList<int>{}));
}

void TestJetSelect::likeOnADateMatchesItsText()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dbR.mdb");
    QVERIFY(QFile::copy(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12/dbR.mdb"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    // A date is matched as the text of a date, which holds its year; never as its day
    // count (40148 is 2009-12-01).
    QCOMPARE(select(path, "select * from record where record_time_start LIKE '%2009%'").size(), 60);
    QCOMPARE(select(path, "select * from record where record_time_start LIKE '%2010%'").size(), 0);
    QCOMPARE(select(path, "select * from record where record_time_start LIKE '4014%'").size(), 0);
}

QTEST_GUILESS_MAIN(TestJetSelect)
#include "tst_jetselect.moc"

// SELECT statements run by the engine on real databases: conditions and ordering on values
// that the query window's own statements rarely meet (NaN in a Double column, numbers
// matched with LIKE), and the roads to the rows (index ranges, index order, the scan),
// which must all give the same rows in the same order, on sound and on damaged indexes.
#include "db/exec/JetConnection.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/IndexPage.h"
#include "db/jet/ParallelScan.h"
#include "db/jet/RowScanner.h"
#include "task/CancelToken.h"

#include "TestPaths.h"
#include "common/TestFiles.h"
#include "db/jet/JetTestSupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
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

// The row ids a statement gives on `connection` when it may take `paths`, in order, and the
// road it took; "refused: ..." when it does not run.
struct Result
{
    QStringList rows;
    QString road;
};

Result runWith(JetConnection &connection, RowCollector::Paths paths, const QString &statement)
{
    connection.setPaths(paths);
    std::shared_ptr<JetRecordset> rs;
    sql::SqlError error;
    if (!connection.execute(statement, &rs, &error))
        return {{QStringLiteral("refused: ") + error.message}, QString()};
    Result result{{}, connection.lastRoad()};
    for (; rs && !rs->isEof(); rs->moveNext(nullptr)) {
        const jet::RowView *row = rs->currentRow();
        result.rows << (row ? row->rowId().toString() : QStringLiteral("unreadable"));
    }
    return result;
}

QString literal(double v)
{
    return QString::number(v, 'g', 17);
}

QString quotedText(QString text)
{
    return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\'';
}

// Statements an index of the table can answer, with values taken from its rows: ranges and
// equalities on the first column of every index, both ways round, strict and not, with and
// without the order of that column; texts as stored, in capitals and absent.
QStringList indexStatements(const jet::Database &db, const jet::TableDef &def, const QString &tableName)
{
    std::set<int> columns;
    for (const auto &index : def.physicalIndexes()) {
        if (!index.keyColumns.empty() && index.keyColumns.front().column >= 0)
            columns.insert(index.keyColumns.front().column);
    }
    const QString from = QStringLiteral("select * from [%1] where ").arg(tableName);
    QStringList out;
    for (const int c : columns) {
        const QString name = u'[' + def.column(c).name + u']';
        std::vector<double> numbers;
        QStringList texts;
        jet::RowScanner scan(db.file(), def);
        while (scan.next()) {
            const jet::Value v = scan.row().value(c);
            if (v.kind() == jet::Value::Kind::Text)
                texts << v.text();
            else if (v.kind() == jet::Value::Kind::DateTime)
                numbers.push_back(v.dateTimeDays());
            else if ((v.kind() == jet::Value::Kind::Integer || v.kind() == jet::Value::Kind::Double
                      || v.kind() == jet::Value::Kind::Single || v.kind() == jet::Value::Kind::Currency)
                     && std::isfinite(v.toDouble()))
                numbers.push_back(v.toDouble());
        }
        out << QStringLiteral("select * from [%1] order by %2").arg(tableName, name)
            << QStringLiteral("select * from [%1] order by %2 desc").arg(tableName, name);
        if (!numbers.empty()) {
            std::sort(numbers.begin(), numbers.end());
            const double low = numbers[numbers.size() / 4];
            const double middle = numbers[numbers.size() / 2];
            const double high = numbers[numbers.size() * 3 / 4];
            out << from + QStringLiteral("%1 = %2").arg(name, literal(middle))
                << from + QStringLiteral("%1 >= %2 and %1 <= %3 order by %1").arg(name, literal(low), literal(high))
                << from + QStringLiteral("%1 > %2 and %1 < %3 order by %1 desc").arg(name, literal(low), literal(high))
                << from + QStringLiteral("%2 <= %1").arg(name, literal(middle))
                << from + QStringLiteral("%1 < %2 order by %1").arg(name, literal(middle + 0.5))
                << from + QStringLiteral("%1 >= %2 and %1 <> %3").arg(name, literal(low), literal(middle))
                << from + QStringLiteral("%1 >= %2 and %1 <= %2").arg(name, literal(numbers.front()));
        }
        if (!texts.isEmpty()) {
            std::sort(texts.begin(), texts.end());
            for (const QString &t : {texts.front(), texts[texts.size() / 2], texts.back()}) {
                out << from + QStringLiteral("%1 = %2").arg(name, quotedText(t))
                    << from + QStringLiteral("%1 = %2 order by %1").arg(name, quotedText(t.toUpper()));
            }
            out << from + QStringLiteral("%1 = 'no match here'").arg(name);
        }
    }
    return out;
}

// The user tables of a database and the statements of each.
QList<QPair<QString, QStringList>> statementsOf(const QString &path)
{
    jet::Database db;
    QString error;
    if (!db.open(path, jet::PageFile::OpenMode::ReadOnly, &error)) {
        qWarning() << "open:" << error;
        return {};
    }
    QList<QPair<QString, QStringList>> out;
    for (const QString &name : db.userTableNames()) {
        const auto def = db.table(name, &error);
        if (def)
            out.append({name, indexStatements(db, *def, name)});
    }
    return out;
}

// Deletes some rows of every indexed table through statements an index answers: the rows
// whose first indexed column holds its smallest value, then one row by its value in the
// middle.
bool deleteSomeRows(const QString &path)
{
    JetConnection connection;
    sql::SqlError error;
    if (!connection.open(path, QString(), JetConnection::Mode::ReadWrite, &error))
        return false;
    connection.setPaths(RowCollector::Paths::PreferIndexes);
    for (const auto &[table, statements] : statementsOf(path)) {
        for (const QString &statement : statements) {
            if (!statement.contains(QLatin1String(" = ")) || statement.contains(QLatin1String("order by")))
                continue;
            QString deletion = statement;
            deletion.replace(QLatin1String("select *"), QLatin1String("delete"));
            if (!connection.execute(deletion, nullptr, &error)) {
                qWarning() << deletion << error.message;
                return false;
            }
            break;
        }
    }
    return true;
}

// The pages of an index's leaves, left to right.
std::vector<std::uint32_t> leavesOf(const jet::PageFile &file, std::uint32_t root)
{
    std::vector<std::uint32_t> leaves;
    std::vector<std::uint8_t> bytes(std::size_t(file.pageSize()));
    jet::IndexPage page;
    std::uint32_t current = root;
    while (file.readPage(current, bytes.data()) && page.decode(file.format(), file.pageSize(), bytes.data())) {
        if (page.isLeaf())
            break;
        current = page.entries.empty() ? page.tail : page.entries.front().child;
    }
    while (current != 0 && leaves.size() < 100000) {
        leaves.push_back(current);
        if (!file.readPage(current, bytes.data()) || !page.decode(file.format(), file.pageSize(), bytes.data()))
            break;
        current = page.next;
    }
    return leaves;
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
    void likeOnTextStoredEitherWay();
    void indexAndScanGiveTheSameRows_data();
    void indexAndScanGiveTheSameRows();
    void damagedIndexesLeaveTheirRowsToTheScan_data();
    void damagedIndexesLeaveTheirRowsToTheScan();
    void scanSharedByThreadsKeepsTheTableOrder();
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

void TestJetSelect::likeOnTextStoredEitherWay()
{
    // Jet 4 keeps a text in one byte per character where it can, in two otherwise, or
    // switches within the text; a needle without case is searched in the stored bytes of
    // the first kind. Each statement must find the rows the decoded texts hold it in.
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures are not here");
    // Row 7's "ümlaut" becomes "5Ми": "5" in one byte, then (after the 00 that switches)
    // 1C 04 38 04 in two, which hold the bytes of "8" but not the character.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unicode.mdb"));
    QByteArray file = TestFiles::read(JetTest::accessSample(QStringLiteral("testUnicodeCompV2003.mdb")));
    const QByteArray umlaut("\xFF\xFE\xFCmlaut", 8);
    QCOMPARE(file.count(umlaut), 1);
    file.replace(umlaut, QByteArray("\xFF\xFE"
                                    "5\x00\x1C\x04\x38\x04",
                                    8));
    QVERIFY(TestFiles::write(path, file));
    const auto idsOf = [&](const char *statement) {
        JetConnection connection;
        sql::SqlError error;
        std::shared_ptr<JetRecordset> rs;
        QList<int> out;
        if (!connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error)
            || !connection.execute(QString::fromUtf8(statement), &rs, &error))
            return QList<int>{-1};
        for (; !rs->isEof(); rs->moveNext(nullptr)) {
            jet::Value id;
            out << (rs->value(rs->columnIndex(QStringLiteral("ID")), &id) ? int(id.toInt64()) : -1);
        }
        return out;
    };
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '% %' order by ID"), (QList<int>{1, 4, 8}));
    QCOMPARE(idsOf("select * from [Table] where Unicode NOT LIKE '% %' order by ID"), (QList<int>{2, 3, 5, 6, 7}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%¥%' order by ID"), (QList<int>{6, 8}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%9%' order by ID"), (QList<int>{6, 8}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%8%' order by ID"), (QList<int>{8}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '5%' order by ID"), (QList<int>{7}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%МИ' order by ID"), (QList<int>{7}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%KÖ%' order by ID"), (QList<int>{2}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE 'only ascii chars' order by ID"), (QList<int>{1}));
    QCOMPARE(idsOf("select * from [Table] where Unicode LIKE '%!!V' order by ID"), (QList<int>{6}));
}

void TestJetSelect::indexAndScanGiveTheSameRows_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("deleteFirst");
    for (const char *backup : {"2009-12", "2010-01", "odd-types", "nested/deep"})
        QTest::newRow(backup) << JetTest::sample(QString::fromLatin1(backup)) << false;
    QTest::newRow("multipage-3000") << JetTest::multipage() << false;
    QTest::newRow("multipage-3000 after deletes") << JetTest::multipage() << true;
    if (!JetTest::haveSharedFixtures())
        return;
    QDirIterator files(JetTest::sharedFixtures() + QStringLiteral("/access-samples"), {QStringLiteral("*.mdb")});
    QStringList paths;
    while (files.hasNext())
        paths << files.next();
    paths.sort();
    for (const QString &path : paths)
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path << false;
    for (const char *file : {"compIndexTestV2000.mdb", "compIndexTestV1997.mdb", "testIndexCodesV1997.mdb"})
        QTest::newRow(qPrintable(QStringLiteral("%1 after deletes").arg(QLatin1String(file))))
            << JetTest::accessSample(QString::fromLatin1(file)) << true;
}

void TestJetSelect::indexAndScanGiveTheSameRows()
{
    // Every statement gives the rows of the scan, in the scan's order (equal values in the
    // order of the table), whether an index range is read wherever one applies, where the
    // estimate picks it, or never. Reading the ranges must happen, too.
    QFETCH(QString, database);
    QFETCH(bool, deleteFirst);
    QTemporaryDir dir;
    QString path = database;
    if (deleteFirst) {
        path = dir.filePath(QStringLiteral("copy.mdb"));
        QVERIFY(QFile::copy(database, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(deleteSomeRows(path));
        jet::Database db;
        QVERIFY(db.open(path, jet::PageFile::OpenMode::ReadOnly));
        const QStringList problems = jet::Checker::checkDatabase(db);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }
    JetConnection connection;
    sql::SqlError error;
    QVERIFY2(connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error),
             qPrintable(error.message));
    int statements = 0, throughIndexes = 0;
    for (const auto &[table, texts] : statementsOf(path)) {
        for (const QString &statement : texts) {
            const Result scan = runWith(connection, RowCollector::Paths::ScanOnly, statement);
            QVERIFY2(!scan.rows.value(0).startsWith(QLatin1String("refused")), qPrintable(statement));
            QCOMPARE(scan.road, QStringLiteral("scan"));
            for (const auto paths : {RowCollector::Paths::PreferIndexes, RowCollector::Paths::Choose}) {
                const Result other = runWith(connection, paths, statement);
                QVERIFY2(other.rows == scan.rows, qPrintable(QStringLiteral("%1 (%2): %3 rows against %4")
                                                                 .arg(statement, other.road)
                                                                 .arg(other.rows.size())
                                                                 .arg(scan.rows.size())));
                if (paths == RowCollector::Paths::PreferIndexes && other.road.contains(QLatin1String("index")))
                    ++throughIndexes;
            }
            ++statements;
        }
    }
    if (statements > 0)
        QVERIFY2(throughIndexes > 0, "no statement was answered through an index");

    // The number searches of the call list: an equality on fsk and a delete by id go
    // through their indexes.
    if (database == JetTest::multipage()) {
        QVERIFY(runWith(connection, RowCollector::Paths::Choose,
                        QStringLiteral("select * from record where fsk = '10009827073'"))
                    .road.startsWith(QLatin1String("index")));
        QVERIFY(runWith(connection, RowCollector::Paths::Choose, QStringLiteral("select * from record where id = 77"))
                    .road.startsWith(QLatin1String("index")));
    }
}

void TestJetSelect::damagedIndexesLeaveTheirRowsToTheScan_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("an entry points at a deleted row") << QStringLiteral("deleted row");
    QTest::newRow("the leaves loop") << QStringLiteral("loop");
    QTest::newRow("a leaf is no index page") << QStringLiteral("not a leaf");
    QTest::newRow("a leaf's mask runs past the page") << QStringLiteral("mask");
    QTest::newRow("two leaves swapped (entries out of order)") << QStringLiteral("order");
}

void TestJetSelect::damagedIndexesLeaveTheirRowsToTheScan()
{
    // The time index of a copy of the 3000-row backup is damaged; a statement read through
    // it gives the scan's rows all the same (never a row twice, never a loop), and the trace
    // says which index was left.
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dbR.mdb"));
    QVERIFY(QFile::copy(JetTest::multipage(), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    std::vector<std::uint32_t> leaves;
    int pageSize = 0;
    jet::RowId victim;
    {
        jet::Database db;
        QVERIFY(db.open(path, jet::PageFile::OpenMode::ReadOnly));
        const auto def = db.table(QStringLiteral("record"));
        QVERIFY(def);
        const int time = def->columnIndex(QStringLiteral("record_time_start"));
        for (const auto &index : def->physicalIndexes()) {
            if (index.keyColumns.size() == 1 && index.keyColumns.front().column == time)
                leaves = leavesOf(db.file(), index.rootPage);
        }
        pageSize = db.file().pageSize();
        jet::RowScanner scan(db.file(), *def);
        for (int i = 0; i < 1500 && scan.next(); ++i)
            victim = scan.rowId();
    }
    QVERIFY(leaves.size() > 4);
    QByteArray bytes = TestFiles::read(path);
    const auto at = [&](std::uint32_t page, int offset) { return qsizetype(page) * pageSize + offset; };
    const jet::IndexPage::Offsets &o = jet::IndexPage::offsets(jet::Format::Jet4);
    if (damage == QLatin1String("deleted row")) {
        // The row's slot says deleted; the indexes still list it.
        const qsizetype slot = at(victim.page, 0x0E + 2 * int(victim.slot)) + 1;
        bytes[slot] = char(std::uint8_t(bytes[slot]) | 0x80);
    } else if (damage == QLatin1String("loop")) {
        JetTest::putU32(bytes, int(at(leaves[3], o.next)), leaves[1]);
    } else if (damage == QLatin1String("not a leaf")) {
        bytes[at(leaves[2], 0)] = 0x01;
    } else if (damage == QLatin1String("mask")) {
        bytes[at(leaves[2], o.entries - 1)] = char(0x80);
    } else {
        // Leaves 1 and 2 trade places in the chain: 0 -> 2 -> 1 -> 3.
        JetTest::putU32(bytes, int(at(leaves[0], o.next)), leaves[2]);
        JetTest::putU32(bytes, int(at(leaves[2], o.next)), leaves[1]);
        JetTest::putU32(bytes, int(at(leaves[1], o.next)), leaves[3]);
    }
    QVERIFY(TestFiles::write(path, bytes));

    const QString tracePath = dir.filePath(QStringLiteral("trace.log"));
    qputenv("ORVIK_TRACE", QFile::encodeName(tracePath));
    JetConnection connection;
    sql::SqlError error;
    QVERIFY2(connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &error),
             qPrintable(error.message));
    const QStringList statements = {
        QStringLiteral("select * from record where record_time_start >= 40000 order by record_time_start"),
        QStringLiteral("select * from record where record_time_start > 40000 order by record_time_start desc"),
        QStringLiteral("select * from record order by record_time_start"),
        QStringLiteral("select * from record where record_time_start >= 40000 and id > 5"),
    };
    for (const QString &statement : statements) {
        const Result scan = runWith(connection, RowCollector::Paths::ScanOnly, statement);
        const Result other = runWith(connection, RowCollector::Paths::PreferIndexes, statement);
        QVERIFY2(scan.rows.size() > 2000, qPrintable(statement));
        QVERIFY2(other.rows == scan.rows, qPrintable(QStringLiteral("%1 (%2)").arg(statement, other.road)));
    }
    qunsetenv("ORVIK_TRACE");
    const QString trace = QString::fromUtf8(TestFiles::read(tracePath));
    QVERIFY2(trace.contains(QLatin1String("is damaged")), qPrintable(trace));
}

QTEST_GUILESS_MAIN(TestJetSelect)
// A table of more data pages than one share of a scan holds, made from the first 8 MiB of
// the million-row fixture (its usage map lists the pages cut off: they count as past the
// end): the shares are read by several threads and joined in the order of the table, a
// cancelled request stops the scan, and a damaged page fails the statement with the first
// damaged share's error, whatever the threads did after it.
void TestJetSelect::scanSharedByThreadsKeepsTheTableOrder()
{
    const QString fixture = QStringLiteral(ORVIK_SHARED_FIXTURES_DIR "/big/record-1m.mdb.xz");
    if (!QFileInfo::exists(fixture))
        QSKIP("the million-row fixture is not here");
    QTemporaryDir dir;
    const QString path = dir.filePath("dbR.mdb");
    {
        QProcess xz;
        xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), fixture});
#ifdef Q_OS_WIN
        // Under Wine the Linux program cannot be started; the Linux run covers the road.
        if (!xz.waitForStarted())
            QSKIP("xz is not there to unpack the big fixture");
#else
        QVERIFY2(xz.waitForStarted(), "xz is needed (xz-utils)");
#endif
        QByteArray head;
        constexpr qsizetype kBytes = 8 << 20;
        while (head.size() < kBytes && (xz.waitForReadyRead(10000) || xz.bytesAvailable() > 0))
            head += xz.read(kBytes - head.size());
        xz.kill();
        xz.waitForFinished();
        QCOMPARE(head.size(), kBytes);
        QVERIFY(TestFiles::write(path, head));
    }
    const QString statement = QStringLiteral("select * from record");
    JetConnection connection;
    sql::SqlError openError;
    QVERIFY2(connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &openError),
             qPrintable(openError.message));
    qputenv("ORVIK_SCAN_THREADS", "1");
    const Result alone = runWith(connection, RowCollector::Paths::ScanOnly, statement);
    qputenv("ORVIK_SCAN_THREADS", "4");
    const Result shared = runWith(connection, RowCollector::Paths::ScanOnly, statement);
    qunsetenv("ORVIK_SCAN_THREADS");
    // More rows than one share of 256 pages holds, in page and slot order.
    QVERIFY2(alone.rows.size() > 20000, qPrintable(alone.rows.value(0)));
    QCOMPARE(shared.rows, alone.rows);
    std::vector<std::pair<quint32, quint32>> ids;
    for (const QString &id : alone.rows)
        ids.emplace_back(id.section(':', 0, 0).toUInt(), id.section(':', 1).toUInt());
    QVERIFY(std::is_sorted(ids.begin(), ids.end()));
    QVERIFY(std::adjacent_find(ids.begin(), ids.end()) == ids.end());
    const quint32 firstPage = ids.front().first;
    const quint32 lastPage = ids.back().first;
    QVERIFY(lastPage - firstPage > 2 * jet::ParallelScan::kSharePages);

    // A request cancelled before the scan: no share is read, and the statement fails.
    {
        CancelToken token;
        token.cancel();
        const CancelScope scope(token);
        const Result cancelled = runWith(connection, RowCollector::Paths::ScanOnly, statement);
        QVERIFY2(cancelled.rows.value(0).startsWith("refused: "), qPrintable(cancelled.rows.value(0)));
    }

    // Two damaged data pages, in the second share and in a later one: the error is the
    // second share's, with four threads as with one.
    const quint32 early = ids[ids.size() / 3].first;
    const quint32 late = ids[ids.size() * 5 / 6].first;
    QVERIFY(late - early > jet::ParallelScan::kSharePages);
    QVERIFY(connection.close(&openError));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        for (const quint32 page : {early, late}) {
            // Jet 4 data page: the row count at offset 12; more slots than the page holds.
            file.seek(qint64(page) * 4096 + 12);
            file.write(QByteArray("\xff\x7f", 2));
        }
    }
    QVERIFY(connection.open(path, QString(), JetConnection::Mode::ReadOnlyExclusive, &openError));
    for (const char *threads : {"1", "4"}) {
        qputenv("ORVIK_SCAN_THREADS", threads);
        const Result damaged = runWith(connection, RowCollector::Paths::ScanOnly, statement);
        QCOMPARE(damaged.rows.size(), 1);
        QVERIFY2(damaged.rows[0].startsWith("refused: ") && damaged.rows[0].contains(QString::number(early)),
                 qPrintable(damaged.rows[0]));
    }
    qunsetenv("ORVIK_SCAN_THREADS");
}

#include "tst_jetselect.moc"

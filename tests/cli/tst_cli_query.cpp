// orvik-cli query and export on a real backup, and search over a root of several: every filter alone and combined, against
// what the reference dump of the backup says should match; the statement; the language of
// the texts; the exit codes; the workbook export read back with openpyxl; the CSV and JSON
// formats of query and sql read back with Python's csv and json modules; the progress line;
// stats against the rows query and search list, counted again by a Python script.
#include "cli/ProgressMeter.h"

#include "common/CliRunner.h"
#include "common/ExpectedDump.h"
#include "common/PythonChecks.h"
#include "common/TestFiles.h"
#include "db/jet/JetTestSupport.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

namespace {

const QString kBackup = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12");

QList<ExpectedRow> referenceRows()
{
    QList<ExpectedRow> rows =
        readExpectedDump(QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__Rec__2009-12__dbR.mdb__record.tsv"));
    std::stable_sort(rows.begin(), rows.end(), [](const ExpectedRow &a, const ExpectedRow &b) {
        return a.rawDate("record_time_start") < b.rawDate("record_time_start");
    });
    return rows;
}

// The ids the reference rows hold where `keep` is true, in start-time order.
QStringList expectedIds(const std::function<bool(const ExpectedRow &)> &keep)
{
    QStringList ids;
    for (const ExpectedRow &r : referenceRows())
        if (keep(r))
            ids << r.text("id");
    return ids;
}

bool contains(const ExpectedRow &r, const QString &column, const QString &needle)
{
    return !r.isNull(column) && r.text(column).contains(needle, Qt::CaseInsensitive);
}

QDate startDay(const ExpectedRow &r)
{
    return QDate::fromString(r.date("record_time_start").left(10), Qt::ISODate);
}

// The cells of TAB-separated output with their escapes undone (\N, NULL, stays as it is).
QList<QStringList> tsvRows(const CliResult &r)
{
    QList<QStringList> rows;
    for (const QByteArray &line : r.lines()) {
        QStringList cells;
        for (const QByteArray &field : line.split('\t')) {
            QByteArray cell;
            for (qsizetype i = 0; i < field.size(); ++i) {
                if (field[i] != '\\' || i + 1 == field.size() || field[i + 1] == 'N') {
                    cell += field[i];
                    continue;
                }
                const char c = field[++i];
                cell += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            }
            cells << QString::fromUtf8(cell);
        }
        rows << cells;
    }
    return rows;
}

// Output written as CSV or JSON, as Python's csv or json module reads it back:
// {"bom": ..., "rows": ...} (read_table.py).
QJsonObject readBack(const QString &kind, const QByteArray &output)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("output");
    if (!TestFiles::write(file, output))
        return {};
    QProcess reader;
    reader.start(QStringLiteral(ORVIK_TEST_PYTHON), {QStringLiteral(ORVIK_TABLE_READER), kind, file});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

// Counts the rows that query or search wrote as JSON again, in Python, as stats is to count
// them, and compares with what stats wrote as JSON: prints "ok", or what differs.
//   check_stats.py ROWS.json GROUP STATS.json       GROUP: totals, day, week, ...
const char kStatsCheck[] = R"(
import datetime, json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))
by = sys.argv[2]
stats = json.load(open(sys.argv[3], encoding="utf-8"))
types = {"Incoming": "incoming", "Outgoing": "outgoing", "Missed": "missed"}
def talk(text):
    minutes, seconds = text.split(":")
    return int(minutes) * 60 + int(seconds)
def key(row):
    start = datetime.datetime.strptime(row["start"], "%Y-%m-%d %H:%M:%S")
    day = start.date()
    return {"day": day.isoformat(), "week": (day - datetime.timedelta(days=day.weekday())).isoformat(),
            "month": day.strftime("%Y-%m"), "hour": start.hour, "weekday": day.isoweekday(),
            "user": row["user"], "number": row["number"], "type": types[row["type"]], "totals": None}[by]
def figures(group, with_median):
    calls = len(group)
    count = {t: sum(1 for r in group if types[r["type"]] == t) for t in ("incoming", "outgoing", "missed")}
    answered = calls - count["missed"]
    talks = sorted(talk(r["talk_time"]) for r in group if types[r["type"]] != "missed")
    total = sum(talk(r["talk_time"]) for r in group)
    tenths = (2 * count["missed"] * 1000 + calls) // (2 * calls) if calls else 0
    out = {"calls": calls, "incoming": count["incoming"], "outgoing": count["outgoing"],
           "missed": count["missed"], "answered": answered, "missed_percent": tenths / 10,
           "talk_seconds": total, "average_seconds": (2 * total + answered) // (2 * answered) if answered else 0,
           "longest_seconds": max([talk(r["talk_time"]) for r in group] + [0]),
           "first": min((r["start"] for r in group), default=None),
           "last": max((r["start"] for r in group), default=None)}
    if with_median:
        n = len(talks)
        out["median_seconds"] = (talks[(n - 1) // 2] + talks[n // 2] + 1) // 2 if n else 0
    return out
groups = {}
for row in rows:
    groups.setdefault(key(row), []).append(row)
expected = {}
if by == "totals":
    expected[None] = figures(rows, True)
else:
    keys = {"hour": range(24), "weekday": range(1, 8), "type": ["incoming", "outgoing", "missed"]}.get(by, groups)
    for k in keys:
        expected[k] = dict({by: k}, **figures(groups.get(k, []), False))
got = {(s[by] if by != "totals" else None): s for s in stats}
problems = [f"{k!r}: {got.get(k)} instead of {v}" for k, v in expected.items() if got.get(k) != v]
problems += [f"{k!r} is no group" for k in got if k not in expected]
order = [s[by] for s in stats] if by != "totals" else []
if by in ("day", "week", "month", "hour", "weekday") and order != sorted(order):
    problems.append("groups out of order")
if by == "number" and order != [k for k, _ in sorted(expected.items(), key=lambda kv: (
        -kv[1]["calls"], -kv[1]["talk_seconds"], kv[0].encode("utf-8")))]:
    problems.append("numbers out of order")
print("\n".join(problems) if problems else "ok")
)";

QString checkStats(const QByteArray &rowsJson, const QString &by, const QByteArray &statsJson)
{
    QTemporaryDir dir;
    if (!TestFiles::write(dir.filePath("rows.json"), rowsJson)
        || !TestFiles::write(dir.filePath("stats.json"), statsJson)
        || !TestFiles::write(dir.filePath("check_stats.py"), kStatsCheck))
        return QStringLiteral("cannot write the files");
    QProcess python;
    python.start(QStringLiteral(ORVIK_TEST_PYTHON),
                 {dir.filePath("check_stats.py"), dir.filePath("rows.json"), by, dir.filePath("stats.json")});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return QString::fromUtf8(python.readAllStandardError());
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

} // namespace

class TestCliQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void filters_data();
    void filters();
    void cellsAndStatement();
    void textsFollowTheLanguage();
    void exitCodes();
    void exportWritesTheListedRows();
    void csvAndJsonReadBack();
    void progressLine();
    void searchEveryBackup();
    void statsCountWhatQueryLists();

private:
    QTemporaryDir m_program;
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliQuery::initTestCase()
{
    m_cli = std::make_unique<CliRunner>(m_program.path());
    QVERIFY(TestFiles::write(m_program.filePath("config.ini"), "[config]\r\nm_language=1\r\n"));
}

void TestCliQuery::filters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("ids");
    using Row = const ExpectedRow &;
    QTest::newRow("no filter") << QStringList{} << expectedIds([](Row) { return true; });
    QTest::newRow("incoming") << QStringList{"--type", "incoming"}
                              << expectedIds([](Row r) { return r.number("call_direction") == 0; });
    QTest::newRow("outgoing") << QStringList{"--type", "outgoing"}
                              << expectedIds([](Row r) { return r.number("call_direction") == 1; });
    QTest::newRow("missed") << QStringList{"--type", "missed"}
                            << QStringList{"4", "10", "15", "23", "28", "36", "45", "53"};
    QTest::newRow("all") << QStringList{"--type", "all"} << expectedIds([](Row) { return true; });
    QTest::newRow("number") << QStringList{"--number", "138"}
                            << expectedIds([](Row r) { return contains(r, "fsk", "138"); });
    QTest::newRow("number with plus") << QStringList{"--number", "+86"}
                                      << expectedIds([](Row r) { return contains(r, "fsk", "+86"); });
    QTest::newRow("user, any case") << QStringList{"--user", "li"}
                                    << expectedIds([](Row r) { return contains(r, "name", "li"); });
    QTest::newRow("user in Chinese") << QStringList{"--user", "李明"}
                                     << expectedIds([](Row r) { return contains(r, "name", "李明"); });
    QTest::newRow("user with an apostrophe")
        << QStringList{"--user", "O'Brien"} << expectedIds([](Row r) { return contains(r, "name", "O'Brien"); });
    QTest::newRow("empty user matches every name that is not NULL")
        << QStringList{"--user", ""} << expectedIds([](Row r) { return !r.isNull("name"); });
    QTest::newRow("number overrides user") << QStringList{"--user", "Li", "--number", "110"}
                                           << expectedIds([](Row r) { return contains(r, "fsk", "110"); });
    QTest::newRow("remark, any case") << QStringList{"--remark", "VIP"}
                                      << expectedIds([](Row r) { return contains(r, "context", "vip"); });
    QTest::newRow("remark with wildcards")
        << QStringList{"--remark", "50%deal"}
        << expectedIds([](Row r) { return contains(r, "context", "50") && r.text("context").contains("deal"); });
    QTest::newRow("one day, both ends included")
        << QStringList{"--from", "2009-12-01", "--to", "2009-12-01"}
        << expectedIds([](Row r) { return startDay(r) == QDate(2009, 12, 1); });
    QTest::newRow("last day") << QStringList{"--from", "2009-12-31", "--to", "2009-12-31"}
                              << expectedIds([](Row r) { return startDay(r) == QDate(2009, 12, 31); });
    QTest::newRow("from after to") << QStringList{"--from", "2009-12-20", "--to", "2009-12-10"} << QStringList{};
    QTest::newRow("to alone: from is today") << QStringList{"--to", "2009-12-31"} << QStringList{};
    QTest::newRow("combined") << QStringList{"--user",   "Li",     "--remark",   "回",   "--type",
                                             "incoming", "--from", "2009-12-01", "--to", "2009-12-29"}
                              << expectedIds([](Row r) {
                                     return contains(r, "name", "Li") && contains(r, "context", "回")
                                            && r.number("call_direction") == 0 && startDay(r) <= QDate(2009, 12, 29);
                                 });
    QTest::newRow("missed in a range") << QStringList{"--type", "missed", "--from", "2009-12-10", "--to", "2009-12-26"}
                                       << QStringList{"23", "28", "36", "45", "53"};
}

void TestCliQuery::filters()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, ids);
    const CliResult r = m_cli->run(QStringList{"query", kBackup} + args);
    // (A crash shows what the system said of it: under Wine, the registers, the backtrace
    // and the modules.)
    QVERIFY2(
        r.exitCode == 0,
        qPrintable(QStringLiteral("exit code %1: %2").arg(r.exitCode).arg(QString::fromLocal8Bit(r.err.left(6000)))));
    QStringList got;
    for (const QByteArray &line : r.lines())
        got << QString::fromUtf8(line.split('\t').value(9));
    QCOMPARE(got, ids);
    if (QTest::currentDataTag() != QLatin1String("from after to")
        && QTest::currentDataTag() != QLatin1String("to alone: from is today"))
        QVERIFY(!ids.isEmpty()); // each filter is meant to find something
}

void TestCliQuery::cellsAndStatement()
{
    const CliResult r = m_cli->run({"query", kBackup, "--sql", "--number", "0'1"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines().value(0), QByteArray("select * from Record where fsk LIKE '%0''1%' order by record_time_start"));
    QCOMPARE(r.lines().size(), 1);

    const CliResult all = m_cli->run({"query", kBackup + "/"});
    const QList<QByteArray> lines = all.lines();
    QCOMPARE(lines.size(), 60);
    const QList<QByteArray> first = lines[0].split('\t');
    QCOMPARE(first.size(), 11);
    QCOMPARE(first[0], QByteArray("1"));
    QCOMPARE(first[4], QByteArray("2009-12-01 00:00:00"));
    QCOMPARE(first[6], QByteArray("0 B"));
    QCOMPARE(tsvRows(all).at(0).at(8), QDir::toNativeSeparators(kBackup + "/voice/20091201000000_2_110.wav"));
    // The remark with a line break inside stays on one line, escaped.
    bool escapedBreak = false;
    for (const QByteArray &line : lines)
        escapedBreak = escapedBreak || line.split('\t').value(7).contains("\\r\\n");
    QVERIFY(escapedBreak);
}

void TestCliQuery::textsFollowTheLanguage()
{
    const CliResult english = m_cli->run({"query", kBackup, "--type", "missed"});
    const CliResult chinese = m_cli->run({"query", kBackup, "--type", "missed", "--language", "zh"});
    const CliResult turkish = m_cli->run({"query", kBackup, "--type", "missed", "--language", "3"});
    QCOMPARE(chinese.lines().size(), english.lines().size());
    const QByteArray en = english.lines().value(0).split('\t').value(2);
    const QByteArray zh = chinese.lines().value(0).split('\t').value(2);
    const QByteArray tr = turkish.lines().value(0).split('\t').value(2);
    QVERIFY(!en.isEmpty() && !zh.isEmpty() && !tr.isEmpty());
    QVERIFY(en != zh && en != tr && zh != tr);
    QVERIFY(QString::fromUtf8(zh).contains(QChar(0x672A))); // 未 of 未接
    const CliResult unknown = m_cli->run({"query", kBackup, "--language", "xx"});
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY(unknown.err.contains("unknown language (0, 1, 3, zh, en or tr): xx"));

    // A language file that cannot be read leaves the texts empty, and is named on stderr.
    QTemporaryDir program;
    const CliRunner cli(program.path());
    QVERIFY(TestFiles::write(program.filePath("language/Menu_English.xml"), ""));
    const CliResult blank = cli.run({"query", kBackup, "--type", "missed", "--language", "en"});
    QCOMPARE(blank.exitCode, 0);
    QCOMPARE(blank.lines().size(), english.lines().size());
    QVERIFY2(blank.err.contains("language/Menu_English.xml: it is not well-formed XML"), blank.err.constData());
}

void TestCliQuery::exitCodes()
{
    QTemporaryDir empty;
    const CliResult missing = m_cli->run({"query", empty.path()});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(missing.out.isEmpty());
    QVERIFY(!missing.err.isEmpty()); // Ids::TxtDatabaseOpenFailed and the provider's reason

    // A date the database cannot take gives a refused statement.
    const CliResult refused = m_cli->run({"query", kBackup, "--from", "0050-01-01", "--to", "2009-12-01"});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY(refused.err.contains("Syntax error in date"));
    QCOMPARE(m_cli->run({"query", kBackup, "--from", "2009-13-45"}).exitCode, 2);
    QCOMPARE(m_cli->run({"query", kBackup, "--type", "lost"}).exitCode, 2);
    QCOMPARE(m_cli->run({"query"}).exitCode, 2);
    const CliResult none = m_cli->run({"query", kBackup, "--number", "no such number"});
    QCOMPARE(none.exitCode, 0);
    QVERIFY(none.out.isEmpty());
}

void TestCliQuery::exportWritesTheListedRows()
{
    QTemporaryDir out;
    const QString file = out.filePath("calls.xlsx");
    const CliResult r =
        m_cli->run({"export", kBackup, "--type", "missed", "--output", file}, {}, {"XDG_DATA_HOME=" + out.path()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QFileInfo::exists(file));
    // The template was made in the user's data folder on first use, not beside the program.
#ifdef _WIN32
    // Windows names the user's data folder itself; no variable moves it.
    QVERIFY(QFileInfo::exists(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                              + "/orvik/sample.xlsx"));
#else
    QVERIFY(QFileInfo::exists(out.filePath("orvik/sample.xlsx")));
#endif
    QVERIFY(!QFileInfo::exists(m_program.filePath("sample.xlsx")));

    SKIP_PYTHON_CHECKS();

    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(ORVIK_SOURCE_DIR "/tests/export/read_workbook.py"), file, "--rows", "1,2,9"});
    QVERIFY(reader.waitForFinished(60000));
    QCOMPARE(reader.exitCode(), 0);
    const QJsonObject workbook = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    QCOMPARE(workbook.value("sheets").toArray().at(0).toString(), QStringLiteral("Sheet1"));
    QCOMPARE(workbook.value("max_row").toObject().value("Sheet1").toInt(), 9); // header and eight missed calls
    const QJsonObject cells =
        workbook.value("worksheets").toObject().value("Sheet1").toObject().value("cells").toObject();
    QCOMPARE(cells.value("A1").toObject().value("value").toString(), QStringLiteral("No."));
    QCOMPARE(cells.value("A2").toObject().value("value").toInt(), 1);
    QCOMPARE(cells.value("D2").toObject().value("value").toString(), QStringLiteral("4008208820"));
    QCOMPARE(cells.value("D2").toObject().value("type").toString(), QStringLiteral("s"));
    QCOMPARE(cells.value("E2").toObject().value("value").toString(), QStringLiteral("2009-12-02T14:03:51"));
    QCOMPARE(cells.value("F2").toObject().value("value").toString(), QStringLiteral("00:00"));
    QCOMPARE(cells.value("A9").toObject().value("value").toInt(), 8);

    QCOMPARE(m_cli->run({"export", kBackup}).exitCode, 2); // --output is required
}

void TestCliQuery::csvAndJsonReadBack()
{
    // A backup whose path holds a comma, double quotes, a TAB, a line feed and non-Latin
    // text: every recording path (cell 8) carries them; the remarks add CR LF, commas and
    // Chinese.
    QTemporaryDir tmp;
#ifdef _WIN32
    // A double quote, a TAB or a line feed cannot be part of a folder's name there.
    const QString backup = tmp.filePath(QStringLiteral("calls, 2009"));
#else
    const QString backup = tmp.filePath(QStringLiteral("calls, \"2009\"\tзвонки\n录音"));
#endif
    QVERIFY(TestFiles::copyTree(kBackup, backup));
    const CliResult tsv = m_cli->run({"query", backup});
    QCOMPARE(tsv.exitCode, 0);
    const QList<QStringList> cells = tsvRows(tsv);
    QCOMPARE(cells.size(), 60);
    const QStringList keys = {"no",   "user",   "type",      "number", "start", "talk_time",
                              "size", "remark", "recording", "id",     "dtmf"};

    SKIP_PYTHON_CHECKS();
    for (const bool bom : {false, true}) {
        QStringList args = {"query", backup, "--format", "csv"};
        if (bom)
            args << "--bom";
        const CliResult csv = m_cli->run(args);
        QCOMPARE(csv.exitCode, 0);
        QVERIFY(csv.err.isEmpty()); // no progress line: stderr is not a terminal
        QCOMPARE(csv.out.startsWith("\xEF\xBB\xBF"), bom);
        QVERIFY(csv.out.endsWith("\r\n"));
        QVERIFY(csv.out.contains("\"\"2009\"\""));
        const QJsonObject read = readBack("csv", csv.out);
        QCOMPARE(read.value("bom").toBool(), bom);
        const QJsonArray records = read.value("rows").toArray();
        QCOMPARE(records.size(), cells.size() + 1);
        QCOMPARE(records.at(0).toVariant().toStringList(), keys);
        for (int i = 0; i < cells.size(); ++i)
            QCOMPARE(records.at(i + 1).toVariant().toStringList(), cells[i]);
    }
    bool pathSeen = false, breakSeen = false;
    for (const QStringList &row : cells) {
        pathSeen = pathSeen || row[8].startsWith(backup + "/voice/");
        breakSeen = breakSeen || row[7].contains("\r\n");
    }
    QVERIFY(pathSeen && breakSeen);

    const CliResult json = m_cli->run({"query", backup, "--format", "json"});
    QCOMPARE(json.exitCode, 0);
    QVERIFY(json.err.isEmpty());
    const QJsonArray objects = readBack("json", json.out).value("rows").toArray();
    QCOMPARE(objects.size(), cells.size());
    for (int i = 0; i < cells.size(); ++i) {
        const QJsonObject object = objects.at(i).toObject();
        QCOMPARE(object.keys().size(), keys.size());
        for (int c = 0; c < keys.size(); ++c) {
            const QJsonValue value = object.value(keys[c]);
            if (keys[c] == "no" || keys[c] == "id") {
                QVERIFY(value.isDouble());
                QCOMPARE(QString::number(value.toInteger()), cells[i][c]);
            } else {
                QVERIFY(value.isString());
                QCOMPARE(value.toString(), cells[i][c]);
            }
        }
    }
    // Nothing found: a header alone, an empty array.
    const QStringList none = {"query", backup, "--number", "no such number", "--format"};
    QCOMPARE(m_cli->run(none + QStringList{"csv"}).out,
             QByteArray("no,user,type,number,start,talk_time,size,remark,recording,id,dtmf\r\n"));
    QCOMPARE(readBack("json", m_cli->run(none + QStringList{"json"}).out).value("rows"), QJsonValue(QJsonArray()));

    // sql: NULL is \N, an empty field or null; numbers of number columns are JSON numbers,
    // texts that look like numbers stay strings.
    const QStringList sql = {"sql", QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/odd-types/dbR.mdb"),
                             "select * from Record order by id", "--format"};
    const QList<QStringList> table = tsvRows(m_cli->run(sql + QStringList{"tsv"}));
    QCOMPARE(table.size(), 13);
    const CliResult sqlCsv = m_cli->run(sql + QStringList{"csv"});
    QCOMPARE(sqlCsv.exitCode, 0);
    const QJsonArray records = readBack("csv", sqlCsv.out).value("rows").toArray();
    const QJsonArray rows = readBack("json", m_cli->run(sql + QStringList{"json"}).out).value("rows").toArray();
    QCOMPARE(records.size(), table.size());
    QCOMPARE(rows.size(), table.size() - 1);
    const QStringList columns = table[0];
    QCOMPARE(records.at(0).toVariant().toStringList(), columns);
    int nulls = 0;
    for (int i = 1; i < table.size(); ++i) {
        const QStringList csvRow = records.at(i).toVariant().toStringList();
        const QJsonObject object = rows.at(i - 1).toObject();
        QCOMPARE(object.keys().size(), columns.size());
        for (int c = 0; c < columns.size(); ++c) {
            const QString &cell = table[i][c];
            const QJsonValue value = object.value(columns[c]);
            if (cell == "\\N") {
                ++nulls;
                QCOMPARE(csvRow[c], QString());
                QVERIFY(value.isNull());
            } else {
                QCOMPARE(csvRow[c], cell);
                QVERIFY(value.isString() ? value.toString() == cell : value.toDouble() == cell.toDouble());
            }
        }
    }
    QVERIFY(nulls > 0);
    QVERIFY(sqlCsv.out.contains("\r\n4,\"\",")); // id 4: line_id an empty text
    QVERIFY(sqlCsv.out.contains("\r\n7,,"));     // id 7: line_id NULL
    const QJsonObject id2 = rows.at(1).toObject();
    QCOMPARE(id2.value("id"), QJsonValue(2));
    QCOMPARE(id2.value("ring_time"), QJsonValue(3.5));
    QCOMPARE(id2.value("line_id"), QJsonValue("abc"));
    QCOMPARE(rows.at(0).toObject().value("line_id"), QJsonValue("12"));
    QVERIFY(rows.at(10).toObject().value("note").toString().size() > 6000);

    // Keys come in the columns' order, as the header of the other formats has them.
    const QByteArray queryJson = json.out.mid(json.out.indexOf('{'));
    qsizetype at = 0;
    for (const QString &key : keys) {
        const qsizetype next = queryJson.indexOf("\"" + key.toUtf8() + "\":", at);
        QVERIFY2(next >= at && next < queryJson.indexOf('}'), qPrintable(key));
        at = next;
    }
    const QByteArray sqlJson = m_cli->run(sql + QStringList{"json"}).out;
    QVERIFY2(sqlJson.startsWith("[\n{\"id\":1,\"line_id\":\"12\",\"record_time_start\":"),
             sqlJson.left(80).constData());

    // A number JSON has no form for is a string, never null, which means no value.
    QTemporaryDir odd;
    QByteArray bytes = TestFiles::read(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/odd-types/dbR.mdb"));
    const auto patch = [&](double from, double to) {
        char a[8], b[8];
        std::memcpy(a, &from, 8);
        std::memcpy(b, &to, 8);
        QCOMPARE(bytes.count(QByteArrayView(a, 8)), 1);
        bytes.replace(QByteArray(a, 8), QByteArray(b, 8));
    };
    patch(3.5, std::numeric_limits<double>::quiet_NaN()); // id 2
    patch(7.0, std::numeric_limits<double>::infinity());  // id 5
    patch(6.0, -std::numeric_limits<double>::infinity()); // id 11
    QVERIFY(TestFiles::write(odd.filePath("dbR.mdb"), bytes));
    const QStringList oddSql = {"sql", odd.filePath("dbR.mdb"), "select * from Record order by id", "--format"};
    const CliResult oddJson = m_cli->run(oddSql + QStringList{"json"});
    QCOMPARE(oddJson.exitCode, 0);
    const QJsonArray oddRows = readBack("json", oddJson.out).value("rows").toArray();
    QCOMPARE(oddRows.at(1).toObject().value("ring_time"), QJsonValue("NaN"));
    QCOMPARE(oddRows.at(4).toObject().value("ring_time"), QJsonValue("Infinity"));
    QCOMPARE(oddRows.at(10).toObject().value("ring_time"), QJsonValue("-Infinity"));
    QCOMPARE(oddRows.at(6).toObject().value("ring_time"), QJsonValue(QJsonValue::Null)); // NULL stays null
    QCOMPARE(oddRows.at(0).toObject().value("ring_time"), QJsonValue(2.0));
}

void TestCliQuery::progressLine()
{
    using Cli::formatProgress;
    QCOMPARE(formatProgress(450000, 1000000, 632, "rows"), QStringLiteral("45% 450000 of 1000000 rows, 712025 rows/s"));
    QCOMPARE(formatProgress(12, -1, 3000, "pages"), QStringLiteral("12 pages, 4 pages/s"));
    QCOMPARE(formatProgress(7, 5, 0, "rows"), QStringLiteral("100% 7 of 5 rows"));
    QCOMPARE(formatProgress(0, 0, 0, "rows"), QStringLiteral("100% 0 of 0 rows"));

    // Shown once a tenth of a second has passed, rewritten in place, erased at the end.
    for (const bool shown : {true, false}) {
        std::FILE *stream = std::tmpfile();
        QVERIFY(stream);
        {
            Cli::ProgressMeter meter("rows", shown, stream);
            meter.setTotal(10);
            QThread::msleep(Cli::ProgressMeter::kIntervalMs + 20);
            meter.advance(5);
        }
        const long size = std::ftell(stream);
        QByteArray written(size, '\0');
        std::rewind(stream);
        QCOMPARE(std::fread(written.data(), 1, size_t(size), stream), size_t(size));
        std::fclose(stream);
        if (!shown) {
            QVERIFY(written.isEmpty());
            continue;
        }
        QVERIFY2(written.startsWith("\r50% 5 of 10 rows, "), written.constData());
        const qsizetype width = written.indexOf('\r', 1) - 1;
        QCOMPARE(written.mid(width + 1), "\r" + QByteArray(width, ' ') + "\r");
    }
}

// orvik-cli search over a root of copies of the sample backups, one of them broken, one
// with a password and one without config.ini: its rows are the per-backup query rows
// merged by start time (ties in catalogue order), numbered anew; the failures are named.
void TestCliQuery::searchEveryBackup()
{
    QTemporaryDir rootDir;
    const QString root = rootDir.path() + "/";
    const QString samples = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/");
    for (const char *name : {"2009-12", "2010-01", "odd-types"})
        QVERIFY(TestFiles::copyTree(samples + name, root + name));
    // A second copy ties with the first at every start time: the catalogue's order decides.
    QVERIFY(TestFiles::copyTree(samples + "2009-12", root + "2009-12-again"));
    QVERIFY(TestFiles::copyTree(samples + "2009-12", root + "locked"));
    JetTest::setPassword(root + "locked/dbR.mdb", "secret");
    QVERIFY(TestFiles::write(root + "broken/config.ini", "[base]\r\n"));
    QVERIFY(TestFiles::write(root + "broken/dbR.mdb", QByteArray(4096, 'x')));
    QVERIFY(TestFiles::copyTree(samples + "2010-01", root + "no-config"));
    QVERIFY(QFile::remove(root + "no-config/config.ini"));

    // The catalogue as `backups` lists it: the order decides equal start times.
    const CliResult catalogue = m_cli->run({"backups", "--root", root});
    QCOMPARE(catalogue.exitCode, 0);
    QStringList dirs;
    for (const QStringList &cells : tsvRows(catalogue))
        dirs << cells.at(4);
    QCOMPARE(dirs.size(), 6); // no-config is no backup

    for (const QStringList &filter : {QStringList{}, QStringList{"--type", "missed"}}) {
        // The rows of each backup that `query` lists, merged by start time.
        struct Row
        {
            QString start;
            QStringList cells;
        };
        QList<Row> expected;
        for (const QString &dir : dirs) {
            const CliResult one = m_cli->run(QStringList{"query", dir} + filter);
            if (one.exitCode != 0)
                continue; // broken and locked
            for (const QStringList &cells : tsvRows(one))
                expected.append({cells.at(4), QStringList{dir} + cells});
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Row &a, const Row &b) { return a.start < b.start; });
        QList<QStringList> wanted;
        for (int i = 0; i < expected.size(); ++i) {
            wanted << expected[i].cells;
            wanted.last()[1] = QString::number(i + 1);
        }
        QVERIFY(wanted.size() > 0);

        const CliResult all = m_cli->run(QStringList{"search", "--root", root} + filter);
        QCOMPARE(all.exitCode, 5);
        QCOMPARE(tsvRows(all), wanted);
        // One line per backup that failed: odd-types keeps its talk time as text, which the
        // missed-calls condition cannot compare.
        QStringList failed;
        for (const QByteArray &e : all.err.trimmed().split('\n'))
            failed << QString::fromUtf8(e).section(": ", 0, 0);
        // Named as the listings write them (a "\\" escaped).
        const auto shown = [](const QString &dir) {
            return QDir::toNativeSeparators(dir).replace(u'\\', QStringLiteral("\\\\"));
        };
        QStringList expectedFailed{shown(root + "broken/"), shown(root + "locked/")};
        if (!filter.isEmpty())
            expectedFailed << shown(root + "odd-types/");
        failed.sort();
        expectedFailed.sort();
        QCOMPARE(failed, expectedFailed);
        QVERIFY(all.err.contains("Not a valid password."));
    }

    // The sound backups alone, through --root and --add: every one searched, exit 0; JSON
    // names the backup first.
    const CliResult sound = m_cli->run(
        {"search", "--root", root + "2009-12", "--add", root + "2010-01", "--number", "138", "--format", "json"});
    QCOMPARE(sound.exitCode, 0);
    QVERIFY(sound.err.isEmpty());
    const QJsonArray rows = QJsonDocument::fromJson(sound.out).array();
    QVERIFY(rows.size() > 0);
    QCOMPARE(rows.first().toObject().value("backup").toString(), QDir::toNativeSeparators(root + "2009-12/"));
    QCOMPARE(rows.last().toObject().value("no").toInt(), rows.size());
    QCOMPARE(m_cli->run({"search", "extra"}).exitCode, 2);
}

void TestCliQuery::statsCountWhatQueryLists()
{
    const QStringList groupings{"totals", "day", "week", "month", "hour", "weekday", "user", "number", "type"};
    QTemporaryDir rootDir;
    const QString root = rootDir.path() + "/";
    for (const char *name : {"2009-12", "2010-01"})
        QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + name, root + name));
    // One backup with and without a filter, and the catalogue, as query and search list them.
    const QList<QPair<QStringList, QStringList>> roads = {
        {{"query", kBackup}, {"stats", kBackup}},
        {{"query", kBackup, "--type", "missed"}, {"stats", kBackup, "--type", "missed"}},
        {{"search", "--root", root}, {"stats", "--root", root}},
    };
    SKIP_PYTHON_CHECKS();
    for (const auto &[list, stats] : roads) {
        const CliResult rows = m_cli->run(list + QStringList{"--format", "json"});
        QCOMPARE(rows.exitCode, 0);
        for (const QString &by : groupings) {
            const QStringList grouping = by == "totals" ? QStringList{} : QStringList{"--by", by};
            const CliResult figures = m_cli->run(stats + grouping + QStringList{"--format", "json"});
            QCOMPARE(figures.exitCode, 0);
            QCOMPARE(checkStats(rows.out, by, figures.out), QString("ok"));
        }
    }

    // TSV has its header line; CSV reads back as a table; a grouping that does not exist and
    // a backup together with a catalogue are usage errors.
    const CliResult tsv = m_cli->run({"stats", kBackup});
    QCOMPARE(tsv.exitCode, 0);
    QCOMPARE(tsv.lines().size(), 2);
    QCOMPARE(tsv.lines().at(0), QByteArray("calls\tincoming\toutgoing\tmissed\tanswered\tmissed_percent\ttalk_seconds\t"
                                           "average_seconds\tmedian_seconds\tlongest_seconds\tfirst\tlast"));
    QCOMPARE(tsv.lines().at(1), QByteArray("60\t33\t19\t8\t52\t13.3\t16664\t320\t340\t603\t2009-12-01 00:00:00\t"
                                           "2009-12-31 23:59:59"));
    const QJsonArray csv =
        readBack("csv", m_cli->run({"stats", kBackup, "--by", "type", "--format", "csv"}).out).value("rows").toArray();
    QCOMPARE(csv.size(), 4);
    QCOMPARE(csv.at(3).toArray().at(0).toString(), QString("missed"));
    QCOMPARE(csv.at(3).toArray().at(1).toString(), QString("8"));
    QCOMPARE(m_cli->run({"stats", kBackup, "--by", "year"}).exitCode, 2);
    QCOMPARE(m_cli->run({"stats", kBackup, "--root", root}).exitCode, 2);

    // export --stats: the same list sheet, then the sheet Statistics with the totals first.
    QTemporaryDir out;
    const QStringList environment{"XDG_DATA_HOME=" + out.path()};
    QCOMPARE(m_cli->run({"export", kBackup, "--output", out.filePath("plain.xlsx")}, {}, environment).exitCode, 0);
    QCOMPARE(
        m_cli->run({"export", kBackup, "--stats", "--output", out.filePath("stats.xlsx")}, {}, environment).exitCode,
        0);
    QProcess compare;
    compare.start(QStringLiteral(ORVIK_TEST_PYTHON),
                  {"-c",
                   "import sys, zipfile\n"
                   "part = lambda f: zipfile.ZipFile(f).read('xl/worksheets/sheet1.xml')\n"
                   "print(part(sys.argv[1]) == part(sys.argv[2]))",
                   out.filePath("plain.xlsx"), out.filePath("stats.xlsx")});
    QVERIFY(compare.waitForFinished(60000));
    QCOMPARE(compare.readAllStandardOutput().trimmed(), QByteArray("True"));
    QProcess reader;
    reader.start(QStringLiteral(ORVIK_TEST_PYTHON), {QStringLiteral(ORVIK_SOURCE_DIR "/tests/export/read_workbook.py"),
                                                     out.filePath("stats.xlsx"), "--rows", "1,2,3"});
    QVERIFY(reader.waitForFinished(60000));
    QCOMPARE(reader.exitCode(), 0);
    const QJsonObject workbook = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    QCOMPARE(workbook.value("sheets").toArray(), (QJsonArray{"Sheet1", "Statistics"}));
    const QJsonObject cells =
        workbook.value("worksheets").toObject().value("Statistics").toObject().value("cells").toObject();
    QCOMPARE(cells.value("A1").toObject().value("value").toString(), QString("Totals"));
    QCOMPARE(cells.value("A2").toObject().value("value").toString(), QString("Calls"));
    QCOMPARE(cells.value("A3").toObject().value("value").toInt(), 60);
    QCOMPARE(cells.value("D3").toObject().value("value").toInt(), 8);
    QCOMPARE(cells.value("G3").toObject().value("value").toString(), QString("04:37:44"));
    QCOMPARE(cells.value("K3").toObject().value("value").toString(), QString("2009-12-01T00:00:00"));
}

QTEST_GUILESS_MAIN(TestCliQuery)
#include "tst_cli_query.moc"

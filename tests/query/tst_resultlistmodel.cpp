// The result rows: every cell of every row of a real backup against the reference dump,
// the file-size rule at its edges, the talk-time and start-time formats, what a new
// search, a refused statement and a removed row do to the list, and sorting with the
// totals of the rows shown. Qt's model tester watches the fills, the removals and the
// sorts, so every change is announced as views expect. The statistics of a real backup,
// against figures checked by hand in its reference dump and counted again from the dump.
#include "db/ado/AdoDb.h"
#include "db/record/CallRecord.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "platform/FileLocks.h"
#include "platform/RandomAccessFile.h"
#include "query/BackupSearch.h"
#include "query/BackupSearchModel.h"
#include "query/CellFormat.h"
#include "query/ResultListModel.h"
#include "query/ResultRows.h"
#include "query/TextOrder.h"
#include "stats/CallSelection.h"
#include "stats/CallStatistics.h"
#include "task/TaskPool.h"

#include "TestPaths.h"
#include "common/ExpectedDump.h"
#include "common/ScriptedDesktop.h"
#include "common/TestFiles.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const QString kAll = QStringLiteral("select * from Record  order by record_time_start");

struct Backup
{
    QTemporaryDir dir;
    QString path; // ends in "/"
    explicit Backup(const QString &name = QStringLiteral("2009-12"))
    {
        path = dir.filePath(name) + "/";
        TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + name, dir.filePath(name));
    }
};

// Opens the backup's database as the query window does and fills `model` with `statement`.
bool FillFromBackup(const Backup &backup, CAdoDb &db, ResultListModel &model, const QString &statement)
{
    if (!db.OpenAccessDatabase(backup.path + "dbR.mdb", QString()))
        return false;
    model.SetBackupDir(backup.path);
    model.FillResultList(db, statement);
    return true;
}

QList<QStringList> allRows(const ResultListModel &model)
{
    QList<QStringList> rows;
    for (int r = 0; r < model.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < ResultListModel::kCellCount; ++c)
            cells << model.CellText(r, c);
        rows << cells;
    }
    return rows;
}

int rowOfId(const ResultListModel &model, int id)
{
    for (int r = 0; r < model.RowCount(); ++r) {
        if (model.CellText(r, ResultListModel::CellId).toInt() == id)
            return r;
    }
    return -1;
}

} // namespace

class TestResultListModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCellAgainstTheReference();
    void recordingFileCells();
    void fileSizes_data();
    void fileSizes();
    void recordingThatIsAPipe();
    void talkTimes_data();
    void talkTimes();
    void startTimes_data();
    void startTimes();
    void newSearchRefusedStatementAndRemovedRows();
    void nullsAndMissingColumns();
    void incrementalFillShowsTheSameRows();
    void sortingMovesRowsWithTheirCells();
    void searchOverSeveralBackups();
    void statisticsOfTheDecemberBackup();
    void mostFrequentOfManyNumbers();
    void textsAreLookedAtOneByOne();

private:
    ScriptedDesktop m_desktop;
};

void TestResultListModel::initTestCase()
{
    QCOMPARE(g_language.LoadFile(QStringLiteral(ORVIK_LANGUAGE_DIR "/Menu_English.xml")), 0);
}

void TestResultListModel::everyCellAgainstTheReference()
{
    Backup backup;
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, kAll));

    QList<ExpectedRow> expected =
        readExpectedDump(QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__Rec__2009-12__dbR.mdb__record.tsv"));
    std::stable_sort(expected.begin(), expected.end(), [](const ExpectedRow &a, const ExpectedRow &b) {
        return a.rawDate("record_time_start") < b.rawDate("record_time_start");
    });
    QCOMPARE(model.RowCount(), 60);
    QCOMPARE(int(expected.size()), 60);
    QCOMPARE(model.rowCount(), 60);
    QCOMPARE(model.columnCount(), 11);
    for (int r = 0; r < model.RowCount(); ++r) {
        const ExpectedRow &e = expected[r];
        auto cell = [&](int position) { return model.CellText(r, position); };
        QCOMPARE(cell(ResultListModel::CellNumber), QString::number(r + 1));
        QCOMPARE(cell(ResultListModel::CellId), e.text("id"));
        QCOMPARE(cell(ResultListModel::CellName), e.text("name"));
        QCOMPARE(cell(ResultListModel::CellPhone), e.text("fsk"));
        QCOMPARE(cell(ResultListModel::CellRemark), e.text("context"));
        QCOMPARE(cell(ResultListModel::CellDtmf), e.text("dtmf"));
        QCOMPARE(cell(ResultListModel::CellStart), e.date("record_time_start"));
        const int talked = e.number("talked_time");
        QCOMPARE(cell(ResultListModel::CellTalkTime),
                 QStringLiteral("%1:%2").arg(talked / 60, 2, 10, QChar(u'0')).arg(talked % 60, 2, 10, QChar(u'0')));
        const int typeId = e.number("call_direction") != 0 ? Ids::TxtOutgoing
                           : talked != 0                   ? Ids::TxtIncoming
                                                           : Ids::TxtMissed;
        QCOMPARE(cell(ResultListModel::CellType), GetDialogText(typeId));
        QCOMPARE(model.data(model.index(r, ResultListModel::CellPhone)).toString(), e.text("fsk"));
    }
    // The missed calls of this backup, as its description lists them.
    QList<int> missed;
    for (int r = 0; r < model.RowCount(); ++r) {
        if (model.CellText(r, ResultListModel::CellType) == GetDialogText(Ids::TxtMissed))
            missed << model.CellText(r, ResultListModel::CellId).toInt();
    }
    std::sort(missed.begin(), missed.end());
    QCOMPARE(missed, (QList<int>{4, 10, 15, 23, 28, 36, 45, 53}));
    // 18 is outgoing with no talk time: outgoing, not missed.
    QCOMPARE(model.CellText(rowOfId(model, 18), ResultListModel::CellType), GetDialogText(Ids::TxtOutgoing));
}

void TestResultListModel::recordingFileCells()
{
    Backup backup;
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, kAll));
    auto cells = [&](int id) {
        const int r = rowOfId(model, id);
        return QStringList{model.CellText(r, ResultListModel::CellFile), model.CellText(r, ResultListModel::CellSize)};
    };
    // Shown with the platform's separators.
    const QString voice = QDir::toNativeSeparators(backup.path + "voice/");
    QCOMPARE(cells(1), (QStringList{voice + "20091201000000_2_110.wav", "0 B"}));
    QCOMPARE(cells(3), (QStringList{voice + "20091202092128_4_110.wav", "1024 B"}));
    QCOMPARE(cells(5).at(1), QStringLiteral("1.00 KB"));
    QCOMPARE(cells(14).at(1), QStringLiteral("50.00 KB"));
    QCOMPARE(cells(16).at(1), QStringLiteral("50.78 KB"));
    for (int id : {11, 31, 51})
        QCOMPARE(cells(id), (QStringList{"DEL", ""}));
    for (int id : {12, 32, 52})
        QCOMPARE(cells(id), (QStringList{"", ""}));
    QCOMPARE(cells(41), (QStringList{voice + "del", ""})); // only "DEL" marks a deleted file
    QVERIFY(!cells(42).at(0).isEmpty());
    QCOMPARE(cells(42).at(1), QString()); // listed but missing on disk
    // Names the recorder gives (1, 3) are made again from the row; others are kept as read.
    QCOMPARE(cells(25).at(0), voice + QStringLiteral("留言_20091211094157_1_13812345678.wav"));
    QVERIFY(cells(25).at(1).endsWith("KB"));

    // A recording reached through a link that points outside the voice folder is not
    // measured; one that stays inside is. (QFile::link makes a shortcut on Windows.)
#ifndef _WIN32
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.filePath("secret.wav"), QByteArray(5000, 'x')));
    QVERIFY(QFile::remove(voice + "20091201000000_2_110.wav"));
    QVERIFY(QFile::link(outside.filePath("secret.wav"), voice + "20091201000000_2_110.wav"));
    QVERIFY(QFile::remove(voice + "20091202092128_4_110.wav"));
    QVERIFY(QFile::link(voice + "20091201093713_4_0123456.wav", voice + "20091202092128_4_110.wav"));
    model.FillResultList(db, kAll);
    QCOMPARE(cells(1).at(1), QString());
    QCOMPARE(cells(3).at(1), cells(2).at(1));
#endif
}

void TestResultListModel::fileSizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("cell");
    QTest::newRow("empty") << qint64(0) << "0 B";
    QTest::newRow("1 KB exactly") << qint64(1024) << "1024 B";
    QTest::newRow("just above 1 KB") << qint64(1025) << "1.00 KB";
    QTest::newRow("below 1000 KB") << qint64(1023999) << "1000.00 KB";
    QTest::newRow("1000 KB") << qint64(1024000) << "0.98 MB";
    QTest::newRow("2 GiB") << (qint64(2) << 30) << "2048.00 MB";
    QTest::newRow("5 GiB") << (qint64(5) << 30) << "5120.00 MB";
}

void TestResultListModel::fileSizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, cell);
    QCOMPARE(CellFormat::FileSize(bytes), cell);
    // The same through a real (sparse) file of that size in a backup.
    Backup backup;
    const QString file = backup.path + "voice/20091201093713_4_0123456.wav";
    QVERIFY(QFile::resize(file, bytes));
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, QStringLiteral("select * from Record where id = 2")));
    QCOMPARE(model.RowCount(), 1);
    QCOMPARE(model.CellText(0, ResultListModel::CellSize), cell);
}

void TestResultListModel::recordingThatIsAPipe()
{
    // A named pipe in the voice folder under a recording's name has no size to show. Opening
    // it for reading would wait for a writer that never comes, with the window frozen.
#ifdef _WIN32
    QSKIP("Windows has no named pipes in the file system");
#else
    Backup backup;
    const QString file = backup.path + "voice/20091201093713_4_0123456.wav";
    QVERIFY(QFile::remove(file));
    QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, QStringLiteral("select * from Record where id = 2")));
    QCOMPARE(model.RowCount(), 1);
    QCOMPARE(model.CellText(0, ResultListModel::CellFile), file);
    QCOMPARE(model.CellText(0, ResultListModel::CellSize), QString());
#endif
}

void TestResultListModel::talkTimes_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("cell");
    QTest::newRow("0") << 0 << "00:00";
    QTest::newRow("59") << 59 << "00:59";
    QTest::newRow("60") << 60 << "01:00";
    QTest::newRow("65") << 65 << "01:05";
    QTest::newRow("7507, not wrapped into hours") << 7507 << "125:07";
    QTest::newRow("negative, as C divides") << -65 << "-01:-05";
}

void TestResultListModel::talkTimes()
{
    QFETCH(int, seconds);
    QFETCH(QString, cell);
    QCOMPARE(CellFormat::TalkTime(seconds), cell);
}

void TestResultListModel::startTimes_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("cell");
    QTest::newRow("first second of December 2009") << 40148.0 << int(OleDate::Valid) << "2009-12-01 00:00:00";
    QTest::newRow("last second of a month")
        << 40633.0 + 86399.0 / 86400.0 << int(OleDate::Valid) << "2011-03-31 23:59:59";
    QTest::newRow("rounds to the next day") << 40148.99999999 << int(OleDate::Valid) << "2009-12-02 00:00:00";
    QTest::newRow("the epoch") << 0.0 << int(OleDate::Valid) << "1899-12-30 00:00:00";
    QTest::newRow("before the epoch") << -1.25 << int(OleDate::Valid) << "1899-12-29 06:00:00";
    QTest::newRow("leap day") << 36585.5 << int(OleDate::Valid) << "2000-02-29 12:00:00";
    QTest::newRow("year 100") << -657434.0 << int(OleDate::Valid) << "100-01-01 00:00:00";
    QTest::newRow("not valid") << 40148.0 << int(OleDate::Invalid) << "-01--01--01 -01:-01:-01";
    QTest::newRow("beyond year 9999") << 3.0e6 << int(OleDate::Valid) << "-01--01--01 -01:-01:-01";
}

void TestResultListModel::startTimes()
{
    QFETCH(double, days);
    QFETCH(int, status);
    QFETCH(QString, cell);
    QCOMPARE(CellFormat::StartTime(OleDate(days, status)), cell);
}

void TestResultListModel::newSearchRefusedStatementAndRemovedRows()
{
    Backup backup;
    CAdoDb db;
    ResultListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(FillFromBackup(backup, db, model,
                           QStringLiteral("select * from Record where name LIKE '%li%' order by record_time_start")));
    const int found = model.RowCount();
    QVERIFY(found > 0);
    QStringList first;
    for (int r = 0; r < found; ++r)
        first << model.CellText(r, ResultListModel::CellId);
    // The same search again: the same rows, numbered from 1 again.
    model.FillResultList(db, "select * from Record where name LIKE '%li%' order by record_time_start");
    QCOMPARE(model.RowCount(), found);
    for (int r = 0; r < found; ++r) {
        QCOMPARE(model.CellText(r, ResultListModel::CellId), first.at(r));
        QCOMPARE(model.CellText(r, ResultListModel::CellNumber), QString::number(r + 1));
    }
    // Removing the first of three rows leaves rows numbered 2 and 3. A snapshot taken before
    // keeps all three and learns which one left.
    model.FillResultList(db, "select * from Record where id <= 3 order by record_time_start");
    QCOMPARE(model.RowCount(), 3);
    const ResultSnapshot snapshot = model.Snapshot();
    model.RemoveRow(0);
    QCOMPARE(model.RowCount(), 2);
    QCOMPARE(model.CellText(0, ResultListModel::CellNumber), QStringLiteral("2"));
    QCOMPARE(model.CellText(1, ResultListModel::CellNumber), QStringLiteral("3"));
    model.RemoveRow(5); // no such row: nothing happens
    QCOMPARE(model.RowCount(), 2);
    QCOMPARE(snapshot.RowCount(), 3);
    QCOMPARE(snapshot.CellText(0, ResultListModel::CellNumber), QStringLiteral("1"));
    QCOMPARE(snapshot.CellText(2, ResultListModel::CellId), model.CellText(1, ResultListModel::CellId));
    QVERIFY(snapshot.IsRemoved(0) && !snapshot.IsRemoved(1) && !snapshot.IsRemoved(2));
    // A refused statement, or one that matches nothing, leaves the list empty.
    model.FillResultList(db, "select * from Record where fsk LIKE '%O'Brien%'");
    QCOMPARE(model.RowCount(), 0);
    // The new search emptied the list: the snapshot's rows have all left it, and the rows of
    // the next search are not confused with them.
    QVERIFY(snapshot.IsRemoved(1) && snapshot.IsRemoved(2));
    QCOMPARE(snapshot.CellText(1, ResultListModel::CellNumber), QStringLiteral("2"));
    model.FillResultList(db, "select * from Record where id = 3");
    model.FillResultList(db, "select * from Record where id = 999");
    QCOMPARE(model.RowCount(), 0);
    QCOMPARE(model.CellText(0, 0), QString());
}

void TestResultListModel::nullsAndMissingColumns()
{
    Backup backup(QStringLiteral("odd-types"));
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, kAll));
    QCOMPARE(model.RowCount(), 12);
    // id 9 has no start time: the record keeps 1899-12-30 and sorts first (NULL first).
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QStringLiteral("9"));
    QCOMPARE(model.CellText(0, ResultListModel::CellStart), QStringLiteral("1899-12-30 00:00:00"));
    // id 7: NULL call_direction keeps 1 (outgoing); NULL talked_time keeps 0.
    const int r7 = rowOfId(model, 7);
    QCOMPARE(model.CellText(r7, ResultListModel::CellType), GetDialogText(Ids::TxtOutgoing));
    QCOMPARE(model.CellText(r7, ResultListModel::CellTalkTime), QStringLiteral("00:00"));
    // id 10: NULL texts give empty cells; there is no dtmf column at all.
    const int r10 = rowOfId(model, 10);
    for (int cell :
         {ResultListModel::CellName, ResultListModel::CellPhone, ResultListModel::CellFile, ResultListModel::CellDtmf})
        QCOMPARE(model.CellText(r10, cell), QString());
    // talked_time is text here: "12" reads as 12 seconds, "abc" keeps 0.
    QCOMPARE(model.CellText(rowOfId(model, 1), ResultListModel::CellTalkTime), QStringLiteral("00:12"));
    QCOMPARE(model.CellText(rowOfId(model, 2), ResultListModel::CellTalkTime), QStringLiteral("00:00"));
    QCOMPARE(model.CellText(rowOfId(model, 6), ResultListModel::CellSize), QString()); // missing.wav
}

void TestResultListModel::incrementalFillShowsTheSameRows()
{
    Backup backup;
    CAdoDb db;
    QVERIFY(db.OpenAccessDatabase(backup.path + "dbR.mdb", QString()));
    ResultListModel whole, steps;
    QAbstractItemModelTester tester(&steps, QAbstractItemModelTester::FailureReportingMode::QtTest);
    whole.SetBackupDir(backup.path);
    steps.SetBackupDir(backup.path);
    whole.FillResultList(db, kAll);
    QSignalSpy inserted(&steps, &QAbstractItemModel::rowsInserted);
    QVERIFY(steps.BeginFill(db, kAll));
    int batches = 0;
    while (steps.FillMore(7))
        ++batches;
    QVERIFY(!steps.IsFilling());
    QCOMPARE(batches, 8); // 60 rows in batches of 7: eight full ones and a last one
    QCOMPARE(inserted.count(), 9);
    QCOMPARE(steps.RowCount(), whole.RowCount());
    for (int r = 0; r < whole.RowCount(); ++r)
        for (int c = 0; c < ResultListModel::kCellCount; ++c)
            QCOMPARE(steps.CellText(r, c), whole.CellText(r, c));
    // A fill stopped half way keeps its rows.
    QVERIFY(steps.BeginFill(db, kAll));
    steps.FillMore(10);
    steps.EndFill();
    QCOMPARE(steps.RowCount(), 10);
    QVERIFY(!steps.FillMore(10));

    // Rows another program deletes while the list fills are left out, never listed as
    // calls with id 0, an empty start and the first call type.
    QTemporaryDir many;
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), many.path()));
    const QString database = many.filePath("dbR.mdb");
    CAdoDb reader, other;
    QVERIFY(reader.OpenAccessDatabase(database, QString()));
    QVERIFY(other.OpenAccessDatabase(database, QString()));
    ResultListModel filling;
    filling.SetBackupDir(many.path() + "/");
    QVERIFY(filling.BeginFill(reader, kAll));
    filling.FillMore(1);
    QVERIFY(other.SqlExecute(QStringLiteral("delete from record where id > 1000")));
    while (filling.FillMore(500)) {}
    QVERIFY(filling.RowCount() >= 1000 && filling.RowCount() < 3000);
    for (int r = 0; r < filling.RowCount(); ++r) {
        QVERIFY(filling.CellText(r, ResultListModel::CellId).toInt() > 0);
        QVERIFY(!filling.CellText(r, ResultListModel::CellStart).isEmpty());
    }
    QVERIFY(filling.LastScanReport().isComplete()); // deleted rows are no damage
}

void TestResultListModel::sortingMovesRowsWithTheirCells()
{
    Backup backup;
    CAdoDb db;
    ResultListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(FillFromBackup(backup, db, model, kAll));
    qint64 talked = 0;
    for (const ExpectedRow &e :
         readExpectedDump(QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__Rec__2009-12__dbR.mdb__record.tsv")))
        talked += e.number("talked_time");
    QCOMPARE(model.MissedCount(), 8);
    QCOMPARE(model.TotalTalkSeconds(), talked);
    QCOMPARE(CellFormat::TotalTalkTime(0), QString("00:00:00"));
    QCOMPARE(CellFormat::TotalTalkTime(100000), QString("27:46:40"));
    QCOMPARE(CellFormat::TotalTalkTime(-65), QString("-00:01:05"));

    // Every column, both ways: the same rows, each with its own cells (its search number
    // too), and rows with equal cells in the statement's order.
    const QList<QStringList> statement = allRows(model);
    QMap<QString, QStringList> byId;
    for (const QStringList &cells : statement)
        byId[cells[ResultListModel::CellId]] = cells;
    for (int column = 0; column < ResultListModel::kCellCount; ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            model.SortNow(column, order);
            QCOMPARE(model.SortColumn(), column);
            const QList<QStringList> sorted = allRows(model);
            QCOMPARE(sorted.size(), 60);
            const bool textColumn = column == ResultListModel::CellName || column == ResultListModel::CellPhone
                                    || column == ResultListModel::CellRemark || column == ResultListModel::CellDtmf;
            const bool wholeNumbers = column == ResultListModel::CellNumber || column == ResultListModel::CellId;
            const int sign = order == Qt::AscendingOrder ? 1 : -1;
            for (int r = 0; r < 60; ++r) {
                QCOMPARE(sorted[r], byId.value(sorted[r][ResultListModel::CellId]));
                if (r > 0 && sorted[r][column] == sorted[r - 1][column])
                    QVERIFY(sorted[r][0].toInt() > sorted[r - 1][0].toInt());
                if (r > 0 && textColumn)
                    QVERIFY(sign * CompareTexts(sorted[r - 1][column].toUtf8(), sorted[r][column].toUtf8()) <= 0);
                if (r > 0 && wholeNumbers)
                    QVERIFY(sign * (sorted[r][column].toInt() - sorted[r - 1][column].toInt()) >= 0);
            }
        }
    }
    model.SortNow(ResultListModel::CellTalkTime, Qt::DescendingOrder);
    QCOMPARE(model.CellText(0, ResultListModel::CellTalkTime), QString("10:03")); // the longest call
    QCOMPARE(model.CellText(59, ResultListModel::CellTalkTime), QString("00:00"));
    model.SortNow(ResultListModel::CellStart);
    QCOMPARE(allRows(model), statement); // the statement is ordered by start time too

    // A removed row is the one shown at that place; the totals follow.
    model.SortNow(ResultListModel::CellId, Qt::DescendingOrder);
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("62"));
    const QStringList last = byId.value("62");
    const int missed = model.MissedCount() - (last[ResultListModel::CellType] == GetDialogText(Ids::TxtMissed));
    model.RemoveRow(0);
    QCOMPARE(model.RowCount(), 59);
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("61"));
    QCOMPARE(model.MissedCount(), missed);
    QCOMPARE(model.TotalTalkSeconds(), talked - last[ResultListModel::CellTalkTime].section(':', 0, 0).toInt() * 60
                                           - last[ResultListModel::CellTalkTime].section(':', 1).toInt());
    model.SortNow(-1);
    QCOMPARE(model.SortColumn(), -1);
    QList<QStringList> remaining = statement;
    remaining.removeAll(last);
    QCOMPARE(allRows(model), remaining);

    // Asked for while rows arrive, the sort is made (on a worker) once the last has come.
    QVERIFY(model.BeginFill(db, kAll));
    model.FillMore(10);
    QSignalSpy sorted(&model, &CallListModel::sorted);
    model.sort(ResultListModel::CellId, Qt::DescendingOrder);
    QCOMPARE(model.CellText(0, 0), QString("1"));
    while (model.FillMore(10)) {}
    QCOMPARE(model.CellText(0, 0), QString("1")); // the old order until the new one is ready
    QVERIFY(model.IsSorting());
    QVERIFY(sorted.wait());
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("62"));
    QCOMPARE(model.CellText(59, ResultListModel::CellId), QString("1"));
    // A new search shows the statement's order again.
    model.FillResultList(db, kAll);
    QCOMPARE(model.SortColumn(), -1);
    QCOMPARE(allRows(model), statement);

    // Narrowed to the missed calls: only they are shown and counted; a sort and a removal
    // while narrowed reach the rows not shown as well, and all come back in that order.
    model.Narrow([](const ResultRows &rows, int stored) { return rows.IsMissed(stored); });
    QCOMPARE(model.RowCount(), 8);
    QCOMPARE(model.ListedCount(), 60);
    QCOMPARE(model.MissedCount(), 8);
    QCOMPARE(model.TotalTalkSeconds(), 0);
    model.SortNow(ResultListModel::CellId, Qt::DescendingOrder);
    for (int r = 1; r < model.RowCount(); ++r)
        QVERIFY(model.CellText(r - 1, ResultListModel::CellId).toInt()
                > model.CellText(r, ResultListModel::CellId).toInt());
    const QString missedGone = model.CellText(0, ResultListModel::CellId);
    model.RemoveRow(0);
    model.Narrow(nullptr);
    QCOMPARE(model.RowCount(), 59);
    QCOMPARE(rowOfId(model, missedGone.toInt()), -1);
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("62"));
    for (int r = 1; r < model.RowCount(); ++r)
        QVERIFY(model.CellText(r - 1, ResultListModel::CellId).toInt()
                > model.CellText(r, ResultListModel::CellId).toInt());
    QCOMPARE(model.MissedCount(), 7);
    QCOMPARE(model.TotalTalkSeconds(), talked);
    // A narrowing holds for the rows of the next fill.
    model.Narrow([](const ResultRows &rows, int stored) { return rows.IsMissed(stored); });
    model.FillResultList(db, kAll);
    QCOMPARE(model.RowCount(), 8);
    model.Narrow(nullptr);
    QCOMPARE(allRows(model), statement);

    // Rows whose named recording is missing are muted; "DEL", no file and files present are not.
    model.SetMutedForeground(QStringLiteral("muted"));
    QCOMPARE(model.data(model.index(rowOfId(model, 42), 3), Qt::ForegroundRole).toString(), QString("muted"));
    for (int id : {2, 11, 12})
        QVERIFY(!model.data(model.index(rowOfId(model, id), 3), Qt::ForegroundRole).isValid());

    // How texts sort.
    QVERIFY(CompareTexts("line 9", "line 10") < 0);
    QVERIFY(CompareTexts("110", "0123456") < 0);
    QVERIFY(CompareTexts("Li", "li") == 0);
    QVERIFY(CompareTexts("7", "007") < 0 && CompareTexts("007", "7") > 0);
    QVERIFY(CompareTexts("", "a") < 0 && CompareTexts("ab", "a") > 0);
    QVERIFY(CompareTexts("Zoe", QByteArrayView("\xe5\xbc\xa0")) < 0); // Latin before Chinese

    // The sort's shortcut: where two texts' prefixes differ (and are known), they order the
    // texts as CompareTexts does; every cell of the backup and texts made to trip it.
    QList<QByteArray> texts{"",
                            "0",
                            "00",
                            "000",
                            "007",
                            "7",
                            "70",
                            "a1",
                            "a01",
                            "A10",
                            "a10b",
                            "+86",
                            "+8613",
                            "line 9",
                            "line 10",
                            "Line 9x",
                            "13812345678",
                            "13812345679",
                            "1381234567",
                            "99999999999999999999",
                            "1" + QByteArray(300, '0'),
                            "1" + QByteArray(300, '0') + "1",
                            QByteArray("a\0b", 3),
                            "\xe5\xbc\xa0",
                            "Zoe",
                            "zoe 1",
                            "zoe 01",
                            "zoe 1a"};
    for (int r = 0; r < model.RowCount(); ++r) {
        for (const int cell : {ResultListModel::CellName, ResultListModel::CellPhone, ResultListModel::CellRemark})
            texts << model.CellText(r, cell).toUtf8();
    }
    int decidedByPrefix = 0;
    for (const QByteArray &a : texts) {
        for (const QByteArray &b : texts) {
            const quint64 pa = TextOrderPrefix(a);
            const quint64 pb = TextOrderPrefix(b);
            if (pa == pb || pa == 0 || pb == 0)
                continue;
            ++decidedByPrefix;
            QVERIFY2((pa < pb) == (CompareTexts(a, b) < 0), qPrintable(QString("%1 / %2").arg(a, b)));
        }
    }
    QVERIFY(decidedByPrefix > texts.size() * texts.size() / 2);
}
// The search over many backups: two copies of one backup tie at every start time, and the
// merged list takes their rows in the order of the catalogue, whichever backup is done
// first. A search stopped while its workers wait inside the statement (another program
// holds the database's statement lock) lets its pool threads go at once and announces
// nothing, and the next search runs.
void TestResultListModel::searchOverSeveralBackups()
{
    QTemporaryDir root;
    const QString samples = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12");
    QVERIFY(TestFiles::copyTree(samples, root.filePath("a")));
    QVERIFY(TestFiles::copyTree(samples, root.filePath("b")));
    const BackupSearch::Target a{"a", root.filePath("a/")};
    const BackupSearch::Target b{"b", root.filePath("b/")};
    const QString all = QStringLiteral("select * from record order by record_time_start");

    BackupSearchModel merged;
    QAbstractItemModelTester tester(&merged, QAbstractItemModelTester::FailureReportingMode::QtTest);
    merged.AddBackup(1, "b", b.dir, BackupSearch::SearchOne(b, all).rows);
    merged.AddBackup(0, "a", a.dir, BackupSearch::SearchOne(a, all).rows);
    QCOMPARE(merged.RowCount(), 120);
    for (int r = 0; r < 120; r += 2) {
        QCOMPARE(merged.BackupName(r), QString("a"));
        QCOMPARE(merged.BackupName(r + 1), QString("b"));
        QCOMPARE(merged.CellText(r, ResultListModel::CellStart), merged.CellText(r + 1, ResultListModel::CellStart));
        QCOMPARE(merged.CellText(r, ResultListModel::CellNumber), QString::number(r + 1));
    }
    // A call is found by its backup and id, wherever the list shows it.
    const CallListModel::CallKey call{b.dir, 2};
    QCOMPARE(merged.KeyOf(merged.RowOf(call)), call);
    QCOMPARE(merged.BackupName(merged.RowOf(call)), QString("b"));

    // Stopped while every pool thread waits for the statement lock inside the statement.
    const int threads = int(TaskPool::shared().threadCount());
    std::vector<std::unique_ptr<RandomAccessFile>> held;
    std::vector<BackupSearch::Target> blocked;
    for (int i = 0; i < threads; ++i) {
        const QString dir = root.filePath(QString("held%1/").arg(i));
        QVERIFY(TestFiles::copyTree(samples, dir));
        auto file = std::make_unique<RandomAccessFile>();
        QCOMPARE(file->open(dir + "dbR.mdb", RandomAccessFile::Access::ReadWrite),
                 RandomAccessFile::OpenResult::Opened);
        QVERIFY(FileLocks::lockStatement(*file, true));
        held.push_back(std::move(file));
        blocked.push_back({QString("held%1").arg(i), dir});
    }
    BackupSearch search;
    QSignalSpy searched(&search, &BackupSearch::BackupSearched);
    search.Start(blocked, all);
    QTest::qWait(50); // the workers are inside the statement, waiting
    QVERIFY(search.IsRunning());
    search.Stop();
    QVERIFY(!search.IsRunning());
    // The threads come back to the pool while the locks are still held: the next search is
    // done long before the two seconds a reader would wait for a lock.
    search.Start({a}, all);
    QTRY_COMPARE_WITH_TIMEOUT(searched.size(), 1, 1500);
    QCOMPARE(searched[0][0].toInt(), search.Generation());
    QVERIFY(search.ResultAt(0).failure.isEmpty());
    QCOMPARE(search.TakeRows(0)->Count(), 60);
    for (const auto &file : held)
        FileLocks::unlockStatement(*file);
    QTest::qWait(100);
    QCOMPARE(searched.size(), 1);
}

void TestResultListModel::statisticsOfTheDecemberBackup()
{
    Backup backup;
    CAdoDb db;
    ResultListModel model;
    QVERIFY(FillFromBackup(backup, db, model, kAll));
    const CallStatistics statistics = CallStatistics::fromSnapshot(model.Snapshot());

    // Checked by hand in tests/data/expected: 60 calls, 8 of them missed (incoming, not
    // talked) and 19 outgoing (id 18 among them, with no talk time); 16,664 seconds in all,
    // 320.46 per answered call; the 26th and 27th of the 52 answered talk times sorted are
    // both 340 s; the longest is id 39 (603 s); the first starts at 2009-12-01 00:00:00.
    const CallFigures &totals = statistics.totals();
    QCOMPARE(totals.calls, 60);
    QCOMPARE(totals.incoming, 33);
    QCOMPARE(totals.outgoing, 19);
    QCOMPARE(totals.missed, 8);
    QCOMPARE(totals.answered(), 52);
    QCOMPARE(totals.talkSeconds, 16664);
    QCOMPARE(totals.averageSeconds(), 320);
    QCOMPARE(statistics.medianSeconds(), 340);
    QCOMPARE(totals.longestSeconds, 603);
    QCOMPARE(totals.missedPerMille(), 133);
    QCOMPARE(CallStatistics::timeText(totals.first), QString("2009-12-01 00:00:00"));
    QCOMPARE(CallStatistics::timeText(totals.last), QString("2009-12-31 23:59:59"));
    QCOMPARE(statistics.undatedCalls(), 0);
    // The 5th: id 10 missed at 08:26, ids 11 and 12 outgoing, 382 + 483 s. Three calls
    // started at 14 o'clock on a Friday (ids 39 and 40 on the 18th, 50 on the 25th).
    const auto days = statistics.groups(CallStatistics::Grouping::Day);
    QCOMPARE(days.size(), std::size_t(26));
    const auto fifth = std::find_if(days.begin(), days.end(), [](const auto &g) { return g.key == "2009-12-05"; });
    QVERIFY(fifth != days.end());
    QCOMPARE(fifth->figures.calls, 3);
    QCOMPARE(fifth->figures.outgoing, 2);
    QCOMPARE(fifth->figures.missed, 1);
    QCOMPARE(fifth->figures.talkSeconds, 865);
    QCOMPARE(statistics.slot(4, 14).calls, 3);
    QCOMPARE(statistics.chartPeriod(), CallStatistics::Grouping::Day);
    const auto weeks = statistics.groups(CallStatistics::Grouping::Week);
    QCOMPARE(weeks.front().key, QString("2009-11-30")); // the Monday before Tuesday the 1st
    QCOMPARE(weeks.front().figures.calls, 11);
    const auto months = statistics.groups(CallStatistics::Grouping::Month);
    QCOMPARE(months.size(), std::size_t(1));
    QCOMPARE(months.front().key, QString("2009-12"));
    QCOMPARE(months.front().toDay - months.front().fromDay, 30);
    // Li: 11 calls, 2 missed, 2,999 s, the longest call. Ties in calls go to the number
    // talked longer: 13812345678 (3,922 s) before 0123456 (3,168 s), 11 calls each.
    const auto users = statistics.groups(CallStatistics::Grouping::User);
    QCOMPARE(users.size(), std::size_t(9));
    QCOMPARE(users.front().key, QString()); // calls without a user name come first
    const auto li = std::find_if(users.begin(), users.end(), [](const auto &g) { return g.key == "Li"; });
    QVERIFY(li != users.end());
    QCOMPARE(li->figures.calls, 11);
    QCOMPARE(li->figures.missed, 2);
    QCOMPARE(li->figures.talkSeconds, 2999);
    QCOMPARE(li->figures.longestSeconds, 603);
    const auto top = statistics.topNumbers(3);
    QCOMPARE(top.size(), std::size_t(3));
    QCOMPARE(top[0].key, QString("13812345678"));
    QCOMPARE(top[1].key, QString("0123456"));
    QCOMPARE(top[2].key, QString("+8613912345678"));
    QCOMPARE(top[1].figures.calls, 11);
    QCOMPARE(top[1].figures.talkSeconds, 3168);
    const auto types = statistics.groups(CallStatistics::Grouping::Type);
    QCOMPARE(types[2].key, QString("missed"));
    QCOMPARE(types[2].figures.calls, 8);

    // Every day, hour and user counted again from the dump, here.
    QMap<QString, CallFigures> byDay, byUser;
    std::array<CallFigures, 7 * 24> bySlot{};
    for (const ExpectedRow &e :
         readExpectedDump(QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__Rec__2009-12__dbR.mdb__record.tsv"))) {
        const QDateTime start = QDateTime::fromString(e.date("record_time_start"), "yyyy-MM-dd HH:mm:ss");
        const int type = e.number("call_direction") != 0 ? 1 : e.number("talked_time") != 0 ? 0 : 2;
        const qint64 seconds =
            QDate(1899, 12, 30).daysTo(start.date()) * 86400 + start.time().msecsSinceStartOfDay() / 1000;
        byDay[e.date("record_time_start").left(10)].add(type, e.number("talked_time"), seconds);
        byUser[e.text("name")].add(type, e.number("talked_time"), seconds);
        bySlot[std::size_t((start.date().dayOfWeek() - 1) * 24 + start.time().hour())].add(
            type, e.number("talked_time"), seconds);
    }
    const auto same = [](const CallFigures &a, const CallFigures &b) {
        return a.calls == b.calls && a.incoming == b.incoming && a.outgoing == b.outgoing && a.missed == b.missed
               && a.talkSeconds == b.talkSeconds && a.longestSeconds == b.longestSeconds && a.first == b.first
               && a.last == b.last;
    };
    QCOMPARE(qsizetype(days.size()), byDay.size());
    for (const auto &day : days)
        QVERIFY2(same(day.figures, byDay.value(day.key)), qPrintable(day.key));
    QCOMPARE(qsizetype(users.size()), byUser.size());
    for (const auto &user : users)
        QVERIFY2(same(user.figures, byUser.value(user.key)), qPrintable(user.key));
    for (int weekday = 0; weekday < 7; ++weekday)
        for (int hour = 0; hour < 24; ++hour)
            QVERIFY(same(statistics.slot(weekday, hour), bySlot[std::size_t(weekday * 24 + hour)]));

    // Narrowed to what a figure stands for, the list shows exactly the calls it counted.
    const auto count = [&model](const CallSelection &selection) {
        model.Narrow([selection](const ResultRows &rows, int stored) { return selection.matches(rows, stored); });
        const int shown = model.RowCount();
        model.Narrow(nullptr);
        return qint64(shown);
    };
    for (const auto &day : days) {
        QCOMPARE(count(CallSelection::period(day.fromDay, day.toDay)), day.figures.calls);
        QCOMPARE(count(CallSelection::period(day.fromDay, day.toDay, 2)), day.figures.missed);
    }
    QCOMPARE(count(CallSelection::period(weeks.front().fromDay, weeks.front().toDay)), 11);
    QCOMPARE(count(CallSelection::slot(4, 14, false)), 3);
    QCOMPARE(count(CallSelection::slot(4, 14, true)), statistics.slot(4, 14).missed);
    QCOMPARE(count(CallSelection::user("Li")), 11);
    QCOMPARE(count(CallSelection::user(QString())), users.front().figures.calls);
    QCOMPARE(count(CallSelection::number("0123456")), 11);
    model.Narrow([](const ResultRows &rows, int stored) { return CallSelection::user("Li").matches(rows, stored); });
    QCOMPARE(CallStatistics::fromSnapshot(model.Snapshot()).totals().talkSeconds, 2999);
    model.Narrow(nullptr);

    // Counted row by row with every number kept, the numbers rank as from the snapshot.
    CallStatistics every(true);
    const ResultSnapshot all = model.Snapshot();
    for (int row = 0; row < all.RowCount(); ++row) {
        int stored = 0;
        const ResultRows &storage = all.StoredRow(row, &stored);
        every.add(storage, stored);
    }
    every.finish();
    const auto numbers = statistics.groups(CallStatistics::Grouping::Number);
    QCOMPARE(numbers.size(), std::size_t(9));
    QCOMPARE(every.groups(CallStatistics::Grouping::Number).size(), numbers.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        QCOMPARE(every.topNumbers(9)[i].key, numbers[i].key);
        QVERIFY(same(every.topNumbers(9)[i].figures, numbers[i].figures));
    }

    // A row the list removes after the snapshot was taken is left out of the figures.
    const ResultSnapshot before = model.Snapshot();
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("1")); // 289 s, incoming
    model.RemoveRow(0);
    const CallStatistics after = CallStatistics::fromSnapshot(before);
    QCOMPARE(after.totals().calls, 59);
    QCOMPARE(after.totals().talkSeconds, 16664 - 289);
    QCOMPARE(CallStatistics::timeText(after.totals().first), QString("2009-12-01 09:37:13"));
}

void TestResultListModel::mostFrequentOfManyNumbers()
{
    // More numbers than the count from a snapshot keeps figures for: 36,000 with one call
    // each (their talk times repeat, so that many rank equal but for the number), a few
    // with more, and two numbers whose hashes are the same, found the way the count hashes
    // them (the upper half of std::hash).
    const auto hashOf = [](const std::string &text) { return quint32(std::hash<std::string_view>()(text) >> 32); };
    std::unordered_map<quint32, std::string> seen;
    std::string a, b;
    for (int i = 0; a.empty() && i < 2000000; ++i) {
        std::string number = std::to_string(9100000000LL + i); // "91" and eight digits
        const auto [at, added] = seen.emplace(hashOf(number), number);
        if (!added) {
            a = at->second;
            b = number;
        }
    }
    QVERIFY2(!a.empty(), "no two numbers of the same hash found");
    seen.clear();

    auto rows = std::make_shared<ResultRows>(std::array<QByteArray, 3>{"in", "out", "missed"}, QByteArray("/v/"));
    int id = 0;
    const auto call = [&](const QString &number, int talk, int direction, double day) {
        CallRecord record;
        record.id = ++id;
        record.fsk = number;
        record.name = QStringLiteral("line %1").arg(id % 7);
        record.talked_time = talk;
        record.call_direction = direction;
        record.record_time_start = OleDate(40148.0 + day);
        rows->Append(record, id, -1);
    };
    for (int i = 0; i < 36000; ++i)
        call(QStringLiteral("1%1").arg(i, 6, 10, QLatin1Char('0')), (i * 7919) % 1800, i % 2, i / 1000.0);
    for (int k = 0; k < 5; ++k)
        call("0100", 60 + k, 0, k);
    for (int k = 0; k < 4; ++k)
        call("0200", 0, 0, k);
    // The two of the same hash in turn, so that their rows lie mixed in the hash's.
    for (int k = 0; k < 3; ++k) {
        call(QString::fromStdString(a), 10, 1, 3.5 + k);
        if (k < 2)
            call(QString::fromStdString(b), 900, 1, 7.25 + k);
    }
    std::vector<quint32> order(std::size_t(rows->Count()));
    std::iota(order.begin(), order.end(), 0u);
    std::reverse(order.begin(), order.end()); // the list sorted some way: the order must not matter
    const ResultSnapshot snapshot({ResultSnapshot::Source{rows, 0, QString()}}, order);

    const CallStatistics ranked = CallStatistics::fromSnapshot(snapshot);
    CallStatistics every(true);
    for (int row = 0; row < rows->Count(); ++row)
        every.add(*rows, row);
    every.finish();
    const auto top = ranked.topNumbers(CallStatistics::kRankedNumbers);
    const auto expected = every.topNumbers(CallStatistics::kRankedNumbers);
    QCOMPARE(top.size(), std::size_t(CallStatistics::kRankedNumbers));
    QCOMPARE(every.groups(CallStatistics::Grouping::Number).size(), std::size_t(36004));
    for (std::size_t i = 0; i < top.size(); ++i) {
        QCOMPARE(top[i].key, expected[i].key);
        QCOMPARE(top[i].figures.calls, expected[i].figures.calls);
        QCOMPARE(top[i].figures.talkSeconds, expected[i].figures.talkSeconds);
        QCOMPARE(top[i].figures.missed, expected[i].figures.missed);
        QCOMPARE(top[i].figures.first, expected[i].figures.first);
        QCOMPARE(top[i].figures.last, expected[i].figures.last);
    }
    QCOMPARE(top[0].key, QString("0100"));
    QCOMPARE(top[1].key, QString("0200"));
    QCOMPARE(top[1].figures.missed, 4);
    QCOMPARE(top[2].key, QString::fromStdString(a));
    QCOMPARE(top[2].figures.calls, 3);
    QCOMPARE(top[2].figures.talkSeconds, 30);
    QCOMPARE(top[3].key, QString::fromStdString(b));
    QCOMPARE(top[3].figures.calls, 2);
    QCOMPARE(CallStatistics::timeText(top[3].figures.first), QString("2009-12-08 06:00:00"));
    // Then the calls of one number each, the longest talked first, equal ones by number.
    QCOMPARE(top[4].figures.calls, 1);
    QCOMPARE(top[4].figures.talkSeconds, 1799);
    for (std::size_t i = 5; i < top.size(); ++i)
        QVERIFY(top[i - 1].figures.talkSeconds > top[i].figures.talkSeconds
                || (top[i - 1].figures.talkSeconds == top[i].figures.talkSeconds && top[i - 1].key < top[i].key));
    QCOMPARE(ranked.totals().calls, 36014);
}

void TestResultListModel::textsAreLookedAtOneByOne()
{
    // The texts of a row are kept one after another, each after its length; digits are
    // looked for in them in one pass. A remark of 17 Chinese characters is 51 bytes long,
    // and its length is kept as the byte "3": after a number ending in "1" that must not
    // make "13".
    ResultRows rows(std::array<QByteArray, 3>{"in", "out", "missed"}, QByteArray("/v/"));
    const auto call = [&rows](const QString &number, const QString &remark) {
        CallRecord record;
        record.id = rows.Count() + 1;
        record.fsk = number;
        record.name = QStringLiteral("N");
        record.context = remark;
        record.record_file = QStringLiteral("DEL");
        record.record_time_start = OleDate(40148.5);
        rows.Append(record, record.id, -1);
    };
    const QString remark = QString(17, QChar(0x8BDD));
    call(QStringLiteral("551"), remark);
    call(QStringLiteral("5513"), remark);
    call(QStringLiteral("551"), QStringLiteral("x13"));
    const TextNeedle digits(QStringLiteral("13"));
    QVERIFY(!rows.Contains(0, digits));
    QVERIFY(rows.Contains(1, digits));
    QVERIFY(rows.Contains(2, digits));
    QVERIFY(rows.Contains(0, TextNeedle(QString(2, QChar(0x8BDD)))));
}

QTEST_GUILESS_MAIN(TestResultListModel)
#include "tst_resultlistmodel.moc"

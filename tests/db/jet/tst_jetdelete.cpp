// Row deletion on copies of real databases: whole tables emptied in random batches with the
// checker and the reference dump compared after every batch, the oldest rows of a large
// table, a backup made by the recorder's software, an overflowed row, and the refusals
// that must leave a file byte for byte as it was. mdb-export reads every result as an
// outside reader.

#include "db/jet/Checker.h"
#include "db/jet/DataPage.h"
#include "db/jet/Database.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/IndexPage.h"
#include "db/jet/IndexTreeEditor.h"
#include "db/jet/Journal.h"
#include "db/jet/PageBatch.h"
#include "db/jet/RowDeleter.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowScanner.h"
#include "db/jet/UsageMap.h"

#include "JetDeleteSupport.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <map>

using jet::RowId;

class TestJetDelete : public QObject
{
    Q_OBJECT

private slots:
    void deleteEverything_data();
    void deleteEverything();
    void oldestRowsFreeEmptiedLeaves();
    void recorderBackup();
    void overflowRow();
    void refusalsLeaveFileUnchanged_data();
    void refusalsLeaveFileUnchanged();
    void readOnlyFileRefuses();
    void searchAndDescentGiveTheSamePages();
};

namespace {

QString joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n'));
}

// The cells of one dump column ("\N" for NULL), in dump order.
QStringList dumpColumn(const QStringList &lines, int column)
{
    QStringList out;
    for (int i = 1; i < lines.size(); ++i)
        out << lines[i].section(QLatin1Char('\t'), column, column);
    return out;
}

// mdb-export must open the file and list the same first-column values as our reader
// (mdb-export prints NULL and empty text alike as nothing).
void compareWithMdbExport(const QString &path, const QString &table, const QStringList &ourLines)
{
    if (!JetDelete::haveMdbExport())
        return;
    bool ok = false;
    QStringList theirs = JetDelete::mdbExportFirstFields(path, table, &ok);
    QVERIFY2(ok, "mdb-export failed on the changed file");
    QStringList ours = dumpColumn(ourLines, 1);
    for (QString &s : ours) {
        if (s == QLatin1String("\\N"))
            s.clear();
    }
    std::sort(theirs.begin(), theirs.end());
    std::sort(ours.begin(), ours.end());
    QCOMPARE(theirs, ours);
}

} // namespace

void TestJetDelete::deleteEverything_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("expected"); // reference dump, or empty to use the file's own
    QTest::addColumn<int>("maxBatch");
    QTest::addColumn<bool>("exportCheck"); // first column is a number mdb-export prints plainly

    QTest::newRow("multipage-3000 record")
        << JetTest::multipage() << QStringLiteral("record")
        << QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__multipage-3000__dbR.mdb__record.tsv") << 12 << true;
    if (!JetTest::haveSharedFixtures())
        return;
    const QString expected = JetTest::sharedFixtures() + QStringLiteral("/expected/access-samples__");
    QTest::newRow("compIndexTestV1997 Table1")
        << JetTest::accessSample(QStringLiteral("compIndexTestV1997.mdb")) << QStringLiteral("Table1")
        << expected + QStringLiteral("compIndexTestV1997.mdb__Table1.tsv") << 6 << true;
    QTest::newRow("compIndexTestV2000 Table1")
        << JetTest::accessSample(QStringLiteral("compIndexTestV2000.mdb")) << QStringLiteral("Table1")
        << expected + QStringLiteral("compIndexTestV2000.mdb__Table1.tsv") << 6 << true;
    for (const char *t : {"Table1", "Table1_desc", "Table12_asc_desc", "Table13_desc", "Table14", "Table15"}) {
        const QString name = QString::fromLatin1(t);
        QTest::newRow(qPrintable(QStringLiteral("testIndexCodesV1997 ") + name))
            << JetTest::accessSample(QStringLiteral("testIndexCodesV1997.mdb")) << name
            << expected + QStringLiteral("testIndexCodesV1997.mdb__%1.tsv").arg(name) << 5 << false;
    }
    QTest::newRow("indexTestV2000 Table1")
        << JetTest::accessSample(QStringLiteral("indexTestV2000.mdb")) << QStringLiteral("Table1")
        << expected + QStringLiteral("indexTestV2000.mdb__Table1.tsv") << 2 << true;
}

void TestJetDelete::deleteEverything()
{
    QFETCH(QString, source);
    QFETCH(QString, table);
    QFETCH(QString, expected);
    QFETCH(int, maxBatch);
    QFETCH(bool, exportCheck);

    QTemporaryDir dir(JetDelete::fastTempPattern());
    const QString path = JetDelete::copyFixture(dir, source);
    QVERIFY(!path.isEmpty());
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    auto def = db.table(table, &error);
    QVERIFY2(def, qPrintable(error));

    const QStringList reference = JetDelete::fileLines(expected);
    QVERIFY2(reference.size() > 1, qPrintable(expected));
    QCOMPARE(joined(JetDelete::dumpLines(db.file(), *def, &error)), joined(reference));

    std::vector<RowId> order = JetDelete::liveRows(db.file(), *def);
    QCOMPARE(order.size(), std::size_t(reference.size() - 1));
    QRandomGenerator rng(20240611u + quint32(order.size()));
    std::shuffle(order.begin(), order.end(), rng);

    std::vector<RowId> deleted;
    int freedPages = 0;
    bool exportedHalfway = false;
    std::size_t next = 0;
    while (next < order.size()) {
        const std::size_t n = std::min<std::size_t>(order.size() - next, 1 + rng.bounded(maxBatch));
        const std::vector<RowId> batch(order.begin() + qsizetype(next), order.begin() + qsizetype(next + n));
        next += n;
        jet::RowDeleter deleter(db.file(), *def);
        QVERIFY2(deleter.deleteRows(batch, &error), qPrintable(error));
        QCOMPARE(deleter.stats().rows, int(n));
        freedPages += deleter.stats().indexPagesFreed;
        deleted.insert(deleted.end(), batch.begin(), batch.end());

        def = db.table(table, &error);
        QVERIFY2(def, qPrintable(error));
        QCOMPARE(def->rowCount(), std::uint32_t(order.size() - next));
        const QStringList problems = jet::Checker::checkTable(db.file(), *def);
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QStringLiteral("after %1 rows: %2").arg(next).arg(problems.join(QLatin1String("; ")))));
        const QStringList now = JetDelete::dumpLines(db.file(), *def, &error);
        QCOMPARE(joined(now), joined(JetDelete::withoutRows(reference, deleted)));
        if (exportCheck && !exportedHalfway && next * 2 >= order.size()) {
            exportedHalfway = true;
            compareWithMdbExport(path, table, now);
        }
    }
    QVERIFY(!jet::Journal::exists(path));
    QCOMPARE(JetDelete::dumpLines(db.file(), *def, &error).size(), 1); // the header alone
    if (order.size() > 1000)
        QVERIFY2(freedPages > 0, "emptying a large table must free index pages");
    if (JetDelete::haveMdbExport()) {
        bool ok = false;
        QVERIFY(JetDelete::mdbExportFirstFields(path, table, &ok).isEmpty());
        QVERIFY(ok);
    }
}

void TestJetDelete::oldestRowsFreeEmptiedLeaves()
{
    // The 800 oldest calls of a 3000-row backup, in one transaction: many rows per data
    // page and per leaf, and leaves at the start of the time index empty out.
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::multipage());
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    const int timeColumn = def->columnIndex(QStringLiteral("record_time_start"));
    QVERIFY(timeColumn >= 0);

    std::vector<std::pair<double, RowId>> byTime;
    jet::RowScanner scan(db.file(), *def);
    while (scan.next()) {
        double t = 0;
        QVERIFY(scan.row().dateTime(timeColumn, &t));
        byTime.emplace_back(t, scan.rowId());
    }
    QCOMPARE(byTime.size(), std::size_t(3000));
    std::stable_sort(byTime.begin(), byTime.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<RowId> oldest;
    for (int i = 0; i < 800; ++i)
        oldest.push_back(byTime[std::size_t(i)].second);

    std::vector<std::uint32_t> freeBefore;
    QVERIFY2(jet::UsageMap::readPages(db.file(), RowId{1, 0}, &freeBefore, &error), qPrintable(error));
    const QByteArray before = TestFiles::read(path);

    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY2(deleter.deleteRows(oldest, &error), qPrintable(error));
    QCOMPARE(deleter.stats().rows, 800);
    QVERIFY2(deleter.stats().indexPagesFreed > 0, "the oldest 800 calls fill whole leaves of the time index");
    QCOMPARE(deleter.stats().freedOutsideMap, 0);
    // The keys of all three indexes, id (Long), record_time_start (Date) and fsk (a text of
    // digits), are built and descended: no leaf is searched.
    QCOMPARE(def->physicalIndexes().size(), std::size_t(3));
    QCOMPARE(deleter.stats().leafSearches, 0);
    QCOMPARE(deleter.stats().walks, 0);
    QCOMPARE(deleter.stats().descents, 3 * 800);

    def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    QCOMPARE(def->rowCount(), 2200u);
    const QStringList problems = jet::Checker::checkTable(db.file(), *def);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
    const QStringList reference = JetDelete::fileLines(
        QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__multipage-3000__dbR.mdb__record.tsv"));
    const QStringList now = JetDelete::dumpLines(db.file(), *def, &error);
    QCOMPARE(joined(now), joined(JetDelete::withoutRows(reference, oldest)));

    // Every freed page is marked unused in the global map, was an index page, and now
    // starts with four zero bytes.
    std::vector<std::uint32_t> freeAfter;
    QVERIFY2(jet::UsageMap::readPages(db.file(), RowId{1, 0}, &freeAfter, &error), qPrintable(error));
    std::vector<std::uint32_t> newlyFree;
    std::set_difference(freeAfter.begin(), freeAfter.end(), freeBefore.begin(), freeBefore.end(),
                        std::back_inserter(newlyFree));
    QCOMPARE(int(newlyFree.size()), deleter.stats().indexPagesFreed);
    QVERIFY(std::includes(freeAfter.begin(), freeAfter.end(), freeBefore.begin(), freeBefore.end()));
    const QByteArray after = TestFiles::read(path);
    const int ps = db.file().pageSize();
    for (const std::uint32_t page : newlyFree) {
        const char type = before[qsizetype(page) * ps];
        QVERIFY2(type == 0x03 || type == 0x04, qPrintable(QStringLiteral("page %1").arg(page)));
        QCOMPARE(after.mid(qsizetype(page) * ps, 4), QByteArray(4, '\0'));
    }
    compareWithMdbExport(path, QStringLiteral("record"), now);
}

void TestJetDelete::recorderBackup()
{
    // A backup written by the recorder: first and last rows, then every seventh, then the
    // rest; its two slots deleted long ago stay as they are.
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    const QStringList reference = JetDelete::fileLines(
        QStringLiteral(ORVIK_TEST_DATA_DIR "/expected/backups__Rec__2009-12__dbR.mdb__record.tsv"));
    const std::vector<RowId> rows = JetDelete::liveRows(db.file(), *def);
    QCOMPARE(rows.size(), std::size_t(60));

    std::vector<RowId> first{rows.front(), rows.back()};
    for (std::size_t i = 7; i + 1 < rows.size(); i += 7)
        first.push_back(rows[i]);
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY2(deleter.deleteRows(first, &error), qPrintable(error));
    def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    QCOMPARE(def->rowCount(), std::uint32_t(60 - first.size()));
    QStringList problems = jet::Checker::checkTable(db.file(), *def);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
    const QStringList now = JetDelete::dumpLines(db.file(), *def, &error);
    QCOMPARE(joined(now), joined(JetDelete::withoutRows(reference, first)));
    compareWithMdbExport(path, QStringLiteral("record"), now);

    // The slots deleted before (29:7 and 31:12) keep their 0xC000 and bytes.
    const QByteArray bytes = TestFiles::read(path);
    const int ps = db.file().pageSize();
    const auto slotEntry = [&](int page, int slot) {
        return std::uint16_t(std::uint8_t(bytes[page * ps + 0x0E + 2 * slot])
                             | (std::uint8_t(bytes[page * ps + 0x0F + 2 * slot]) << 8));
    };
    QCOMPARE(slotEntry(29, 7) & 0xC000, 0xC000);
    QCOMPARE(slotEntry(31, 12) & 0xC000, 0xC000);
    for (const RowId &id : first)
        QCOMPARE(slotEntry(int(id.page), int(id.slot)) & 0xC000, 0xC000);

    const std::vector<RowId> rest = JetDelete::liveRows(db.file(), *def);
    jet::RowDeleter second(db.file(), *def);
    QVERIFY2(second.deleteRows(rest, &error), qPrintable(error));
    def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    QCOMPARE(def->rowCount(), 0u);
    problems = jet::Checker::checkTable(db.file(), *def);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1String("; "))));
    compareWithMdbExport(path, QStringLiteral("record"), JetDelete::dumpLines(db.file(), *def, &error));
}

void TestJetDelete::overflowRow()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (files made by Access) is absent");
    QTemporaryDir dir;
    const QString source = JetTest::accessSample(QStringLiteral("overflowTestV2000.mdb"));
    const QString path = JetDelete::copyFixture(dir, source, QStringLiteral("overflow.mdb"));
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    auto def = db.table(QStringLiteral("Table1"), &error);
    QVERIFY2(def, qPrintable(error));
    const QByteArray before = TestFiles::read(path);

    // 27:2 is a moved row (header 0x4000, data at 28:0); 27:0 an ordinary one.
    const std::vector<RowId> gone{RowId{27, 2}, RowId{27, 0}};
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY2(deleter.deleteRows(gone, &error), qPrintable(error));
    QCOMPARE(deleter.stats().pagesWritten, 2); // the data page and the definition
    def = db.table(QStringLiteral("Table1"), &error);
    QVERIFY2(def, qPrintable(error));
    QCOMPARE(def->rowCount(), 5u);
    QVERIFY(jet::Checker::checkTable(db.file(), *def).isEmpty());
    const QStringList reference = JetDelete::fileLines(
        JetTest::sharedFixtures() + QStringLiteral("/expected/access-samples__overflowTestV2000.mdb__Table1.tsv"));
    const QStringList now = JetDelete::dumpLines(db.file(), *def, &error);
    QCOMPARE(joined(now), joined(JetDelete::withoutRows(reference, gone)));

    // Only the two header slot entries and the row count changed: row bytes, the moved
    // data's slot (28:0) and the free space stay.
    const QByteArray after = TestFiles::read(path);
    const int ps = db.file().pageSize();
    QCOMPARE(after.size(), before.size());
    std::vector<qsizetype> changed;
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (after[i] != before[i])
            changed.push_back(i);
    }
    const qsizetype slot0 = 27 * ps + 0x0E;
    const qsizetype slot2 = 27 * ps + 0x0E + 4;
    for (const qsizetype at : changed) {
        const bool allowed = at == slot0 + 1 || at == slot2 + 1
                             || (at >= qsizetype(def->rowCountFileOffset().value())
                                 && at < qsizetype(def->rowCountFileOffset().value()) + 4);
        QVERIFY2(allowed, qPrintable(QStringLiteral("byte %1 (page %2) changed").arg(at).arg(at / ps)));
    }
    QCOMPARE(std::uint8_t(after[slot2 + 1]) & 0xC0, 0xC0);
    QCOMPARE(std::uint8_t(after[slot0 + 1]) & 0xC0, 0xC0);

    if (JetDelete::haveMdbExport()) {
        // mdb-export reads the file; it drops the ordinary row but, taking 0x4000 for the
        // deleted flag, still shows the moved one.
        QProcess p;
        p.start(QStringLiteral("mdb-export"), {path, QStringLiteral("Table1")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY(!out.contains(QLatin1String("row1col1")));
        for (const char *kept : {"row2col1", "row4col1", "row5col2", "row6col2", "row7col1"})
            QVERIFY2(out.contains(QLatin1String(kept)), kept);
    }
}

void TestJetDelete::refusalsLeaveFileUnchanged_data()
{
    QTest::addColumn<QString>("rows"); // "page:slot" list
    QTest::addColumn<QString>("reason");
    // Rec/2009-12 record: data pages 29, 31, 32; 29:7 and 31:12 deleted long ago.
    QTest::newRow("deleted slot") << QStringLiteral("29:0 29:7") << QStringLiteral("not a live row");
    QTest::newRow("slot past the slot table") << QStringLiteral("29:1 29:200") << QStringLiteral("no such row");
    QTest::newRow("page of another table") << QStringLiteral("2:0") << QStringLiteral("not a data page of this table");
    QTest::newRow("page past the end") << QStringLiteral("29:2 99999:0") << QStringLiteral("past the end");
    QTest::newRow("listed twice") << QStringLiteral("29:3 31:0 29:3") << QStringLiteral("listed twice");
}

void TestJetDelete::refusalsLeaveFileUnchanged()
{
    QFETCH(QString, rows);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadWrite, &error), qPrintable(error));
    auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    std::vector<RowId> ids;
    for (const QString &r : rows.split(QLatin1Char(' ')))
        ids.push_back(RowId{r.section(QLatin1Char(':'), 0, 0).toUInt(), r.section(QLatin1Char(':'), 1, 1).toUInt()});
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY(!deleter.deleteRows(ids, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(TestFiles::read(path), before);
    QVERIFY(!jet::Journal::exists(path));
}

void TestJetDelete::readOnlyFileRefuses()
{
    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, JetTest::sample(QStringLiteral("2009-12")));
    const QByteArray before = TestFiles::read(path);
    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    jet::RowDeleter deleter(db.file(), *def);
    QVERIFY(!deleter.deleteRows({RowId{29, 0}}, &error));
    QVERIFY2(error.contains(QLatin1String("read-only")), qPrintable(error));
    QCOMPARE(TestFiles::read(path), before);
    QVERIFY(!jet::Journal::exists(path));
}

void TestJetDelete::searchAndDescentGiveTheSamePages()
{
    // Removing one row's entry from the time index by searching every leaf, by descending
    // with its key, and by descending with a wrong key (which must fall back to the
    // search) changes the same pages to the same bytes. Rows at the start of a leaf, in
    // its middle and at its end (whose removal changes the parent) are tried.
    jet::Database db;
    QString error;
    QVERIFY2(db.open(JetTest::multipage(), jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto def = db.table(QStringLiteral("record"), &error);
    QVERIFY2(def, qPrintable(error));
    const jet::PhysicalIndex *timeIndex = nullptr;
    for (const auto &index : def->physicalIndexes()) {
        if (index.keyColumns.size() == 1
            && index.keyColumns[0].column == def->columnIndex(QStringLiteral("record_time_start")))
            timeIndex = &index;
    }
    QVERIFY(timeIndex);
    const jet::PageFile &file = db.file();

    // A leaf of the index and its rows.
    QByteArray rootBytes(file.pageSize(), '\0');
    QVERIFY(file.readPage(timeIndex->rootPage, reinterpret_cast<std::uint8_t *>(rootBytes.data())));
    jet::IndexPage root;
    QVERIFY(root.decode(file.format(), file.pageSize(), reinterpret_cast<const std::uint8_t *>(rootBytes.constData()),
                        &error));
    QVERIFY(root.isNode() && root.entries.size() > 2);
    QByteArray leafBytes(file.pageSize(), '\0');
    QVERIFY(file.readPage(root.entries[1].child, reinterpret_cast<std::uint8_t *>(leafBytes.data())));
    jet::IndexPage leaf;
    QVERIFY(leaf.decode(file.format(), file.pageSize(), reinterpret_cast<const std::uint8_t *>(leafBytes.constData()),
                        &error));

    jet::RowFetcher fetcher(file, *def);
    for (const std::size_t at : {std::size_t(0), leaf.entries.size() / 2, leaf.entries.size() - 1}) {
        const RowId row = leaf.entries[at].rowId();
        QVERIFY2(fetcher.fetch(row), qPrintable(fetcher.error()));
        QByteArray key;
        QVERIFY(jet::IndexKeyEncoder::encode(*timeIndex, fetcher.row(), &key));
        const QByteArray entry = key + jet::IndexPage::rowPointerBytes(row);
        QCOMPARE(entry, leaf.entries[at].bytes);
        QByteArray wrong = entry;
        wrong[1] = char(~std::uint8_t(wrong[1]));

        std::vector<std::vector<jet::PageBatch::Change>> results;
        for (const QByteArray *given :
             {static_cast<const QByteArray *>(nullptr), &entry, static_cast<const QByteArray *>(&wrong)}) {
            jet::PageBatch batch(file);
            jet::IndexTreeEditor editor(batch, file.format(), file.pageSize(), timeIndex->rootPage);
            QVERIFY2(editor.remove(row, given, &error), qPrintable(error));
            QVERIFY2(editor.flush(&error), qPrintable(error));
            QCOMPARE(editor.descents() + editor.walks(), 1);
            QCOMPARE(editor.descents(), given == &entry ? 1 : 0);
            results.push_back(batch.changes());
        }
        QVERIFY(!results[0].empty());
        QCOMPARE(results[0].size(), at + 1 == leaf.entries.size() ? std::size_t(2) : std::size_t(1));
        for (const auto &r : results) {
            QCOMPARE(r.size(), results[0].size());
            for (std::size_t i = 0; i < r.size(); ++i) {
                QCOMPARE(r[i].page, results[0][i].page);
                QVERIFY(r[i].current == results[0][i].current);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestJetDelete)
#include "tst_jetdelete.moc"

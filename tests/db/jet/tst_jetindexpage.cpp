// Index pages: every index page of every fixture decodes and encodes back to the same
// bytes; the Jet 3 prefix byte; entries removed and replaced; damaged pages refused; the
// quick leaf search agrees with the full decode; and the keys built for numeric and date
// indexes are exactly the bytes Access and the recorder stored.

#include "db/jet/Database.h"
#include "db/jet/IndexKeyEncoder.h"
#include "db/jet/IndexPage.h"
#include "db/jet/RowScanner.h"

#include "JetDeleteSupport.h"

#include <QtTest>

#include <functional>
#include <set>

using jet::IndexPage;
using jet::RowId;

class TestJetIndexPage : public QObject
{
    Q_OBJECT

private slots:
    void everyPageRoundTrips_data();
    void everyPageRoundTrips();
    void jet3PrefixByte();
    void removingEntriesKeepsPrefixValid();
    void pageThatWouldOverflowIsRefused();
    void damagedPagesAreErrors_data();
    void damagedPagesAreErrors();
    void keysMatchStoredEntries_data();
    void keysMatchStoredEntries();
};

namespace {

QStringList fixtureDatabases()
{
    QStringList files{JetTest::multipage(), JetTest::sample(QStringLiteral("2009-12")),
                      JetTest::sample(QStringLiteral("2010-01")), JetTest::sample(QStringLiteral("odd-types")),
                      JetTest::sample(QStringLiteral("nested/deep"))};
    if (JetTest::haveSharedFixtures()) {
        const QDir dir(JetTest::sharedFixtures() + QStringLiteral("/access-samples"));
        for (const QString &f : dir.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name))
            files << dir.filePath(f);
    }
    return files;
}

QByteArray page(const jet::PageFile &file, std::uint32_t number)
{
    QByteArray bytes(file.pageSize(), '\0');
    file.readPage(number, reinterpret_cast<std::uint8_t *>(bytes.data()));
    return bytes;
}

const std::uint8_t *u8(const QByteArray &b)
{
    return reinterpret_cast<const std::uint8_t *>(b.constData());
}

// Calls `visit` for every page of the tree under `root` (depth first).
void forEachPage(const jet::PageFile &file, std::uint32_t root,
                 const std::function<void(std::uint32_t, const QByteArray &, const IndexPage &)> &visit)
{
    std::set<std::uint32_t> seen;
    std::function<void(std::uint32_t)> walk = [&](std::uint32_t number) {
        if (!seen.insert(number).second)
            return;
        const QByteArray bytes = page(file, number);
        IndexPage p;
        QString error;
        QVERIFY2(p.decode(file.format(), file.pageSize(), u8(bytes), &error), qPrintable(error));
        visit(number, bytes, p);
        if (p.isNode()) {
            for (const auto &e : p.entries)
                walk(e.child);
            if (p.tail)
                walk(p.tail);
        }
    };
    walk(root);
}

// Index page `number` of the Access sample `name` (shared fixtures) as decoded, with the file
// it was read from (opened for reading) and its bytes; `error` says why when `read` is false.
struct SamplePage : IndexPage
{
    jet::PageFile file;
    QByteArray bytes;
    QString error;
    bool read = false;

    SamplePage(const char *name, std::uint32_t number)
    {
        if (!file.open(JetTest::accessSample(QLatin1String(name)), jet::PageFile::OpenMode::ReadOnly, &error))
            return;
        bytes = page(file, number);
        read = decode(file.format(), file.pageSize(), u8(bytes), &error);
    }
};

bool sameEntries(const IndexPage &a, const IndexPage &b)
{
    if (a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        if (a.entries[i].bytes != b.entries[i].bytes || a.entries[i].child != b.entries[i].child)
            return false;
    }
    return true;
}

} // namespace

void TestJetIndexPage::everyPageRoundTrips_data()
{
    QTest::addColumn<QString>("database");
    for (const QString &f : fixtureDatabases())
        QTest::newRow(qPrintable(QFileInfo(f).dir().dirName() + QLatin1Char('/') + QFileInfo(f).fileName())) << f;
}

void TestJetIndexPage::everyPageRoundTrips()
{
    QFETCH(QString, database);
    jet::Database db;
    QString error;
    QVERIFY2(db.open(database, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const jet::PageFile &file = db.file();
    const int entriesStart = IndexPage::offsets(file.format()).entries;
    int pages = 0;
    for (const auto &entry : db.catalog().tables()) {
        jet::TableDef def;
        QVERIFY2(def.load(file, entry.tdefPage, &error), qPrintable(error));
        for (const auto &index : def.physicalIndexes()) {
            forEachPage(file, index.rootPage, [&](std::uint32_t number, const QByteArray &bytes, const IndexPage &p) {
                ++pages;
                const QString where = QStringLiteral("%1 page %2").arg(entry.name).arg(number);
                QCOMPARE(p.computedFreeSpace(), p.freeSpace);
                QByteArray again = bytes;
                QVERIFY2(p.encode(reinterpret_cast<std::uint8_t *>(again.data()), &error), qPrintable(where + error));
                // Everything up to the end of the entries comes out as it was (prefix,
                // the byte after it, mask, links); encode clears what lies beyond.
                const int end = entriesStart + p.storedEntryBytes;
                QVERIFY2(again.left(end) == bytes.left(end), qPrintable(where));
                QVERIFY(again.mid(end) == QByteArray(bytes.size() - end, '\0'));
                IndexPage decoded;
                QVERIFY(decoded.decode(file.format(), file.pageSize(), u8(again), &error));
                QVERIFY2(sameEntries(decoded, p), qPrintable(where));
                // The quick searches find each row pointer where the decode put it.
                if (p.isLeaf()) {
                    std::vector<RowId> ids;
                    QVERIFY(IndexPage::leafRowIds(file.format(), file.pageSize(), u8(bytes), &ids, &error));
                    QCOMPARE(ids.size(), p.entries.size());
                    for (std::size_t i = 0; i < ids.size(); ++i)
                        QCOMPARE(ids[i], p.entries[i].rowId());
                    for (std::size_t i = 0; i < p.entries.size(); ++i) {
                        const int found =
                            IndexPage::findRowInLeaf(file.format(), file.pageSize(), u8(bytes), p.entries[i].rowId());
                        QVERIFY2(found >= 0 && p.entries[std::size_t(found)].rowId() == p.entries[i].rowId(),
                                 qPrintable(where));
                    }
                }
            });
        }
    }
    if (database.contains(QLatin1String("compIndexTest")) || database.contains(QLatin1String("multipage")))
        QVERIFY(pages > 3);
}

void TestJetIndexPage::jet3PrefixByte()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (files made by Access) is absent");
    // Access 97's node page 36 of compIndexTestV1997.mdb holds "00 01" at 0x14: a prefix
    // of 0 and a marker byte, not a prefix of 256.
    SamplePage node("compIndexTestV1997.mdb", 36);
    QVERIFY2(node.read, qPrintable(node.error));
    QCOMPARE(std::uint8_t(node.bytes[0x14]), 0x00);
    QCOMPARE(std::uint8_t(node.bytes[0x15]), 0x01);
    QVERIFY(node.isNode());
    QCOMPARE(node.prefixLength, 0);
    QCOMPARE(int(node.marker), 1);
    QCOMPARE(node.entries.size(), std::size_t(2));
    QCOMPARE(node.entries[0].child, 37u);
    QCOMPARE(node.entries[1].child, 38u);
    QCOMPARE(node.tail, 39u);
    // Each entry is a 5-byte descending Long key and a row pointer.
    QCOMPARE(node.entries[0].bytes.toHex(), QByteArray("807ffff4d3000020"
                                                       "62"));
    QCOMPARE(node.entries[0].rowId(), (RowId{0x20, 0x62}));

    // Changing an entry keeps the marker byte.
    node.entries.erase(node.entries.begin());
    QByteArray out = node.bytes;
    QVERIFY(node.encode(reinterpret_cast<std::uint8_t *>(out.data()), &node.error));
    QCOMPARE(std::uint8_t(out[0x15]), 0x01);
    QCOMPARE(std::uint8_t(out[0x14]), 0x00);
}

void TestJetIndexPage::removingEntriesKeepsPrefixValid()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (files made by Access) is absent");
    // Leaf 37 of compIndexTestV1997.mdb: 299 entries sharing a 3-byte prefix.
    const SamplePage leaf("compIndexTestV1997.mdb", 37);
    QVERIFY2(leaf.read, qPrintable(leaf.error));
    const jet::PageFile &file = leaf.file;
    QString error;
    QCOMPARE(leaf.prefixLength, 3);
    QCOMPARE(leaf.entries.size(), std::size_t(299));
    QCOMPARE(leaf.freeSpace, 3);

    // Without its first entry the new first one is stored in full and the rest still
    // omit the shared 3 bytes: the 9 bytes of the old first entry go, the new first one
    // grows by 3.
    IndexPage changed = leaf;
    changed.entries.erase(changed.entries.begin());
    QByteArray out = leaf.bytes;
    QVERIFY(changed.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    IndexPage back;
    QVERIFY(back.decode(file.format(), file.pageSize(), u8(out), &error));
    QVERIFY(sameEntries(back, changed));
    QCOMPARE(back.prefixLength, 3);
    QCOMPARE(back.freeSpace, 3 + 6);

    // A replacement that no longer shares the prefix lowers it to what all entries share
    // (with fewer entries, so that the longer ones still fit).
    changed.entries.resize(20);
    changed.entries[5].bytes[1] = char(0x10);
    out = leaf.bytes;
    QVERIFY(changed.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    QVERIFY(back.decode(file.format(), file.pageSize(), u8(out), &error));
    QCOMPARE(back.prefixLength, 1);
    QVERIFY(sameEntries(back, changed));
    QCOMPARE(back.freeSpace, back.computedFreeSpace());

    // The last entry alone, then none: an empty leaf has prefix 0 and a free page.
    changed.entries.erase(changed.entries.begin(), changed.entries.end() - 1);
    QVERIFY(changed.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    QVERIFY(back.decode(file.format(), file.pageSize(), u8(out), &error));
    QVERIFY(sameEntries(back, changed));
    changed.entries.clear();
    QVERIFY(changed.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    QVERIFY(back.decode(file.format(), file.pageSize(), u8(out), &error));
    QVERIFY(back.entries.empty());
    QCOMPARE(back.prefixLength, 0);
    QCOMPARE(back.freeSpace, file.pageSize() - IndexPage::offsets(file.format()).entries);
    QCOMPARE(back.next, 38u); // links stay
}

void TestJetIndexPage::pageThatWouldOverflowIsRefused()
{
    // Leaf 37 has 3 bytes free; a replacement entry 4 bytes longer does not fit.
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (files made by Access) is absent");
    SamplePage leaf("compIndexTestV1997.mdb", 37);
    QVERIFY2(leaf.read, qPrintable(leaf.error));
    leaf.entries[10].bytes.insert(3, QByteArray(4, 'x'));
    QVERIFY(!leaf.fits());
    QByteArray out = leaf.bytes;
    QString error;
    QVERIFY(!leaf.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    QVERIFY2(error.contains(QLatin1String("the page holds")), qPrintable(error));
    QCOMPARE(out, leaf.bytes);
    leaf.entries[10].bytes.remove(3, 1); // 3 bytes longer fits exactly
    QVERIFY(leaf.encode(reinterpret_cast<std::uint8_t *>(out.data()), &error));
    QCOMPARE(std::uint8_t(out[2]) | (std::uint8_t(out[3]) << 8), 0);
}

void TestJetIndexPage::damagedPagesAreErrors_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("reason");
    // Jet 4 leaves of compIndexTestV2000.mdb: 32 (prefix 3, 510 entries), 33 (prefix 0,
    // two 5-byte entries).
    QTest::newRow("not an index page") << 32 << 0x00 << 0x01 << QStringLiteral("not an index page");
    QTest::newRow("mask bit past the page") << 32 << 0x1DF << 0x80 << QStringLiteral("past the page end");
    QTest::newRow("prefix longer than the first entry") << 32 << 0x18 << 0x40 << QStringLiteral("prefix length");
    QTest::newRow("entry shorter than a row pointer") << 33 << 0x1B << 0x04 << QStringLiteral("bytes long");
}

void TestJetIndexPage::damagedPagesAreErrors()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (files made by Access) is absent");
    QFETCH(int, page);
    QFETCH(int, offset);
    QFETCH(int, value);
    QFETCH(QString, reason);
    SamplePage sample("compIndexTestV2000.mdb", std::uint32_t(page));
    QVERIFY2(sample.read, qPrintable(sample.error));
    const jet::PageFile &file = sample.file;
    QByteArray bytes = sample.bytes;
    IndexPage &p = sample;
    bytes[offset] = char(std::uint8_t(bytes[offset]) | value);
    QString error;
    QVERIFY(!p.decode(file.format(), file.pageSize(), u8(bytes), &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(IndexPage::findRowInLeaf(file.format(), file.pageSize(), u8(bytes), RowId{1, 1}, &error), -2);
    std::vector<RowId> ids;
    QVERIFY(!IndexPage::leafRowIds(file.format(), file.pageSize(), u8(bytes), &ids, &error));
}

void TestJetIndexPage::keysMatchStoredEntries_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("indexes"); // physical indexes whose keys can be built
    QTest::newRow("multipage-3000 record (Long, Date, Text)") << JetTest::multipage() << QStringLiteral("record") << 3;
    QTest::newRow("Rec/2009-12 record") << JetTest::sample(QStringLiteral("2009-12")) << QStringLiteral("record") << 3;
    if (!JetTest::haveSharedFixtures())
        return;
    QTest::newRow("compIndexTestV1997 (descending Long, NULLs)")
        << JetTest::accessSample(QStringLiteral("compIndexTestV1997.mdb")) << QStringLiteral("Table1") << 1;
    QTest::newRow("compIndexTestV2000 (descending Long, NULLs)")
        << JetTest::accessSample(QStringLiteral("compIndexTestV2000.mdb")) << QStringLiteral("Table1") << 1;
    QTest::newRow("indexTestV2000 Table1 (Long)")
        << JetTest::accessSample(QStringLiteral("indexTestV2000.mdb")) << QStringLiteral("Table1") << 4;
    QTest::newRow("testUnicodeCompV2003 Table (Long, Text)")
        << JetTest::accessSample(QStringLiteral("testUnicodeCompV2003.mdb")) << QStringLiteral("Table") << 2;
    QTest::newRow("testIndexCodesV1997 Table11 (Long, Text)")
        << JetTest::accessSample(QStringLiteral("testIndexCodesV1997.mdb")) << QStringLiteral("Table11") << 3;
    // Texts of every character of the code page, ascending, descending, and in two-column
    // keys both ways (Table10 also indexes a Yes/No column, whose keys are not built).
    for (const char *name : {"Table1", "Table10", "Table10_desc", "Table12", "Table12_asc_desc", "Table12_desc_asc"})
        QTest::newRow(qPrintable(QStringLiteral("testIndexCodesV1997 %1 (Text)").arg(QLatin1String(name))))
            << JetTest::accessSample(QStringLiteral("testIndexCodesV1997.mdb")) << QString::fromLatin1(name)
            << (QByteArray(name).startsWith("Table10") ? 1 : 2);
    // Tables 2 to 9 index one column of each numeric type, ascending and descending, with
    // negative values, zero and NULLs (and their names, a text).
    const struct
    {
        const char *table;
        const char *type;
    } typed[] = {{"Table2", "Long"}, {"Table3", "Integer"},  {"Table4", "Double"}, {"Table5", "Single"},
                 {"Table6", "Date"}, {"Table8", "Currency"}, {"Table9", "Byte"}};
    for (const auto &t : typed) {
        for (const char *suffix : {"", "_desc"}) {
            const QString name = QString::fromLatin1(t.table) + QString::fromLatin1(suffix);
            QTest::newRow(
                qPrintable(QStringLiteral("testIndexCodesV1997 %1 (%2)").arg(name, QString::fromLatin1(t.type))))
                << JetTest::accessSample(QStringLiteral("testIndexCodesV1997.mdb")) << name << 2;
        }
    }
}

void TestJetIndexPage::keysMatchStoredEntries()
{
    QFETCH(QString, database);
    QFETCH(QString, table);
    QFETCH(int, indexes);
    jet::Database db;
    QString error;
    QVERIFY2(db.open(database, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto def = db.table(table, &error);
    QVERIFY2(def, qPrintable(error));
    int encodable = 0;
    for (const auto &index : def->physicalIndexes()) {
        std::set<QByteArray> stored;
        forEachPage(db.file(), index.rootPage, [&](std::uint32_t, const QByteArray &, const IndexPage &p) {
            if (p.isLeaf()) {
                for (const auto &e : p.entries)
                    stored.insert(e.bytes);
            }
        });
        // Every key the encoder builds is stored; a text with a character it has no code
        // for is left to the leaf search.
        jet::RowScanner scan(db.file(), *def);
        int rows = 0, built = 0;
        while (scan.next()) {
            ++rows;
            QByteArray key;
            if (!jet::IndexKeyEncoder::encode(index, scan.row(), &key))
                continue;
            const QByteArray entry = key + IndexPage::rowPointerBytes(scan.rowId());
            QVERIFY2(stored.count(entry),
                     qPrintable(QStringLiteral("row %1: built %2, not stored")
                                    .arg(scan.rowId().toString(), QString::fromLatin1(entry.toHex(' ')))));
            ++built;
        }
        QVERIFY(!scan.hasError());
        if (built > 0)
            ++encodable;
        if (built == rows)
            QCOMPARE(std::size_t(built), stored.size());
    }
    QCOMPARE(encodable, indexes);
}

QTEST_GUILESS_MAIN(TestJetIndexPage)
#include "tst_jetindexpage.moc"

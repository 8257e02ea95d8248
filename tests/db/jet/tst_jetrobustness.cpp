// Damaged files: bit flips, zeroed and garbage pages, truncation, and hand-placed loops
// and absurd counts in copies of the fixtures. Every read must end with a result or an
// error text: no crash, no hang, no runaway allocation.

#include "db/jet/DataPage.h"
#include "db/jet/Database.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDumper.h"
#include "db/jet/UsageMap.h"

#include "JetTestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using jet::Database;
using jet::PageFile;

class TestJetRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void randomDamage_data();
    void randomDamage();
    void definitionChainLoop();
    void absurdCounts();
    void movedRowLoopsAndBadPointers();
    void usageMapDamage();
    void catalogDamage();

private:
    QTemporaryDir m_dir;
};

namespace {

// Deterministic pseudo-random numbers (xorshift), so every run damages the same bytes.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % std::uint64_t(n)); }

private:
    std::uint64_t m_state;
};

struct Outcome
{
    bool opened = false;
    int tables = 0;
    int tablesRead = 0;
    int rows = 0;
    int damagedValues = 0;
    QString firstError;
};

void note(Outcome &o, const QString &error)
{
    if (o.firstError.isEmpty())
        o.firstError = error;
}

// Reads everything the engine offers: catalog, every table definition, every row and
// value, each row again by id, and the dump.
Outcome readEverything(const QString &path)
{
    Outcome o;
    Database db;
    QString error;
    if (!db.open(path, PageFile::OpenMode::ReadOnly, &error)) {
        note(o, error);
        return o;
    }
    o.opened = true;
    for (const jet::CatalogEntry &entry : db.catalog().tables()) {
        ++o.tables;
        const auto def = db.table(entry.name, &error);
        if (!def) {
            note(o, error);
            continue;
        }
        std::vector<jet::RowId> ids;
        jet::RowScanner scan(db.file(), *def);
        QString text;
        while (scan.next()) {
            ++o.rows;
            ids.push_back(scan.rowId());
            const jet::RowView &row = scan.row();
            for (int c = 0; c < row.columnCount(); ++c) {
                if (row.value(c).isError())
                    ++o.damagedValues;
                row.text(c, text);
                row.isNull(c);
            }
        }
        if (scan.hasError()) {
            note(o, scan.error());
        } else {
            ++o.tablesRead;
        }
        jet::RowFetcher fetch(db.file(), *def);
        for (const jet::RowId id : ids) {
            if (!fetch.fetch(id))
                note(o, fetch.error());
        }
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        if (!jet::TableDumper::dump(db.file(), *def, sink, &error))
            note(o, error);
    }
    return o;
}

// The pages that hold structure: the catalog, table definitions, usage maps, data and
// long-value pages. Found with the engine on the intact file.
std::vector<std::uint32_t> structuralPages(const QString &path)
{
    std::set<std::uint32_t> pages{1, 2};
    Database db;
    if (!db.open(path, PageFile::OpenMode::ReadOnly))
        return {};
    for (const jet::CatalogEntry &entry : db.catalog().tables()) {
        const auto def = db.table(entry.name);
        if (!def)
            continue;
        pages.insert(def->pages().begin(), def->pages().end());
        pages.insert(def->ownedPagesMap().page);
        jet::RowScanner scan(db.file(), *def);
        for (std::uint32_t p : scan.pages())
            pages.insert(p);
        for (const auto &col : def->columns()) {
            if (col.hasLongValueMaps) {
                std::vector<std::uint32_t> lval;
                jet::UsageMap::readPages(db.file(), col.longValueOwnedMap, &lval);
                pages.insert(lval.begin(), lval.end());
            }
        }
    }
    return {pages.begin(), pages.end()};
}

QStringList damageSources()
{
    QStringList files{JetTest::sample(QStringLiteral("2009-12")), JetTest::sample(QStringLiteral("odd-types"))};
    if (JetTest::haveSharedFixtures()) {
        for (const char *f : {"testV1997.mdb", "test2V1997.mdb", "overflowTestV2000.mdb", "testUnicodeCompV2003.mdb",
                              "indexTestV1997.mdb", "compIndexTestV1997.mdb"})
            files << JetTest::accessSample(QLatin1String(f));
    }
    return files;
}

// Writes `bytes` to `path` and opens `db` on it for reading: its "record" table, or none when
// the file cannot be written or opened or the table read.
std::optional<jet::TableDef> writeAndReadRecordTable(Database &db, const QString &path, const QByteArray &bytes)
{
    if (!TestFiles::write(path, bytes) || !db.open(path, PageFile::OpenMode::ReadOnly))
        return std::nullopt;
    return db.table(QStringLiteral("record"));
}

} // namespace

void TestJetRobustness::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestJetRobustness::randomDamage_data()
{
    QTest::addColumn<QString>("source");
    for (const QString &f : damageSources())
        QTest::newRow(qPrintable(QFileInfo(f).fileName() + QLatin1Char(' ') + QFileInfo(f).dir().dirName())) << f;
}

void TestJetRobustness::randomDamage()
{
    QFETCH(QString, source);
    const QByteArray original = TestFiles::read(source);
    const Outcome intact = readEverything(source);
    QVERIFY2(intact.opened && intact.firstError.isEmpty(), qPrintable(intact.firstError));

    PageFile probe;
    QVERIFY(probe.open(source, PageFile::OpenMode::ReadOnly));
    const int ps = probe.pageSize();
    const int pageCount = int(probe.pageCount());
    const std::vector<std::uint32_t> structure = structuralPages(source);
    QVERIFY(structure.size() > 3);

    const QString path = m_dir.filePath(QStringLiteral("damaged.mdb"));
    Random random(qHash(source));
    int variants = 0;
    int refused = 0;
    int failedReads = 0;
    const auto run = [&](const QByteArray &bytes) {
        QVERIFY(TestFiles::overwrite(path, bytes));
        const Outcome o = readEverything(path);
        ++variants;
        if (!o.opened)
            ++refused;
        else if (!o.firstError.isEmpty() || o.damagedValues > 0)
            ++failedReads;
    };

    // Bit flips in structural pages: 1 to 16 bits at a time.
    for (int round = 0; round < 120; ++round) {
        QByteArray copy = original;
        const int flips = 1 + random.below(16);
        const std::uint32_t page = structure[std::size_t(random.below(int(structure.size())))];
        for (int f = 0; f < flips; ++f) {
            const qint64 at = qint64(page) * ps + random.below(ps);
            copy[at] = char(std::uint8_t(copy[at]) ^ (1u << random.below(8)));
        }
        run(copy);
    }
    // Random bytes over the first 64 bytes of a page (headers, slot tables).
    for (int round = 0; round < 40; ++round) {
        QByteArray copy = original;
        const std::uint32_t page = structure[std::size_t(random.below(int(structure.size())))];
        for (int i = 0; i < 64; ++i)
            copy[qint64(page) * ps + i] = char(random.next());
        run(copy);
    }
    // Every structural page zeroed, and filled with garbage, in turn.
    for (const std::uint32_t page : structure) {
        QByteArray zeroed = original;
        std::memset(zeroed.data() + qint64(page) * ps, 0, std::size_t(ps));
        run(zeroed);
        QByteArray garbage = original;
        for (int i = 0; i < ps; ++i)
            garbage[qint64(page) * ps + i] = char(random.next());
        garbage[qint64(page) * ps] = original[qint64(page) * ps]; // keep the page type
        run(garbage);
    }
    // Truncated at page boundaries, and anywhere.
    for (int pages = 3; pages < pageCount; pages += std::max(1, pageCount / 12))
        run(original.left(qint64(pages) * ps));
    run(original.left(original.size() - 7));
    // Flips anywhere in the file, including the header.
    for (int round = 0; round < 40; ++round) {
        QByteArray copy = original;
        const qint64 at = random.below(int(copy.size()));
        copy[at] = char(std::uint8_t(copy[at]) ^ (1u << random.below(8)));
        run(copy);
    }

    qDebug("%s: %d damaged copies, %d refused, %d read with errors", qPrintable(QFileInfo(source).fileName()), variants,
           refused, failedReads);
    // The damage must be noticed in some of them, or the test is not touching anything.
    QVERIFY(refused + failedReads > variants / 10);
}

void TestJetRobustness::definitionChainLoop()
{
    QByteArray bytes = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    // record's definition (page 24) names itself as its next page.
    JetTest::putU32(bytes, 24 * 4096 + 4, 24);
    const QString path = m_dir.filePath(QStringLiteral("tdef-loop.mdb"));
    QVERIFY(TestFiles::write(path, bytes));
    Database db;
    QVERIFY(db.open(path, PageFile::OpenMode::ReadOnly));
    QString error;
    QVERIFY(!db.table(QStringLiteral("record"), &error));
    QVERIFY2(error.contains(QLatin1String("loops back to page 24")), qPrintable(error));

    // A chain through two pages that point at each other: 24 -> 32 -> 24, with 32 made a
    // definition page.
    bytes = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    JetTest::putU32(bytes, 24 * 4096 + 4, 32);
    bytes[32 * 4096] = 0x02;
    JetTest::putU32(bytes, 32 * 4096 + 4, 24);
    QVERIFY(TestFiles::write(path, bytes));
    QVERIFY(db.open(path, PageFile::OpenMode::ReadOnly));
    QVERIFY(!db.table(QStringLiteral("record"), &error));
    QVERIFY2(error.contains(QLatin1String("loops back")), qPrintable(error));
}

void TestJetRobustness::absurdCounts()
{
    const QByteArray original = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    const QString path = m_dir.filePath(QStringLiteral("counts.mdb"));
    QString error;

    struct Patch
    {
        int offset;
        int size;
        std::uint32_t value;
        const char *message;
    };
    // Offsets on page 24 (record's definition) and page 29 (its first data page).
    const Patch patches[] = {
        {24 * 4096 + 0x2D, 2, 0xFFFF, "more than its"},     // column count
        {24 * 4096 + 0x33, 4, 0xFFFFFFFF, "more than its"}, // physical index count
        {24 * 4096 + 0x2F, 4, 0x10000000, "more than its"}, // logical index count
        {29 * 4096 + 0x0C, 2, 0xFFFF, "do not fit"},        // slot count
        {29 * 4096 + 0x0E, 2, 0x1FFF, "outside its page"},  // slot 0 starts past the page
    };
    for (const Patch &p : patches) {
        QByteArray copy = original;
        if (p.size == 2)
            JetTest::putU16(copy, p.offset, p.value);
        else
            JetTest::putU32(copy, p.offset, p.value);
        QVERIFY(TestFiles::write(path, copy));
        const Outcome o = readEverything(path);
        QVERIFY(o.opened);
        QVERIFY2(o.firstError.contains(QLatin1String(p.message)), qPrintable(o.firstError));
    }

    // A row claiming 0xFFFF columns: its null mask cannot fit.
    QByteArray copy = original;
    const int rowStart =
        29 * 4096 + (std::uint8_t(copy[29 * 4096 + 0x0E]) | (std::uint8_t(copy[29 * 4096 + 0x0F]) << 8));
    JetTest::putU16(copy, rowStart, 0xFFFF);
    QVERIFY(TestFiles::write(path, copy));
    const Outcome o = readEverything(path);
    QVERIFY2(o.firstError.contains(QLatin1String("row 29:0")), qPrintable(o.firstError));
    QVERIFY2(o.firstError.contains(QLatin1String("null mask")), qPrintable(o.firstError));
}

void TestJetRobustness::movedRowLoopsAndBadPointers()
{
    const QByteArray original = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    const QString path = m_dir.filePath(QStringLiteral("moved.mdb"));
    const int slotTable = 29 * 4096 + 0x0E;
    const int rowStart = 29 * 4096 + (std::uint8_t(original[slotTable]) | (std::uint8_t(original[slotTable + 1]) << 8));

    struct Case
    {
        std::uint32_t pointer;
        const char *message;
    };
    const Case cases[] = {
        {(29u << 8) | 0, "loop or run over"},              // points at itself
        {(0xFFFFFu << 8) | 0, "past the end"},             // page beyond the file
        {(24u << 8) | 0, "not a data page of this table"}, // the definition page
        {(31u << 8) | 250, "does not exist"},              // no such slot
    };
    for (const Case &c : cases) {
        QByteArray copy = original;
        copy[slotTable + 1] = char(std::uint8_t(copy[slotTable + 1]) | 0x40); // slot 0 moved
        JetTest::putU32(copy, rowStart, c.pointer);
        Database db;
        const auto def = writeAndReadRecordTable(db, path, copy);
        QVERIFY(def);
        jet::RowScanner scan(db.file(), *def);
        QVERIFY(!scan.next());
        QVERIFY2(scan.error().contains(QLatin1String(c.message)), qPrintable(scan.error()));
        QVERIFY2(scan.error().contains(QLatin1String("row 29:0")), qPrintable(scan.error()));
        QVERIFY(!scan.next()); // stays finished
        jet::RowFetcher fetch(db.file(), *def);
        QVERIFY(!fetch.fetch({29, 0}));
        QVERIFY(fetch.fetch({29, 1}));
    }
}

void TestJetRobustness::usageMapDamage()
{
    const QByteArray original = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    const QString path = m_dir.filePath(QStringLiteral("map.mdb"));
    Database intact;
    QVERIFY(intact.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    const auto def = intact.table(QStringLiteral("record"));
    QVERIFY(def);
    // record's owned map is row 25:0, a reference map naming map page 30.
    const jet::RowId mapRow = def->ownedPagesMap();
    QByteArray page25 = original.mid(qint64(mapRow.page) * 4096, 4096);
    const jet::DataPage dp(intact.file().layout(), reinterpret_cast<const std::uint8_t *>(page25.constData()));
    int start = 0;
    int end = 0;
    QVERIFY(dp.rowBounds(int(mapRow.slot), &start, &end));
    const int mapAt = int(mapRow.page) * 4096 + start;
    QCOMPARE(int(original[mapAt]), 1);
    QCOMPARE(JetTest::getU32(original, mapAt + 1), 30u);

    struct Case
    {
        int offset;
        std::uint32_t value;
        bool wholeWord;
        const char *message; // empty: the scan ends without rows and without error
    };
    const Case cases[] = {
        {mapAt + 1, 0x00FFFFFF, true, "past the end"}, // map page beyond the file
        {mapAt + 1, 24, true, "not a usage map page"}, // the definition page
        {mapAt, 0x07, false, "unknown usage map type"},
        {mapAt + 1, 0, true, ""}, // no map page: an empty table
    };
    for (const Case &c : cases) {
        QByteArray copy = original;
        if (c.wholeWord)
            JetTest::putU32(copy, c.offset, c.value);
        else
            copy[c.offset] = char(c.value);
        Database db;
        const auto table = writeAndReadRecordTable(db, path, copy);
        QVERIFY(table);
        jet::RowScanner scan(db.file(), *table);
        QVERIFY(!scan.next());
        if (*c.message)
            QVERIFY2(scan.error().contains(QLatin1String(c.message)), qPrintable(scan.error()));
        else
            QVERIFY2(!scan.hasError(), qPrintable(scan.error()));
    }

    // A map page whose bits name every page of the file: only pages of this table are
    // read, the others (index pages, the catalog, other data) are passed over.
    QByteArray copy = original;
    std::memset(copy.data() + 30 * 4096 + 4, 0xFF, 4092);
    QVERIFY(TestFiles::write(path, copy));
    const Outcome o = readEverything(path);
    QVERIFY(o.opened);
    QVERIFY2(o.firstError.isEmpty(), qPrintable(o.firstError));
    Database db;
    QVERIFY(db.open(path, PageFile::OpenMode::ReadOnly));
    const auto table = db.table(QStringLiteral("record"));
    jet::RowScanner scan(db.file(), *table);
    QCOMPARE(scan.pages().size(), std::size_t(db.file().pageCount()));
    int rows = 0;
    while (scan.next())
        ++rows;
    QCOMPARE(rows, 60);
}

void TestJetRobustness::catalogDamage()
{
    const QByteArray original = TestFiles::read(JetTest::sample(QStringLiteral("odd-types")));
    const QString path = m_dir.filePath(QStringLiteral("catalog.mdb"));
    QString error;

    QByteArray zeroed = original;
    std::memset(zeroed.data() + 2 * 4096, 0, 4096);
    QVERIFY(TestFiles::write(path, zeroed));
    Database db;
    QVERIFY(!db.open(path, PageFile::OpenMode::ReadOnly, &error));
    QVERIFY2(error.contains(QLatin1String("system catalog")), qPrintable(error));
    QVERIFY(!db.isOpen());

    // Rename the "Tables" folder: there is no folder for tables any more.
    QByteArray renamed = original;
    // The backups store catalog names as plain UCS-2.
    const QByteArray tables("T\0a\0b\0l\0e\0s\0", 12);
    const qint64 at = renamed.indexOf(tables);
    QVERIFY(at > 0);
    renamed[at] = 'X';
    QVERIFY(TestFiles::write(path, renamed));
    QVERIFY(!db.open(path, PageFile::OpenMode::ReadOnly, &error));
    QVERIFY2(error.contains(QLatin1String("\"Tables\" folder")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestJetRobustness)
#include "tst_jetrobustness.moc"

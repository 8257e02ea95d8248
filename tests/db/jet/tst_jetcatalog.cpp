// The catalog and table definitions: table lists and lookup, header fields, columns,
// indexes, usage maps and the file positions a deleter patches.

#include "db/jet/DataPage.h"
#include "db/jet/Database.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDef.h"

#include "JetTestSupport.h"

#include <QDir>
#include <QtTest>

#include <set>

using jet::ColumnType;
using jet::Database;
using jet::PageFile;
using jet::TableDef;

class TestJetCatalog : public QObject
{
    Q_OBJECT

private slots:
    void userTablesMatchTheReferenceDumps_data();
    void userTablesMatchTheReferenceDumps();
    void catalogFacts();
    void lookupIgnoresCase();
    void recordDefinition();
    void rowCountPositionInTheFile();
    void indexesPointAtIndexPages_data();
    void indexesPointAtIndexPages();
    void multiPageDefinition();
    void logicalIndexesSharingPhysicalOnes();
    void droppedColumnsAndLongValueMaps();
    void jet3ColumnDetails();
    void damagedDefinitionsAreRefused();

private:
    static Database openOrFail(const QString &path);
};

namespace {

std::optional<TableDef> loadTable(const Database &db, const QString &name)
{
    QString error;
    auto def = db.table(name, &error);
    if (!def)
        qWarning("%s", qPrintable(error));
    return def;
}

} // namespace

void TestJetCatalog::userTablesMatchTheReferenceDumps_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("tables");
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    // One reference dump exists per user table of every fixture database.
    QMap<QString, QStringList> byDatabase;
    const QStringList dumps =
        QDir(JetTest::sharedFixtures() + QStringLiteral("/expected")).entryList({QStringLiteral("*.tsv")}, QDir::Files);
    for (QString f : dumps) {
        f.chop(4);
        const int cut = int(f.lastIndexOf(QLatin1String("__")));
        byDatabase[f.left(cut).replace(QLatin1String("__"), QLatin1String("/"))] << f.mid(cut + 2);
    }
    for (auto it = byDatabase.cbegin(); it != byDatabase.cend(); ++it) {
        QStringList tables = it.value();
        tables.sort();
        QTest::newRow(qPrintable(it.key())) << it.key() << tables;
    }
}

void TestJetCatalog::userTablesMatchTheReferenceDumps()
{
    QFETCH(QString, database);
    QFETCH(QStringList, tables);
    Database db;
    QString error;
    QVERIFY2(db.open(JetTest::sharedFixtures() + QLatin1Char('/') + database, PageFile::OpenMode::ReadOnly, &error),
             qPrintable(error));
    QStringList names = db.userTableNames();
    names.sort();
    QCOMPARE(names, tables);
    // Each dump's first line names the table's columns in their order, as "name:TYPE",
    // after the row id.
    for (const QString &table : tables) {
        QFile dump(JetTest::sharedFixtures() + QStringLiteral("/expected/")
                   + QString(database).replace(QLatin1Char('/'), QLatin1String("__")) + QLatin1String("__") + table
                   + QLatin1String(".tsv"));
        QVERIFY(dump.open(QIODevice::ReadOnly));
        QStringList header = QString::fromUtf8(dump.readLine().trimmed()).split(QLatin1Char('\t'));
        header.removeFirst();
        const auto def = loadTable(db, table);
        QVERIFY(def);
        QCOMPARE(def->columnCount(), int(header.size()));
        for (int i = 0; i < def->columnCount(); ++i)
            QCOMPARE(def->column(i).name, header.at(i).section(QLatin1Char(':'), 0, 0));
    }
    QCOMPARE(db.catalog().tablesFolderId(), 0x0F000001);
    // System tables are listed in the catalog but not among the user tables.
    const jet::CatalogEntry *objects = db.catalog().find(QStringLiteral("MSysObjects"));
    QVERIFY(objects);
    QCOMPARE(objects->tdefPage, 2u);
    QVERIFY(objects->isSystem());
    QVERIFY(!names.contains(QStringLiteral("MSysObjects")));
}

void TestJetCatalog::catalogFacts()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    Database db;
    QVERIFY(db.open(JetTest::accessSample(QStringLiteral("testV1997.mdb")), PageFile::OpenMode::ReadOnly));
    QCOMPARE(db.catalog().objectCount(), 22);
    QCOMPARE(db.userTableNames(), (QStringList{QStringLiteral("Table1"), QStringLiteral("Table2"),
                                               QStringLiteral("Table3"), QStringLiteral("Table4")}));
    QCOMPARE(db.catalog().find(QStringLiteral("Table1"))->tdefPage, 29u);
    QCOMPARE(db.catalog().find(QStringLiteral("Table2"))->tdefPage, 34u);

    // A hidden table flagged 0x800A0000 and MSys tables flagged 0x0000000A stay out of the
    // user list of a Jet 4 file.
    Database unicode;
    QVERIFY(
        unicode.open(JetTest::accessSample(QStringLiteral("testUnicodeCompV2003.mdb")), PageFile::OpenMode::ReadOnly));
    QCOMPARE(unicode.userTableNames(), QStringList{QStringLiteral("Table")});
    QVERIFY(unicode.catalog().tables().size() > 5);
}

void TestJetCatalog::lookupIgnoresCase()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    QCOMPARE(db.userTableNames(), QStringList{QStringLiteral("record")});
    for (const QString &name :
         {QStringLiteral("record"), QStringLiteral("RECORD"), QStringLiteral("Record"), QStringLiteral("rEcOrD")}) {
        const jet::CatalogEntry *e = db.catalog().find(name);
        QVERIFY2(e, qPrintable(name));
        QCOMPARE(e->name, QStringLiteral("record"));
        QCOMPARE(e->tdefPage, 24u);
    }
    QVERIFY(!db.catalog().find(QStringLiteral("records")));
    QVERIFY(!db.catalog().find(QString()));
    QString error;
    QVERIFY(!db.table(QStringLiteral("records"), &error));
    QVERIFY2(error.contains(QLatin1String("no table named")), qPrintable(error));

    // odd-types names its table "Record".
    Database odd;
    QVERIFY(odd.open(JetTest::sample(QStringLiteral("odd-types")), PageFile::OpenMode::ReadOnly));
    QCOMPARE(odd.userTableNames(), QStringList{QStringLiteral("Record")});
    const auto def = loadTable(odd, QStringLiteral("record"));
    QVERIFY(def);
    QCOMPARE(def->columnIndex(QStringLiteral("NOTE")), 17);
    QCOMPARE(def->columnIndex(QStringLiteral("dtmf")), -1);
}

void TestJetCatalog::recordDefinition()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    const auto def = loadTable(db, QStringLiteral("record"));
    QVERIFY(def);
    QCOMPARE(def->firstPage(), 24u);
    QCOMPARE(def->pages(), std::vector<std::uint32_t>{24});
    QCOMPARE(def->tableType(), TableDef::kUserTable);
    QCOMPARE(def->rowCount(), 60u);
    QCOMPARE(def->autoNumber(), 62u); // ids 8 and 34 were deleted, 62 handed out
    QCOMPARE(def->columnCount(), 19);
    QCOMPARE(def->maxColumns(), 19);
    QCOMPARE(def->variableColumnCount(), 7);
    QCOMPARE(def->ownedPagesMap(), (jet::RowId{25, 0}));
    QCOMPARE(def->freeSpaceMap(), (jet::RowId{25, 1}));

    for (int i = 0; i < def->columnCount(); ++i) // no column was ever dropped
        QCOMPARE(int(def->column(i).number), i);
    const jet::Column &id = def->column(0);
    QCOMPARE(id.type(), ColumnType::Long);
    QCOMPARE(id.flags, std::uint8_t(0x07));
    QVERIFY(id.isAutoNumber() && id.isFixed());
    QCOMPARE(def->column(2).type(), ColumnType::DateTime);
    QCOMPARE(def->column(2).fixedOffset, std::uint16_t(8));
    QCOMPARE(def->column(14).type(), ColumnType::Integer);
    const jet::Column &fsk = def->column(10);
    QCOMPARE(fsk.type(), ColumnType::Text);
    QVERIFY(!fsk.isFixed());
    QCOMPARE(fsk.varIndex, std::uint16_t(1));
    QCOMPARE(fsk.length, std::uint16_t(100)); // Text(50), two bytes a character
    QCOMPARE(fsk.extFlags & 0x01, 0x01);      // compression allowed

    // Data pages through the reference usage map.
    jet::RowScanner scan(db.file(), *def);
    QCOMPARE(scan.pages(), (std::vector<std::uint32_t>{29, 31, 32}));

    // Indexes: PrimaryKey(id), record_time_start, fsk.
    const auto &physical = def->physicalIndexes();
    QCOMPARE(physical.size(), std::size_t(3));
    const int keyColumns[3] = {0, 2, 10};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(physical[i].keyColumns.size(), std::size_t(1));
        QCOMPARE(physical[i].keyColumns[0].column, keyColumns[i]);
        QVERIFY(physical[i].keyColumns[0].ascending);
    }
    QVERIFY(physical[0].isUnique());
    QVERIFY(!physical[1].isUnique());
    QCOMPARE(physical[0].entryCount, 62u);
    const auto &logical = def->logicalIndexes();
    QCOMPARE(logical.size(), std::size_t(3));
    QCOMPARE(logical[0].name, QStringLiteral("PrimaryKey"));
    QVERIFY(logical[0].isPrimaryKey());
    QCOMPARE(logical[0].physicalIndex, 0);
    QCOMPARE(logical[2].name, QStringLiteral("fsk"));
}

void TestJetCatalog::rowCountPositionInTheFile()
{
    // The deleter patches the row count and the index entry counts in place: the
    // reported file positions must hold exactly the values the definition reports.
    const QStringList paths{JetTest::sample(QStringLiteral("2009-12")), JetTest::multipage(),
                            JetTest::haveSharedFixtures() ? JetTest::accessSample(QStringLiteral("indexTestV1997.mdb"))
                                                          : QString()};
    for (const QString &path : paths) {
        if (path.isEmpty())
            continue;
        Database db;
        QVERIFY(db.open(path, PageFile::OpenMode::ReadOnly));
        const QByteArray bytes = TestFiles::read(path);
        for (const QString &name : db.userTableNames()) {
            const auto def = loadTable(db, name);
            QVERIFY(def);
            const std::uint64_t at = def->rowCountFileOffset().value();
            QCOMPARE(at, std::uint64_t(def->firstPage()) * std::uint64_t(db.file().pageSize())
                             + (db.file().format() == jet::Format::Jet3 ? 0x0C : 0x10));
            QCOMPARE(JetTest::getU32(bytes, qint64(at)), def->rowCount());
            for (const jet::PhysicalIndex &index : def->physicalIndexes()) {
                std::uint64_t countAt = 0;
                QVERIFY(def->fileOffset(index.entryCountOffset, &countAt));
                QCOMPARE(JetTest::getU32(bytes, qint64(countAt)), index.entryCount);
            }
        }
    }
    // A definition that was never loaded has no row count to point at (and not the header).
    QVERIFY(!jet::TableDef().rowCountFileOffset());
}

void TestJetCatalog::indexesPointAtIndexPages_data()
{
    QTest::addColumn<QString>("database");
    QTest::newRow("2009-12") << JetTest::sample(QStringLiteral("2009-12"));
    QTest::newRow("multipage-3000") << JetTest::multipage();
    if (JetTest::haveSharedFixtures()) {
        for (const QString &f : {QStringLiteral("indexTestV1997.mdb"), QStringLiteral("indexTestV2000.mdb"),
                                 QStringLiteral("compIndexTestV1997.mdb"), QStringLiteral("testIndexCodesV1997.mdb")})
            QTest::newRow(qPrintable(f)) << JetTest::accessSample(f);
    }
}

void TestJetCatalog::indexesPointAtIndexPages()
{
    QFETCH(QString, database);
    Database db;
    QVERIFY(db.open(database, PageFile::OpenMode::ReadOnly));
    const QByteArray bytes = TestFiles::read(database);
    const int ps = db.file().pageSize();
    bool sawNode = false;
    for (const QString &name : db.userTableNames()) {
        const auto def = loadTable(db, name);
        QVERIFY(def);
        for (const jet::PhysicalIndex &index : def->physicalIndexes()) {
            QVERIFY(index.rootPage > 2 && index.rootPage < db.file().pageCount());
            const char type = bytes.at(qint64(index.rootPage) * ps);
            QVERIFY2(type == 0x03 || type == 0x04,
                     qPrintable(QStringLiteral("%1 root %2").arg(name).arg(index.rootPage)));
            sawNode = sawNode || type == 0x03;
            QVERIFY(!index.keyColumns.empty());
            for (const auto &key : index.keyColumns)
                QVERIFY(key.column >= 0 && key.column < def->columnCount());
            // The index usage map is a row on a data page.
            QCOMPARE(int(bytes.at(qint64(index.usageMap.page) * ps)), 0x01);
        }
        for (const jet::LogicalIndex &index : def->logicalIndexes()) {
            QVERIFY(index.physicalIndex >= 0 && index.physicalIndex < int(def->physicalIndexes().size()));
            QVERIFY(!index.name.isEmpty());
        }
    }
    if (database == JetTest::multipage())
        QVERIFY(sawNode); // the 3000-row indexes have node pages above their leaves
}

void TestJetCatalog::multiPageDefinition()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    Database db;
    QVERIFY(db.open(JetTest::accessSample(QStringLiteral("testV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto def = loadTable(db, QStringLiteral("Table2"));
    QVERIFY(def);
    QCOMPARE(def->pages(), (std::vector<std::uint32_t>{34, 44}));
    QCOMPARE(def->definition().size(), 2048 + 2040);
    QCOMPARE(def->columnCount(), 89);
    // Every name, including the one split across the page boundary ("co" | "lumn42").
    for (int i = 0; i < 89; ++i)
        QCOMPARE(def->column(i).name, QStringLiteral("column%1").arg(i + 1));
    QCOMPARE(def->physicalIndexes().size(), std::size_t(5));
    QVERIFY(def->definitionLength() > 2048u);

    // Offsets past the first page map into page 44, after its 8-byte header.
    std::uint64_t at = 0;
    QVERIFY(def->fileOffset(100, &at));
    QCOMPARE(at, std::uint64_t(34 * 2048 + 100));
    QVERIFY(def->fileOffset(2048, &at));
    QCOMPARE(at, std::uint64_t(44 * 2048 + 8));
    QVERIFY(def->fileOffset(4087, &at));
    QCOMPARE(at, std::uint64_t(44 * 2048 + 2047));
    QVERIFY(!def->fileOffset(4088, &at));
    QVERIFY(!def->fileOffset(-1, &at));
}

void TestJetCatalog::logicalIndexesSharingPhysicalOnes()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    Database db;
    QVERIFY(db.open(JetTest::accessSample(QStringLiteral("indexTestV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto table1 = loadTable(db, QStringLiteral("Table1"));
    const auto table2 = loadTable(db, QStringLiteral("Table2"));
    QVERIFY(table1 && table2);

    // Table2: three logical indexes on two physical ones; the relationship index ".rC"
    // uses the primary key's tree and names Table1 as the other side.
    QCOMPARE(table2->physicalIndexes().size(), std::size_t(2));
    QCOMPARE(table2->logicalIndexes().size(), std::size_t(3));
    const jet::LogicalIndex *rc = nullptr;
    const jet::LogicalIndex *pk = nullptr;
    for (const auto &index : table2->logicalIndexes()) {
        if (index.name == QLatin1String(".rC"))
            rc = &index;
        if (index.isPrimaryKey())
            pk = &index;
    }
    QVERIFY(rc && pk);
    QVERIFY(rc->isForeignKey());
    QCOMPARE(rc->physicalIndex, pk->physicalIndex);
    QCOMPARE(rc->foreignTablePage, table1->firstPage());
    QVERIFY(table2->physicalIndexes()[std::size_t(pk->physicalIndex)].isUnique());

    // Table1: foreign keys otherfk1 and otherfk2 on their own trees.
    QCOMPARE(table1->physicalIndexes().size(), std::size_t(4));
    QStringList foreign;
    for (const auto &index : table1->logicalIndexes()) {
        if (index.isForeignKey()) {
            foreign << index.name;
            const auto &phys = table1->physicalIndexes()[std::size_t(index.physicalIndex)];
            QCOMPARE(phys.keyColumns.size(), std::size_t(1));
            QVERIFY(table1->column(phys.keyColumns[0].column).name.startsWith(QLatin1String("otherfk")));
        }
    }
    foreign.sort();
    QCOMPARE(foreign, (QStringList{QStringLiteral("Table2Table1"), QStringLiteral("Table3Table1")}));

    // compIndexTestV1997: a descending index.
    Database comp;
    QVERIFY(comp.open(JetTest::accessSample(QStringLiteral("compIndexTestV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto compTable = loadTable(comp, QStringLiteral("Table1"));
    QVERIFY(compTable);
    bool descending = false;
    for (const auto &index : compTable->physicalIndexes())
        descending = descending || !index.keyColumns.at(0).ascending;
    QVERIFY(descending);
}

void TestJetCatalog::droppedColumnsAndLongValueMaps()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    // indexTestV2000 Table1 lost column 0: numbers run 1-5, max columns 6, and the
    // fixed area keeps the hole at bytes 0-3.
    Database db;
    QVERIFY(db.open(JetTest::accessSample(QStringLiteral("indexTestV2000.mdb")), PageFile::OpenMode::ReadOnly));
    const auto def = loadTable(db, QStringLiteral("Table1"));
    QVERIFY(def);
    QCOMPARE(def->maxColumns(), 6);
    QCOMPARE(def->columnCount(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(int(def->column(i).number), i + 1);
    QCOMPARE(def->column(0).fixedOffset, std::uint16_t(4));

    // overflowTestV2000: a dropped variable column leaves variable index 1 unused.
    Database overflow;
    QVERIFY(
        overflow.open(JetTest::accessSample(QStringLiteral("overflowTestV2000.mdb")), PageFile::OpenMode::ReadOnly));
    const auto t1 = loadTable(overflow, QStringLiteral("Table1"));
    QVERIFY(t1);
    QCOMPARE(t1->variableColumnCount(), 10);
    std::set<int> varIndexes;
    for (const auto &col : t1->columns())
        varIndexes.insert(col.varIndex);
    QCOMPARE(varIndexes.size(), std::size_t(9));
    QCOMPARE(varIndexes.count(1), std::size_t(0));

    // Memo columns list their own usage maps after the index names.
    Database odd;
    QVERIFY(odd.open(JetTest::sample(QStringLiteral("odd-types")), PageFile::OpenMode::ReadOnly));
    const auto record = loadTable(odd, QStringLiteral("Record"));
    QVERIFY(record);
    const jet::Column &note = record->column(record->columnIndex(QStringLiteral("note")));
    QCOMPARE(note.type(), ColumnType::Memo);
    QCOMPARE(int(note.number), 17);
    QVERIFY(note.hasLongValueMaps);
    QCOMPARE(note.longValueOwnedMap.toPointer(), 0x1905u);
    QCOMPARE(note.longValueFreeMap.toPointer(), 0x1906u);
    QVERIFY(!record->column(0).hasLongValueMaps);
    // The definition length points just past the 0xFFFF that ends that list.
    const QByteArray &d = record->definition();
    QCOMPARE(d.mid(qsizetype(record->definitionLength()) - 2, 2), QByteArray("\xFF\xFF", 2));

    // Decimal: precision, then scale.
    Database numeric;
    QVERIFY(
        numeric.open(JetTest::accessSample(QStringLiteral("fixedNumericTestV2000.mdb")), PageFile::OpenMode::ReadOnly));
    const auto test = loadTable(numeric, QStringLiteral("test"));
    QVERIFY(test);
    const jet::Column &col2 = test->column(1);
    QCOMPARE(col2.type(), ColumnType::Decimal);
    QCOMPARE(int(col2.precision), 18);
    QCOMPARE(int(col2.scale), 0);
}

void TestJetCatalog::jet3ColumnDetails()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    Database db;
    QVERIFY(db.open(JetTest::accessSample(QStringLiteral("testV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto def = loadTable(db, QStringLiteral("Table1"));
    QVERIFY(def);
    QCOMPARE(def->format(), jet::Format::Jet3);
    QCOMPARE(def->columnCount(), 9);
    QCOMPARE(def->column(0).type(), ColumnType::Text);
    QCOMPARE(def->column(0).length, std::uint16_t(50)); // characters, not bytes
    QCOMPARE(def->column(0).codePage, std::uint16_t(1252));
    QCOMPARE(def->column(0).sortOrder, std::uint16_t(0x0409));
    QCOMPARE(def->column(8).type(), ColumnType::Boolean);
    QCOMPARE(def->rowCountOffset(), 0x0C);

    // The Jet 3 AutoNumber counter sits at 0x10.
    Database codes;
    QVERIFY(codes.open(JetTest::accessSample(QStringLiteral("testIndexCodesV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto table11 = loadTable(codes, QStringLiteral("Table11"));
    QVERIFY(table11);
    QCOMPARE(table11->autoNumber(), 52u);
}

void TestJetCatalog::damagedDefinitionsAreRefused()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    const auto good = loadTable(db, QStringLiteral("record"));
    QVERIFY(good);
    const QByteArray definition = good->definition();
    QString error;

    TableDef def;
    QVERIFY(def.parse(definition, jet::Format::Jet4, &db.file(), &error));
    QCOMPARE(def.columnCount(), 19);
    QVERIFY(def.pages().empty()); // parsed from bytes: no file positions
    std::uint64_t at = 0;
    QVERIFY(!def.fileOffset(0, &at));

    QVERIFY(!def.parse(definition.left(0x30), jet::Format::Jet4, nullptr, &error));
    QVERIFY2(error.contains(QLatin1String("too short")), qPrintable(error));
    QVERIFY(!def.parse(definition.left(0x300), jet::Format::Jet4, nullptr, &error));
    QVERIFY2(error.contains(QLatin1String("ends inside")), qPrintable(error));

    // Loading from pages: a data page is no definition, nor is page 0.
    QVERIFY(!def.load(db.file(), 29, &error));
    QVERIFY2(error.contains(QLatin1String("not a table definition page")), qPrintable(error));
    QVERIFY(!def.load(db.file(), 0, &error));
    QVERIFY(!def.load(db.file(), db.file().pageCount() + 5, &error));
    QVERIFY2(error.contains(QLatin1String("past the end")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestJetCatalog)
#include "tst_jetcatalog.moc"

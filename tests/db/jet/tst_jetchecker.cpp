// The checker: sound on every table of every fixture as Access and the other tools wrote
// them, and it reports each kind of damage injected into a copy.

#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "db/jet/IndexPage.h"

#include "JetDeleteSupport.h"

#include <QtTest>

using jet::IndexPage;

class TestJetChecker : public QObject
{
    Q_OBJECT

private slots:
    void fixturesAreSound_data();
    void fixturesAreSound();
    void injectedDamageIsReported_data();
    void injectedDamageIsReported();
};

namespace {

enum class Damage {
    SwapEntries,     // two neighbouring leaf entries change places
    RowCount,        // the definition counts one row too many
    BrokenLink,      // a leaf's next-page link points elsewhere
    FreeSpace,       // a leaf's free-space field is off by two
    NodeKey,         // a node entry no longer equals its child's last entry
    DanglingPointer, // a leaf entry names a row that is not live
    MissingEntry,    // a leaf loses an entry
    Loop,            // a node's tail points back to the root
    EmptyLeaf,       // a leaf without entries stays in the tree, as the root's tail
    MarkedUnused,    // the global usage map marks a leaf in use as unused
};

QByteArray pageBytes(const QByteArray &file, int pageSize, std::uint32_t page)
{
    return file.mid(qsizetype(page) * pageSize, pageSize);
}

void putPage(QByteArray &file, int pageSize, std::uint32_t page, const QByteArray &bytes)
{
    file.replace(qsizetype(page) * pageSize, pageSize, bytes);
}

} // namespace

Q_DECLARE_METATYPE(Damage)

void TestJetChecker::fixturesAreSound_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<int>("minimumTables");
    QTest::newRow("multipage-3000") << JetTest::multipage() << 1;
    for (const char *b : {"2009-12", "2010-01", "odd-types", "nested/deep"})
        QTest::newRow(b) << JetTest::sample(QString::fromLatin1(b)) << 1;
    if (!JetTest::haveSharedFixtures())
        return;
    const QDir dir(JetTest::sharedFixtures() + QStringLiteral("/access-samples"));
    for (const QString &f : dir.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(f)) << dir.filePath(f) << 1;
}

void TestJetChecker::fixturesAreSound()
{
    QFETCH(QString, database);
    QFETCH(int, minimumTables);
    jet::Database db;
    QString error;
    QVERIFY2(db.open(database, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    QVERIFY(db.userTableNames().size() >= minimumTables);
    const QStringList problems = jet::Checker::checkDatabase(db);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestJetChecker::injectedDamageIsReported_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("table");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("expected");

    const QString multipage = JetTest::multipage();
    const QString record = QStringLiteral("record");
    QTest::newRow("Jet 4: entries out of order")
        << multipage << record << Damage::SwapEntries << QStringLiteral("sorts before");
    QTest::newRow("Jet 4: wrong row count")
        << multipage << record << Damage::RowCount << QStringLiteral("counts 3001 rows, 3000 are live");
    QTest::newRow("Jet 4: broken same-level link")
        << multipage << record << Damage::BrokenLink << QStringLiteral("instead of its neighbours");
    QTest::newRow("Jet 4: wrong free space")
        << multipage << record << Damage::FreeSpace << QStringLiteral("bytes are free");
    QTest::newRow("Jet 4: node key") << multipage << record << Damage::NodeKey
                                     << QStringLiteral("differs from the last entry");
    QTest::newRow("Jet 4: entry for a deleted row")
        << multipage << record << Damage::DanglingPointer << QStringLiteral("not a live row");
    QTest::newRow("Jet 4: missing entry")
        << multipage << record << Damage::MissingEntry << QStringLiteral("has no entry");
    QTest::newRow("Jet 4: loop") << multipage << record << Damage::Loop << QStringLiteral("reached twice");
    QTest::newRow("Jet 4: empty leaf left in the tree")
        << multipage << record << Damage::EmptyLeaf << QStringLiteral("has no entries");
    QTest::newRow("Jet 4: leaf marked unused")
        << multipage << record << Damage::MarkedUnused << QStringLiteral("marks it unused");
    if (!JetTest::haveSharedFixtures())
        return;
    const QString v97 = JetTest::accessSample(QStringLiteral("compIndexTestV1997.mdb"));
    const QString t1 = QStringLiteral("Table1");
    QTest::newRow("Jet 3: entries out of order") << v97 << t1 << Damage::SwapEntries << QStringLiteral("sorts before");
    QTest::newRow("Jet 3: wrong row count")
        << v97 << t1 << Damage::RowCount << QStringLiteral("counts 513 rows, 512 are live");
    QTest::newRow("Jet 3: broken same-level link")
        << v97 << t1 << Damage::BrokenLink << QStringLiteral("instead of its neighbours");
    QTest::newRow("Jet 3: wrong free space") << v97 << t1 << Damage::FreeSpace << QStringLiteral("bytes are free");
    QTest::newRow("Jet 3: node key") << v97 << t1 << Damage::NodeKey << QStringLiteral("differs from the last entry");
    QTest::newRow("Jet 3: missing entry") << v97 << t1 << Damage::MissingEntry << QStringLiteral("has no entry");
    QTest::newRow("Jet 3: empty leaf left in the tree")
        << v97 << t1 << Damage::EmptyLeaf << QStringLiteral("has no entries");
    QTest::newRow("Jet 3: leaf marked unused")
        << v97 << t1 << Damage::MarkedUnused << QStringLiteral("marks it unused");
}

void TestJetChecker::injectedDamageIsReported()
{
    QFETCH(QString, database);
    QFETCH(QString, table);
    QFETCH(Damage, damage);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = JetDelete::copyFixture(dir, database);
    QByteArray bytes = TestFiles::read(path);
    jet::Format format;
    int ps = 0;
    std::uint32_t root = 0;
    std::uint64_t countAt = 0;
    {
        jet::Database db;
        QString error;
        QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
        const auto def = db.table(table, &error);
        QVERIFY2(def, qPrintable(error));
        QVERIFY(jet::Checker::checkTable(db.file(), *def).isEmpty()); // sound before
        format = db.file().format();
        ps = db.file().pageSize();
        // The first index whose root is a node: its first child is a leaf with a neighbour.
        for (const auto &index : def->physicalIndexes()) {
            if (bytes[qsizetype(index.rootPage) * ps] == char(IndexPage::kNode)) {
                root = index.rootPage;
                break;
            }
        }
        countAt = def->rowCountFileOffset().value();
    }
    QVERIFY(root != 0);
    QString error;
    IndexPage node;
    QVERIFY(node.decode(format, ps, reinterpret_cast<const std::uint8_t *>(pageBytes(bytes, ps, root).constData()),
                        &error));
    QVERIFY(!node.entries.empty());
    const std::uint32_t leafNo = node.entries.front().child;
    QByteArray leafBytes = pageBytes(bytes, ps, leafNo);
    IndexPage leaf;
    QVERIFY(leaf.decode(format, ps, reinterpret_cast<const std::uint8_t *>(leafBytes.constData()), &error));
    QVERIFY(leaf.entries.size() > 4);
    const auto rewriteLeaf = [&] {
        QVERIFY(leaf.encode(reinterpret_cast<std::uint8_t *>(leafBytes.data()), &error));
        putPage(bytes, ps, leafNo, leafBytes);
    };

    switch (damage) {
    case Damage::SwapEntries:
        std::swap(leaf.entries[1], leaf.entries[2]);
        rewriteLeaf();
        break;
    case Damage::RowCount:
        JetTest::putU32(bytes, int(countAt), JetTest::getU32(bytes, qint64(countAt)) + 1);
        break;
    case Damage::BrokenLink:
        leaf.next = root;
        rewriteLeaf();
        break;
    case Damage::FreeSpace:
        JetTest::putU16(leafBytes, 2, std::uint32_t(leaf.freeSpace + 2));
        putPage(bytes, ps, leafNo, leafBytes);
        break;
    case Damage::NodeKey: {
        QByteArray nodeBytes = pageBytes(bytes, ps, root);
        node.entries.front().bytes = leaf.entries[leaf.entries.size() - 2].bytes;
        QVERIFY(node.encode(reinterpret_cast<std::uint8_t *>(nodeBytes.data()), &error));
        putPage(bytes, ps, root, nodeBytes);
        break;
    }
    case Damage::DanglingPointer: {
        // Rec-style tables keep deleted slots; point an entry at a slot past the page's rows.
        QByteArray &b = leaf.entries[3].bytes;
        b[b.size() - 1] = char(0xF0);
        rewriteLeaf();
        break;
    }
    case Damage::MissingEntry:
        leaf.entries.erase(leaf.entries.begin() + 3);
        rewriteLeaf();
        break;
    case Damage::EmptyLeaf: {
        // A new page at the end of the file: a leaf without entries, linked after the last
        // leaf and hung below the root as its tail (a tail the root had becomes a normal
        // entry). No entry is lost or out of order and the links agree; only the emptied
        // page that stayed in the tree is wrong.
        const std::uint32_t emptyNo = std::uint32_t(bytes.size() / ps);
        const std::uint32_t lastNo = node.tail != 0 ? node.tail : node.entries.back().child;
        QByteArray lastBytes = pageBytes(bytes, ps, lastNo);
        IndexPage last;
        QVERIFY(last.decode(format, ps, reinterpret_cast<const std::uint8_t *>(lastBytes.constData()), &error));
        QVERIFY(last.isLeaf() && last.next == 0 && !last.entries.empty());
        IndexPage empty = last;
        empty.entries.clear();
        empty.prev = lastNo;
        QByteArray emptyBytes = lastBytes;
        QVERIFY(empty.encode(reinterpret_cast<std::uint8_t *>(emptyBytes.data()), &error));
        last.next = emptyNo;
        QVERIFY(last.encode(reinterpret_cast<std::uint8_t *>(lastBytes.data()), &error));
        putPage(bytes, ps, lastNo, lastBytes);
        bytes.append(emptyBytes);
        QByteArray nodeBytes = pageBytes(bytes, ps, root);
        if (node.tail != 0)
            node.entries.push_back(IndexPage::Entry{last.entries.back().bytes, node.tail});
        node.tail = emptyNo;
        QVERIFY(node.encode(reinterpret_cast<std::uint8_t *>(nodeBytes.data()), &error));
        putPage(bytes, ps, root, nodeBytes);
        break;
    }
    case Damage::MarkedUnused: {
        // Row 0 of page 1, an inline map in these files: 00, first page (u32), bits.
        const int slotTable = format == jet::Format::Jet3 ? 0x0A : 0x0E;
        const qsizetype row =
            ps + (std::uint8_t(bytes[ps + slotTable]) | ((std::uint8_t(bytes[ps + slotTable + 1]) & 0x1F) << 8));
        QCOMPARE(bytes[row], char(0));
        const std::uint32_t k = leafNo - JetTest::getU32(bytes, row + 1);
        bytes[row + 5 + k / 8] = char(std::uint8_t(bytes[row + 5 + k / 8]) | (1u << (k % 8)));
        break;
    }
    case Damage::Loop: {
        QByteArray nodeBytes = pageBytes(bytes, ps, root);
        node.tail = root;
        QVERIFY(node.encode(reinterpret_cast<std::uint8_t *>(nodeBytes.data()), &error));
        putPage(bytes, ps, root, nodeBytes);
        break;
    }
    }
    QVERIFY(TestFiles::write(path, bytes));

    jet::Database db;
    QVERIFY2(db.open(path, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto def = db.table(table, &error);
    QVERIFY2(def, qPrintable(error));
    const QStringList problems = jet::Checker::checkTable(db.file(), *def);
    QVERIFY2(!problems.isEmpty(), "the damage went unnoticed");
    QVERIFY2(problems.join(QLatin1Char('\n')).contains(expected), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestJetChecker)
#include "tst_jetchecker.moc"

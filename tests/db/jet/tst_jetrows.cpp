// Rows and values: lazy accessors against the general decoder, reading rows again by row
// id, long values (intact and damaged), and hand-made rows for layouts that no fixture
// has: Jet 3 rows with jump tables, compression switches inside a value, tables without
// variable columns, short rows. Also the text forms the dump writes.

#include "db/jet/Database.h"
#include "db/jet/JetDate.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowScanner.h"
#include "db/jet/RowView.h"
#include "db/jet/TableDumper.h"
#include "db/jet/TextCodec.h"
#include "db/jet/ValueFormat.h"

#include "JetTestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using jet::ColumnType;
using jet::Database;
using jet::Format;
using jet::PageFile;
using jet::RowView;
using jet::TableDef;
using jet::Value;
using JetTest::ColumnDraft;

class TestJetRows : public QObject
{
    Q_OBJECT

private slots:
    void lazyAccessorsAgreeWithValue_data();
    void lazyAccessorsAgreeWithValue();
    void rowIdsReadBackInAnyOrder();
    void fetchRefusesWhatIsNotALiveRow();
    void textAndNullDistinctions();
    void longValues();
    void damagedLongValues();

    void jet3RowsWithJumpTables_data();
    void jet3RowsWithJumpTables();
    void compressedText_data();
    void compressedText();
    void compressionSwitchInARow();
    void tablesWithoutVariableColumns_data();
    void tablesWithoutVariableColumns();
    void shortRowsAndDroppedColumns();
    void jet3CodePages();
    void malformedRows();

    void shortestDoubles_data();
    void shortestDoubles();
    void dates_data();
    void dates();
    void exactNumbers();
    void guidsBytesAndEscapes();
};

namespace {

QString fixturePath(const QString &relative)
{
    if (relative.startsWith(QLatin1String("Rec/")))
        return JetTest::sample(relative.mid(4));
    if (relative == QLatin1String("multipage-3000"))
        return JetTest::multipage();
    return JetTest::accessSample(relative);
}

QByteArray lineOf(const RowView &row)
{
    QByteArray line;
    QString error;
    if (!jet::TableDumper::rowLine(row, line, &error))
        return "ERROR " + error.toUtf8();
    return line;
}

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    JetTest::putU32(b, 0, v);
    return b;
}

QByteArray le64(std::uint64_t v)
{
    QByteArray b(8, '\0');
    for (int i = 0; i < 8; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray leDouble(double d)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, 8);
    return le64(bits);
}

// Parses into `def` the definition Jet stores for the table of `columns`, `varColumns` of
// them variable.
bool parseDraft(TableDef &def, Format format, int varColumns, const QVector<ColumnDraft> &columns,
                QString *error = nullptr)
{
    return def.parse(JetTest::makeDefinition(format, columns, varColumns), format, nullptr, error);
}

// A row view over hand-made bytes; the bytes must outlive the view.
bool attach(RowView &view, const TableDef &def, const QByteArray &row, QString *error = nullptr)
{
    return view.attach(def, reinterpret_cast<const std::uint8_t *>(row.constData()), int(row.size()), jet::RowId{7, 3},
                       nullptr, error);
}

} // namespace

void TestJetRows::lazyAccessorsAgreeWithValue_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("table");
    QTest::newRow("2009-12 record") << "Rec/2009-12"
                                    << "record";
    QTest::newRow("2010-01 record") << "Rec/2010-01"
                                    << "record";
    QTest::newRow("odd-types Record") << "Rec/odd-types"
                                      << "Record";
    if (!JetTest::haveSharedFixtures())
        return;
    QTest::newRow("testV1997 Table1") << "testV1997.mdb"
                                      << "Table1";
    QTest::newRow("test2V1997 MSP_PROJECTS") << "test2V1997.mdb"
                                             << "MSP_PROJECTS";
    QTest::newRow("overflowTestV2000 Table1") << "overflowTestV2000.mdb"
                                              << "Table1";
    QTest::newRow("fixedNumericTestV2000 test") << "fixedNumericTestV2000.mdb"
                                                << "test";
    QTest::newRow("testIndexCodesV1997 Table1") << "testIndexCodesV1997.mdb"
                                                << "Table1";
    QTest::newRow("testUnicodeCompV2003 Table") << "testUnicodeCompV2003.mdb"
                                                << "Table";
    QTest::newRow("testUnicodeCompV2003 MSysAccessStorage") << "testUnicodeCompV2003.mdb"
                                                            << "MSysAccessStorage";
    QTest::newRow("testV1997 MSysObjects") << "testV1997.mdb"
                                           << "MSysObjects";
}

void TestJetRows::lazyAccessorsAgreeWithValue()
{
    QFETCH(QString, database);
    QFETCH(QString, table);
    Database db;
    QString error;
    QVERIFY2(db.open(fixturePath(database), PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto def = db.table(table, &error);
    QVERIFY2(def, qPrintable(error));

    jet::RowScanner scan(db.file(), *def);
    int rows = 0;
    QString text;
    while (scan.next()) {
        const RowView &row = scan.row();
        ++rows;
        for (int c = 0; c < row.columnCount(); ++c) {
            const Value v = row.value(c);
            QVERIFY2(!v.isError(), qPrintable(v.errorText()));
            const QString where = QStringLiteral("%1 column %2").arg(row.rowId().toString(), def->column(c).name);
            QCOMPARE(row.isNull(c), v.isNull());

            std::int64_t i = 0;
            const bool isInt = row.integer(c, &i);
            QCOMPARE(isInt, v.kind() == Value::Kind::Integer || v.kind() == Value::Kind::Boolean);
            if (isInt)
                QCOMPARE(i, v.toInt64());

            double d = 0;
            QCOMPARE(row.dateTime(c, &d), v.kind() == Value::Kind::DateTime);
            if (v.kind() == Value::Kind::DateTime)
                QCOMPARE(d, v.dateTimeDays());

            const bool numeric = v.kind() == Value::Kind::Integer || v.kind() == Value::Kind::Boolean
                                 || v.kind() == Value::Kind::Currency || v.kind() == Value::Kind::Single
                                 || v.kind() == Value::Kind::Double || v.kind() == Value::Kind::DateTime
                                 || v.kind() == Value::Kind::Decimal;
            QVERIFY2(row.real(c, &d) == numeric, qPrintable(where));
            if (numeric)
                QCOMPARE(d, v.toDouble());

            const bool isText = row.text(c, text);
            QVERIFY2(isText == (v.kind() == Value::Kind::Text), qPrintable(where));
            if (isText)
                QCOMPARE(text, v.text());
            else
                QVERIFY(text.isEmpty());

            const std::uint8_t *raw = nullptr;
            int rawLength = -1;
            const bool hasRaw = row.rawBytes(c, &raw, &rawLength);
            QCOMPARE(hasRaw, !v.isNull() && v.kind() != Value::Kind::Boolean);
            if (v.kind() == Value::Kind::Binary && def->column(c).type() == ColumnType::Binary)
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(raw), rawLength), v.bytes());
        }
    }
    QVERIFY2(!scan.hasError(), qPrintable(scan.error()));
    QCOMPARE(std::uint32_t(rows), def->rowCount());
    QCOMPARE(scan.pagesDone(), scan.pageCount());
}

void TestJetRows::rowIdsReadBackInAnyOrder()
{
    // What the SQL layer does: collect row ids in a scan, reorder them, read them again.
    const QStringList databases{QStringLiteral("multipage-3000"), QStringLiteral("Rec/2009-12"),
                                QStringLiteral("overflowTestV2000.mdb")};
    for (const QString &name : databases) {
        if (!name.startsWith(QLatin1String("Rec/")) && name != QLatin1String("multipage-3000")
            && !JetTest::haveSharedFixtures())
            continue;
        Database db;
        QVERIFY(db.open(fixturePath(name), PageFile::OpenMode::ReadOnly));
        const auto def = db.table(db.userTableNames().value(0));
        QVERIFY(def);
        std::vector<std::pair<jet::RowId, QByteArray>> rows;
        jet::RowScanner scan(db.file(), *def);
        while (scan.next())
            rows.emplace_back(scan.rowId(), lineOf(scan.row()));
        QVERIFY(!scan.hasError());
        QCOMPARE(rows.size(), std::size_t(def->rowCount()));
        for (std::size_t i = 1; i < rows.size(); ++i)
            QVERIFY(rows[i - 1].first < rows[i].first); // page order, then slot order

        // Descending order, then a fixed shuffle.
        auto order = rows;
        std::reverse(order.begin(), order.end());
        for (std::size_t i = 0; i + 7 < order.size(); i += 5)
            std::swap(order[i], order[i + 7]);
        jet::RowFetcher fetch(db.file(), *def);
        for (const auto &[id, line] : order) {
            QVERIFY2(fetch.fetch(id), qPrintable(fetch.error()));
            QCOMPARE(fetch.row().rowId(), id);
            QCOMPARE(lineOf(fetch.row()), line);
        }
        if (name == QLatin1String("multipage-3000"))
            QCOMPARE(scan.pageCount(), std::size_t(113));
    }
}

void TestJetRows::fetchRefusesWhatIsNotALiveRow()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    const auto def = db.table(QStringLiteral("record"));
    QVERIFY(def);
    jet::RowFetcher fetch(db.file(), *def);
    // Ids 8 and 34 were deleted: their slots 29:7 and 31:12 keep the bytes but are flagged.
    for (const jet::RowId id : {jet::RowId{29, 7}, jet::RowId{31, 12}}) {
        QVERIFY(!fetch.fetch(id));
        QVERIFY2(fetch.error().contains(QLatin1String("deleted")), qPrintable(fetch.error()));
        QVERIFY(!fetch.row().isValid());
    }
    QVERIFY(!fetch.fetch({29, 200}));
    QVERIFY2(fetch.error().contains(QLatin1String("does not exist")), qPrintable(fetch.error()));
    QVERIFY(!fetch.fetch({24, 0})); // the TDEF page
    QVERIFY2(fetch.error().contains(QLatin1String("not a data page of this table")), qPrintable(fetch.error()));
    QVERIFY(!fetch.fetch({db.file().pageCount(), 0}));
    QVERIFY(fetch.fetch({29, 8}));
    std::int64_t id = 0;
    QVERIFY(fetch.row().integer(0, &id));
    QCOMPARE(id, 9);

    if (!JetTest::haveSharedFixtures())
        return;
    // overflowTestV2000: rows moved from 27:2 to 28:0 and from 27:4 to 31:0. The header
    // slot reads the moved data; the data slot itself is not a row of its own.
    Database overflow;
    QVERIFY(
        overflow.open(JetTest::accessSample(QStringLiteral("overflowTestV2000.mdb")), PageFile::OpenMode::ReadOnly));
    const auto t1 = overflow.table(QStringLiteral("Table1"));
    QVERIFY(t1);
    jet::RowFetcher moved(overflow.file(), *t1);
    QVERIFY2(moved.fetch({27, 2}), qPrintable(moved.error()));
    QString text;
    QVERIFY(moved.row().isNull(0));
    QVERIFY(moved.row().text(1, text));
    QCOMPARE(text, QStringLiteral("row3col3"));
    QVERIFY(moved.row().text(7, text));
    QCOMPARE(text, QStringLiteral("row3col9"));
    QCOMPARE(moved.row().rowId(), (jet::RowId{27, 2}));
    QVERIFY(!moved.fetch({28, 0}));
    QVERIFY(!moved.fetch({31, 0}));
    QVERIFY2(moved.fetch({27, 4}), qPrintable(moved.error()));
}

void TestJetRows::textAndNullDistinctions()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("2009-12")), PageFile::OpenMode::ReadOnly));
    const auto def = db.table(QStringLiteral("record"));
    QVERIFY(def);
    jet::RowFetcher fetch(db.file(), *def);
    QVERIFY(fetch.fetch({29, 0}));
    const RowView &row = fetch.row();
    const int context = def->columnIndex(QStringLiteral("context"));
    const int fsk = def->columnIndex(QStringLiteral("fsk"));
    // context of id 1 is an empty string (null bit set, length 0), not NULL.
    QString text = QStringLiteral("stale");
    QVERIFY(!row.isNull(context));
    QVERIFY(row.text(context, text));
    QVERIFY(text.isEmpty());
    QCOMPARE(row.value(context).kind(), Value::Kind::Text);
    QVERIFY(row.text(fsk, text));
    QCOMPARE(text, QStringLiteral("110")); // stored compressed: ff fe 31 31 30
    const std::uint8_t *raw = nullptr;
    int length = 0;
    QVERIFY(row.rawBytes(fsk, &raw, &length));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(raw), length).toHex(), QByteArray("fffe313130"));
    // Accessors of the wrong type refuse rather than convert.
    std::int64_t i = 0;
    QVERIFY(!row.integer(fsk, &i));
    double d = 0;
    QVERIFY(!row.dateTime(0, &d));
    QVERIFY(!row.text(0, text));
    QVERIFY(row.real(2, &d));
    QCOMPARE(d, 40148.0);

    // odd-types id 10 has NULL context, fsk, record_file and name.
    Database odd;
    QVERIFY(odd.open(JetTest::sample(QStringLiteral("odd-types")), PageFile::OpenMode::ReadOnly));
    const auto record = odd.table(QStringLiteral("Record"));
    QVERIFY(record);
    jet::RowScanner scan(odd.file(), *record);
    bool found = false;
    while (scan.next()) {
        std::int64_t id = 0;
        QVERIFY(scan.row().integer(0, &id));
        if (id != 10)
            continue;
        found = true;
        for (const char *name : {"context", "fsk", "record_file", "name"}) {
            const int c = record->columnIndex(QLatin1String(name));
            QVERIFY(scan.row().isNull(c));
            QVERIFY(!scan.row().text(c, text));
            QVERIFY(scan.row().value(c).isNull());
        }
        QVERIFY(!scan.row().isNull(record->columnIndex(QStringLiteral("record_dir"))));
    }
    QVERIFY(found);
}

void TestJetRows::longValues()
{
    Database db;
    QVERIFY(db.open(JetTest::sample(QStringLiteral("odd-types")), PageFile::OpenMode::ReadOnly));
    const auto def = db.table(QStringLiteral("Record"));
    QVERIFY(def);
    const int note = def->columnIndex(QStringLiteral("note"));
    QMap<std::int64_t, QString> notes;
    jet::RowScanner scan(db.file(), *def);
    while (scan.next()) {
        std::int64_t id = 0;
        QVERIFY(scan.row().integer(0, &id));
        QString text;
        QString error;
        if (scan.row().text(note, text, &error))
            notes.insert(id, text);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    // id 11: 12012 bytes of UCS-2 over the chain 31:0 -> 32:0 -> 33:0; id 12 inline.
    QCOMPARE(notes.value(11).size(), 6006);
    QCOMPARE(notes.value(12), QStringLiteral("short memo"));

    if (!JetTest::haveSharedFixtures())
        return;
    // Jet 3: MSysObjects.LvProp holds one-row values and a 5-row chain of 9818 bytes.
    Database v97;
    QVERIFY(v97.open(JetTest::accessSample(QStringLiteral("testV1997.mdb")), PageFile::OpenMode::ReadOnly));
    const auto objects = v97.table(QStringLiteral("MSysObjects"));
    QVERIFY(objects);
    const int lvProp = objects->columnIndex(QStringLiteral("LvProp"));
    QCOMPARE(objects->column(lvProp).type(), ColumnType::Ole);
    jet::RowScanner objectScan(v97.file(), *objects);
    int longest = 0;
    int values = 0;
    while (objectScan.next()) {
        const Value v = objectScan.row().value(lvProp);
        QVERIFY2(!v.isError(), qPrintable(v.errorText()));
        if (!v.isNull()) {
            ++values;
            longest = std::max(longest, int(v.bytes().size()));
        }
    }
    QVERIFY(values > 1);
    QCOMPARE(longest, 9818);
}

void TestJetRows::damagedLongValues()
{
    // odd-types id 11: the memo chain 31:0 -> 32:0 -> 33:0. Break it in copies.
    const QByteArray original = TestFiles::read(JetTest::sample(QStringLiteral("odd-types")));
    const qint64 ps = 4096;
    // Row 0 of an LVAL page starts at its slot table entry; its first 4 bytes link on.
    const auto slot0 = [&](const QByteArray &file, int page) {
        return page * ps + (std::uint8_t(file[page * ps + 0x0E]) | (std::uint8_t(file[page * ps + 0x0F]) << 8));
    };
    QCOMPARE(JetTest::getU32(original, slot0(original, 31)), std::uint32_t(32 << 8));

    struct Case
    {
        const char *name;
        std::uint32_t link; // new link of row 32:0
        const char *message;
    };
    const Case cases[] = {
        {"loop", 31u << 8, "loops"},
        {"ends early", 0, "ends after"},
        {"missing page", 0x7FFFFu << 8, "past the end"},
        {"not an LVAL page", 24u << 8, "not on a long-value page"},
        {"missing slot", (33u << 8) | 9, "does not exist"},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        QByteArray copy = original;
        JetTest::putU32(copy, int(slot0(copy, 32)), c.link);
        const QString path = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mdb"));
        QVERIFY(TestFiles::write(path, copy));

        Database db;
        QVERIFY(db.open(path, PageFile::OpenMode::ReadOnly));
        const auto def = db.table(QStringLiteral("Record"));
        QVERIFY(def);
        const int note = def->columnIndex(QStringLiteral("note"));
        jet::RowScanner scan(db.file(), *def);
        int damaged = 0;
        while (scan.next()) {
            const Value v = scan.row().value(note);
            QString text;
            QString error;
            const bool ok = scan.row().text(note, text, &error);
            if (v.isError()) {
                ++damaged;
                QVERIFY2(v.errorText().contains(QLatin1String(c.message)), qPrintable(v.errorText()));
                QVERIFY(!ok);
                QCOMPARE(error, v.errorText());
                // The rest of the row still reads.
                std::int64_t id = 0;
                QVERIFY(scan.row().integer(0, &id));
                QCOMPARE(id, 11);
            }
        }
        QVERIFY(!scan.hasError());
        QCOMPARE(damaged, 1);

        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString error;
        QVERIFY(!jet::TableDumper::dump(db.file(), *def, out, &error));
        QVERIFY2(error.contains(QLatin1String("column note")), qPrintable(error));
    }
}

// ---- Hand-made rows --------------------------------------------------------------------

void TestJetRows::jet3RowsWithJumpTables_data()
{
    // Lengths of the text values; the jump bytes the finished row carries; whether the
    // last of them is the unused placeholder.
    QTest::addColumn<QVector<int>>("lengths");
    QTest::addColumn<int>("jumps");
    QTest::addColumn<bool>("dummy");
    QTest::addColumn<int>("dummyByte");
    QTest::newRow("no jump") << QVector<int>{10, 20, 30} << 0 << false << 0xFF;
    QTest::newRow("one real jump") << QVector<int>{200, 150, 100} << 1 << false << 0xFF;
    QTest::newRow("dummy jump only") << QVector<int>{120, 128} << 1 << true << 0xFF;
    QTest::newRow("offset exactly 256") << QVector<int>{251, 5, 7} << 1 << false << 0xFF;
    QTest::newRow("two real jumps and a dummy") << QVector<int>{250, 250, 250, 10} << 3 << true << 0xFF;
    QTest::newRow("several columns in one step") << QVector<int>{100, 1, 1, 1, 300, 0, 2, 200, 0} << 2 << false << 0xFF;
    QTest::newRow("long and empty values") << QVector<int>{255, 0, 255, 0, 255, 0, 255} << 4 << false << 0xFF;
    QTest::newRow("two jumps to one entry") << QVector<int>{0, 0, 600} << 2 << false << 0xFF;
    // The placeholder must be ignored even when it does not hold 0xFF.
    QTest::newRow("dummy holding 0") << QVector<int>{120, 128} << 1 << true << 0x00;
    QTest::newRow("dummy holding 1 after real jumps") << QVector<int>{250, 250, 250, 10} << 3 << true << 0x01;
}

void TestJetRows::jet3RowsWithJumpTables()
{
    QFETCH(QVector<int>, lengths);
    QFETCH(int, jumps);
    QFETCH(bool, dummy);
    QFETCH(int, dummyByte);
    // Table: one fixed Long (number 0), then Text columns numbered 1.. with variable
    // indexes 0.., and a Boolean after them.
    QVector<ColumnDraft> columns;
    columns << ColumnDraft{0x04, 0, 0, 0x01, 0, 4, QStringLiteral("id")};
    for (int i = 0; i < lengths.size(); ++i)
        columns << ColumnDraft{0x0A, std::uint16_t(i + 1),        std::uint16_t(i), 0x00, 0,
                               255,  QStringLiteral("t%1").arg(i)};
    const int boolNumber = int(lengths.size()) + 1;
    columns << ColumnDraft{0x01, std::uint16_t(boolNumber), 0, 0x01, 0, 1, QStringLiteral("flag")};
    TableDef def;
    QString error;
    QVERIFY2(parseDraft(def, Format::Jet3, int(lengths.size()), columns, &error), qPrintable(error));
    QCOMPARE(def.columnCount(), int(columns.size()));

    QVector<QByteArray> values;
    QVector<bool> mask(boolNumber + 1, true);
    for (int i = 0; i < lengths.size(); ++i) {
        QByteArray v;
        for (int k = 0; k < lengths[i]; ++k)
            v.append(char('a' + (i * 7 + k) % 26));
        values << v;
    }
    const QByteArray row =
        JetTest::makeRow(Format::Jet3, boolNumber + 1, le32(424242), values, mask, true, std::uint8_t(dummyByte));
    // The row really has the jump table this case is about (jump[J-1] sits lowest).
    const int maskBytes = (boolNumber + 1 + 7) / 8;
    QCOMPARE((int(row.size()) - 1) / 256, jumps);
    if (jumps > 0)
        QCOMPARE(std::uint8_t(row[row.size() - maskBytes - 2 - (jumps - 1)]) == dummyByte, dummy);
    RowView view;
    QVERIFY2(attach(view, def, row, &error), qPrintable(error));
    QCOMPARE(view.variableCount(), int(lengths.size()));
    std::int64_t id = 0;
    QVERIFY(view.integer(0, &id));
    QCOMPARE(id, 424242);
    QString text;
    for (int i = 0; i < lengths.size(); ++i) {
        QVERIFY2(view.text(i + 1, text, &error), qPrintable(error));
        QCOMPARE(text, QString::fromLatin1(values[i]));
    }
    QVERIFY(view.value(def.columnCount() - 1).toBool());
}

void TestJetRows::compressedText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("compressed ascii") << bytes({0xFF, 0xFE, 'o', 'n', 'l', 'y'}) << QStringLiteral("only");
    QTest::newRow("compressed latin-1") << bytes({0xFF, 0xFE, 0xE4, 0xE4, 0x6B, 0x6B, 0xF6, 0x73, 0x69, 0xE4})
                                        << QStringLiteral("ääkkösiä");
    QTest::newRow("plain UCS-2") << bytes({0x1C, 0x04, 0x38, 0x04, 0x40, 0x04}) << QStringLiteral("Мир");
    QTest::newRow("switch and back") << bytes({0xFF, 0xFE, 0x41, 0x00, 0x2C, 0x67, 0x00, 0x42})
                                     << QStringLiteral("A\u672CB");
    QTest::newRow("ends uncompressed") << bytes({0xFF, 0xFE, 'x', 0x00, 0x22, 0x6F, 0x57, 0x5B})
                                       << QStringLiteral("x\u6F22\u5B57");
    QTest::newRow("starts with a switch")
        << bytes({0xFF, 0xFE, 0x00, 0xB1, 0x03, 0x00, 'z'}) << QStringLiteral("\u03B1z");
    QTest::newRow("several switches") << bytes({0xFF, 0xFE, 'a', 0x00, 0x3A, 0x04, 0x00, 'b', 0x00, 0xAC, 0x20})
                                      << QStringLiteral("a\u043Ab\u20AC");
    QTest::newRow("odd byte of an uncompressed part dropped")
        << bytes({0xFF, 0xFE, 'a', 0x00, 0x3A, 0x04, 0x99, 0x00, 'c'}) << QStringLiteral("a\u043Ac");
    QTest::newRow("prefix only") << bytes({0xFF, 0xFE}) << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("odd plain length") << bytes({0x41, 0x00, 0x42}) << QStringLiteral("A");
    QTest::newRow("FE FF is not a prefix") << bytes({0xFE, 0xFF, 0x41, 0x00}) << QStringLiteral("\uFFFEA");
}

void TestJetRows::compressedText()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);
    const auto *p = reinterpret_cast<const std::uint8_t *>(stored.constData());
    QCOMPARE(jet::TextCodec::decodeJet4(p, int(stored.size())), text);
    // Decoding into a used buffer gives the same.
    QString reused = QStringLiteral("something much longer than any of the values");
    jet::TextCodec::decodeJet4(p, int(stored.size()), reused);
    QCOMPARE(reused, text);
}

void TestJetRows::compressionSwitchInARow()
{
    // A Jet 4 table with a Text and a Memo column holding values with mode switches; the
    // memo is inline, so no file is needed.
    TableDef def;
    QVERIFY(parseDraft(def, Format::Jet4, 2,
                       {{0x04, 0, 0, 0x01, 0, 4, QStringLiteral("id")},
                        {0x0A, 1, 0, 0x00, 0, 510, QStringLiteral("text")},
                        {0x0C, 2, 1, 0x00, 0, 0, QStringLiteral("memo")}}));
    const QByteArray text = bytes({0xFF, 0xFE, 0x41, 0x00, 0x2C, 0x67, 0x00, 0x42});
    const QByteArray memoData = bytes({0xFF, 0xFE, 'm', 'e', 'm', 'o', ' ', 0x00, 0x2C, 0x67, 0x00, '!'});
    QByteArray memo = le32(0x80000000u | std::uint32_t(memoData.size())) + le32(0) + le32(0) + memoData;
    const QByteArray row = JetTest::makeRow(Format::Jet4, 3, le32(7), {text, memo}, {true, true, true});
    RowView view;
    QString error;
    QVERIFY2(attach(view, def, row, &error), qPrintable(error));
    QString out;
    QVERIFY(view.text(1, out));
    QCOMPARE(out, QStringLiteral("A\u672CB"));
    QVERIFY2(view.text(2, out, &error), qPrintable(error));
    QCOMPARE(out, QStringLiteral("memo \u672C!"));
    QCOMPARE(view.value(2).text(), QStringLiteral("memo \u672C!"));

    // A memo stored on long-value pages cannot be read without the file.
    QByteArray outside = le32(0x40000000u | 20u) + le32((40u << 8) | 1u) + le32(0);
    const QByteArray row2 = JetTest::makeRow(Format::Jet4, 3, le32(8), {text, outside}, {true, true, true});
    QVERIFY(attach(view, def, row2));
    QVERIFY(!view.text(2, out, &error));
    QVERIFY2(error.contains(QLatin1String("no database file")), qPrintable(error));
    QVERIFY(view.value(2).isError());
}

void TestJetRows::tablesWithoutVariableColumns_data()
{
    QTest::addColumn<bool>("jet3");
    QTest::newRow("Jet 4") << false;
    QTest::newRow("Jet 3") << true;
}

void TestJetRows::tablesWithoutVariableColumns()
{
    QFETCH(bool, jet3);
    const Format format = jet3 ? Format::Jet3 : Format::Jet4;
    // Long, Double, Date/Time, Boolean, Currency, Byte: rows end with the null mask only.
    const QVector<ColumnDraft> columns{
        {0x04, 0, 0, 0x01, 0, 4, QStringLiteral("id")},     {0x07, 1, 0, 0x01, 4, 8, QStringLiteral("amount")},
        {0x08, 2, 0, 0x01, 12, 8, QStringLiteral("when")},  {0x01, 3, 0, 0x01, 0, 1, QStringLiteral("done")},
        {0x05, 4, 0, 0x01, 20, 8, QStringLiteral("price")}, {0x02, 5, 0, 0x01, 28, 1, QStringLiteral("level")},
    };
    TableDef def;
    QString error;
    QVERIFY2(parseDraft(def, format, 0, columns, &error), qPrintable(error));
    QCOMPARE(def.variableColumnCount(), 0);

    const QByteArray fixed =
        le32(std::uint32_t(-17)) + leDouble(-2.5) + leDouble(40148.75) + le64(std::uint64_t(-123456)) + bytes({250});
    const QByteArray row = JetTest::makeRow(format, 6, fixed, {}, {true, true, true, true, true, true}, false);
    QCOMPARE(row.size(), (jet3 ? 1 : 2) + 29 + 1);
    RowView view;
    QVERIFY2(attach(view, def, row, &error), qPrintable(error));
    QCOMPARE(view.variableCount(), 0);
    QCOMPARE(view.value(0).toInt64(), -17);
    QCOMPARE(view.value(1).toDouble(), -2.5);
    double when = 0;
    QVERIFY(view.dateTime(2, &when));
    QCOMPARE(jet::JetDate::toString(when), QStringLiteral("2009-12-01 18:00:00"));
    QVERIFY(view.value(3).toBool());
    QCOMPARE(view.value(4).currencyUnits(), -123456);
    QCOMPARE(jet::ValueFormat::currency(view.value(4).currencyUnits()), QByteArray("-12.3456"));
    std::int64_t level = 0;
    QVERIFY(view.integer(5, &level));
    QCOMPARE(level, 250); // Byte is unsigned

    // NULL Double and false Boolean: the fixed bytes stay, the mask bits clear.
    const QByteArray row2 = JetTest::makeRow(format, 6, fixed, {}, {true, false, true, false, true, true}, false);
    QVERIFY(attach(view, def, row2));
    QVERIFY(view.isNull(1));
    QVERIFY(view.value(1).isNull());
    double d = 0;
    QVERIFY(!view.real(1, &d));
    QVERIFY(!view.isNull(3));
    QVERIFY(!view.value(3).toBool());
    QCOMPARE(view.value(4).currencyUnits(), -123456);
}

void TestJetRows::shortRowsAndDroppedColumns()
{
    // Jet 4 table whose column 1 was dropped (numbers 0, 2, 3, 4; a 4-byte hole in the
    // fixed area) and whose columns 3 and 4 were added after the first row was written.
    TableDef def;
    QVERIFY(parseDraft(def, Format::Jet4, 3,
                       {{0x04, 0, 0, 0x01, 0, 4, QStringLiteral("id")},
                        {0x0A, 2, 1, 0x00, 0, 100, QStringLiteral("name")},
                        {0x03, 3, 0, 0x01, 8, 2, QStringLiteral("added")},
                        {0x0A, 4, 2, 0x00, 0, 100, QStringLiteral("note")}}));
    QCOMPARE(def.maxColumns(), 5);

    // Old row: three columns stored (0-2), two variable slots (index 0 was the dropped one).
    const QByteArray oldRow =
        JetTest::makeRow(Format::Jet4, 3, le32(5) + le32(0xDEADBEEF),
                         {bytes({'x', 0}), bytes({0xFF, 0xFE, 'o', 'l', 'd'})}, {true, true, true});
    RowView view;
    QString error;
    QVERIFY2(attach(view, def, oldRow, &error), qPrintable(error));
    QCOMPARE(view.storedColumnCount(), 3);
    QString text;
    QVERIFY(view.text(1, text));
    QCOMPARE(text, QStringLiteral("old"));
    QVERIFY(view.isNull(2)); // number 3 >= stored count
    QVERIFY(view.isNull(3));
    QVERIFY(view.value(2).isNull());
    QVERIFY(!view.text(3, text));

    // New row with all columns; note's variable index 2 lies beyond a short offset table.
    const QByteArray newRow =
        JetTest::makeRow(Format::Jet4, 5, le32(6) + le32(0) + bytes({0x39, 0x30}),
                         {QByteArray(), bytes({0xFF, 0xFE, 'n', 'e', 'w'})}, {true, false, true, true, true});
    QVERIFY(attach(view, def, newRow));
    QCOMPARE(view.value(2).toInt64(), 12345);
    QVERIFY(view.text(1, text));
    QCOMPARE(text, QStringLiteral("new"));
    QVERIFY(view.isNull(3));
    QVERIFY(view.value(3).isNull());
}

void TestJetRows::jet3CodePages()
{
    const jet::TextCodec *cp1252 = jet::TextCodec::forCodePage(1252);
    QVERIFY(cp1252->isSingleByte());
    // The five bytes CP1252 leaves undefined become U+FFFD; the rest map as usual.
    const QByteArray holes = bytes({0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xE9, 'A', 0x9F});
    QCOMPARE(cp1252->decode(reinterpret_cast<const std::uint8_t *>(holes.constData()), int(holes.size())),
             QStringLiteral("\u20AC\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\u00E9A\u0178"));
    QCOMPARE(jet::TextCodec::forCodePage(0), cp1252);
    QCOMPARE(jet::TextCodec::forCodePage(54321), cp1252); // unknown: read as 1252

    // Cyrillic single-byte and Shift-JIS double-byte pages.
    const QByteArray cyrillic = bytes({0xCC, 0xE8, 0xF0});
    QCOMPARE(jet::TextCodec::forCodePage(1251)->decode(reinterpret_cast<const std::uint8_t *>(cyrillic.constData()), 3),
             QStringLiteral("Мир"));
    const jet::TextCodec *sjis = jet::TextCodec::forCodePage(932);
    QVERIFY(!sjis->isSingleByte());
    const QByteArray nihon = bytes({0x93, 0xFA, 0x96, 0x7B, 'x', 0x93});
    QCOMPARE(sjis->decode(reinterpret_cast<const std::uint8_t *>(nihon.constData()), 5), QStringLiteral("日本x"));
    // A lead byte cut off at the end of the value.
    QCOMPARE(sjis->decode(reinterpret_cast<const std::uint8_t *>(nihon.constData()), 6), QStringLiteral("日本x\uFFFD"));

    // A Jet 3 column reads through its own code page; the override wins over it.
    QVector<ColumnDraft> columns{{0x0A, 0, 0, 0x00, 0, 50, QStringLiteral("name")}};
    QByteArray definition = JetTest::makeDefinition(Format::Jet3, columns, 1);
    JetTest::putU16(definition, 0x2B + 0x0B, 1251);
    TableDef def;
    QVERIFY(def.parse(definition, Format::Jet3, nullptr));
    const QByteArray row = JetTest::makeRow(Format::Jet3, 1, QByteArray(), {cyrillic}, {true});
    RowView view;
    QVERIFY(attach(view, def, row));
    QString text;
    QVERIFY(view.text(0, text));
    QCOMPARE(text, QStringLiteral("Мир"));

    if (!JetTest::haveSharedFixtures())
        return;
    PageFile file;
    QVERIFY(file.open(JetTest::accessSample(QStringLiteral("testV1997.mdb")), PageFile::OpenMode::ReadOnly));
    file.setCodePageOverride(1253);
    QVERIFY(def.parse(definition, Format::Jet3, &file));
    QVERIFY(attach(view, def, row));
    QVERIFY(view.text(0, text));
    QCOMPARE(text, QStringLiteral("Μθπ")); // the same bytes in Greek
}

void TestJetRows::malformedRows()
{
    const QVector<ColumnDraft> columns{
        {0x04, 0, 0, 0x01, 0, 4, QStringLiteral("id")},
        {0x0A, 1, 0, 0x00, 0, 100, QStringLiteral("name")},
        {0x08, 2, 0, 0x01, 4, 8, QStringLiteral("when")},
    };
    TableDef def;
    QVERIFY(parseDraft(def, Format::Jet4, 1, columns));
    RowView view;
    QString error;
    QVERIFY(!attach(view, def, QByteArray(), &error));
    QVERIFY(!view.isValid());
    QVERIFY(!attach(view, def, bytes({0x03}), &error));
    // 0xFFFF columns: the null mask alone would need 8192 bytes.
    QVERIFY(!attach(view, def, bytes({0xFF, 0xFF, 1, 2, 3, 4, 5, 6}), &error));
    QVERIFY2(error.contains(QLatin1String("null mask")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("row 7:3")), qPrintable(error));

    const QByteArray good =
        JetTest::makeRow(Format::Jet4, 3, le32(1) + leDouble(1.0), {bytes({'a', 0})}, {true, true, true});
    QVERIFY(attach(view, def, good));
    // A variable count larger than the row.
    QByteArray badCount = good;
    JetTest::putU16(badCount, int(badCount.size()) - 1 - 2, 0x4000);
    QVERIFY(!attach(view, def, badCount, &error));
    QVERIFY2(error.contains(QLatin1String("offset table")), qPrintable(error));
    // An offset pointing past the variable data: that value is damaged, the row is not.
    QByteArray badOffset = good;
    JetTest::putU16(badOffset, int(badOffset.size()) - 1 - 2 - 2, 0x0FFF);
    QVERIFY(attach(view, def, badOffset));
    QVERIFY(view.value(1).isError());
    QString text;
    QVERIFY(!view.text(1, text, &error));
    QVERIFY2(error.contains(QLatin1String("outside the row")), qPrintable(error));
    QCOMPARE(view.value(0).toInt64(), 1);
    QByteArray line;
    error.clear();
    QVERIFY(!jet::TableDumper::rowLine(view, line, &error));
    QVERIFY2(error.contains(QLatin1String("column name")), qPrintable(error));
    // Positions out of range, and a view that was never attached, answer NULL.
    QVERIFY(view.isNull(3) && view.isNull(-1));
    QVERIFY(view.value(99).isNull());
    const RowView detached;
    QVERIFY(!detached.isValid());
    QCOMPARE(detached.columnCount(), 0);
    QVERIFY(detached.isNull(0));
    QVERIFY(!detached.text(0, text));
    std::int64_t i = 0;
    QVERIFY(!detached.integer(0, &i));
    // A fixed offset past the row.
    QVector<ColumnDraft> shifted = columns;
    shifted[2].fixedOffset = 900;
    TableDef def2;
    QVERIFY(parseDraft(def2, Format::Jet4, 1, shifted));
    QVERIFY(attach(view, def2, good));
    QVERIFY(view.value(2).isError());
    double d = 0;
    QVERIFY(!view.dateTime(2, &d));
}

// ---- Text forms ------------------------------------------------------------------------

void TestJetRows::shortestDoubles_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("2.0") << 2.0 << QByteArray("2.0");
    QTest::newRow("444.555") << 444.555 << QByteArray("444.555");
    QTest::newRow("0.1") << 0.1 << QByteArray("0.1");
    QTest::newRow("single 0.1 widened") << double(0.1f) << QByteArray("0.10000000149011612");
    QTest::newRow("1e-4") << 0.0001 << QByteArray("0.0001");
    QTest::newRow("0.00012") << 0.00012 << QByteArray("0.00012");
    QTest::newRow("1e-5") << 1e-5 << QByteArray("1e-05");
    QTest::newRow("1.5e-5") << 1.5e-5 << QByteArray("1.5e-05");
    QTest::newRow("100") << 100.0 << QByteArray("100.0");
    QTest::newRow("below 1e16") << 1234567890123456.0 << QByteArray("1234567890123456.0");
    QTest::newRow("1e16") << 1e16 << QByteArray("1e+16");
    QTest::newRow("1.2345678901234568e+16") << 12345678901234567.0 << QByteArray("1.2345678901234568e+16");
    QTest::newRow("1e22") << 1e22 << QByteArray("1e+22");
    QTest::newRow("-123.25") << -123.25 << QByteArray("-123.25");
    QTest::newRow("-1e-7") << -1e-7 << QByteArray("-1e-07");
    QTest::newRow("date") << 40633.99998842592 << QByteArray("40633.99998842592");
    QTest::newRow("smallest") << 5e-324 << QByteArray("5e-324");
    QTest::newRow("largest") << std::numeric_limits<double>::max() << QByteArray("1.7976931348623157e+308");
    QTest::newRow("1e100") << 1e100 << QByteArray("1e+100");
    QTest::newRow("zero") << 0.0 << QByteArray("0.0");
    QTest::newRow("negative zero") << -0.0 << QByteArray("-0.0");
    QTest::newRow("nan") << std::nan("") << QByteArray("nan");
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << QByteArray("inf");
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << QByteArray("-inf");
}

void TestJetRows::shortestDoubles()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(jet::ValueFormat::shortestDouble(value), text);
}

void TestJetRows::dates_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("text");
    QTest::newRow("month start") << 40148.0 << QStringLiteral("2009-12-01 00:00:00");
    QTest::newRow("last second of March") << 40633.99998842592 << QStringLiteral("2011-03-31 23:59:59");
    QTest::newRow("epoch") << 0.0 << QStringLiteral("1899-12-30 00:00:00");
    QTest::newRow("-1.25") << -1.25 << QStringLiteral("1899-12-29 06:00:00");
    QTest::newRow("-1.1") << -1.1 << QStringLiteral("1899-12-29 02:24:00");
    QTest::newRow("-94.430034722") << -94.430034722 << QStringLiteral("1899-09-27 10:19:15");
    QTest::newRow("-0.5") << -0.5 << QStringLiteral("1899-12-30 12:00:00");
    QTest::newRow("30 seconds") << 0.000347222 << QStringLiteral("1899-12-30 00:00:30");
    // 64174.49999994 seconds: one rounding step gives :34, milliseconds first would give :35.
    QTest::newRow("one-step rounding") << 64174.49999994 / 86400.0 << QStringLiteral("1899-12-30 17:49:34");
    QTest::newRow("half a second rounds up") << (3600.5 / 86400.0) << QStringLiteral("1899-12-30 01:00:01");
    QTest::newRow("rounds into the next day") << 40147.999999999 << QStringLiteral("2009-12-01 00:00:00");
    QTest::newRow("year 100") << -657434.0 << QStringLiteral("0100-01-01 00:00:00");
    QTest::newRow("year 9999") << 2958465.999988426 << QStringLiteral("9999-12-31 23:59:59");
}

void TestJetRows::dates()
{
    QFETCH(double, days);
    QFETCH(QString, text);
    QCOMPARE(jet::JetDate::toString(days), text);
    QCOMPARE(jet::ValueFormat::dateTime(days), text.toLatin1() + '|' + jet::ValueFormat::shortestDouble(days));

    // Back from the calendar: the same second.
    QDate date;
    QTime time;
    QVERIFY(jet::JetDate::toDateTime(days, &date, &time));
    const double again = jet::JetDate::fromDateTime(date, time);
    QCOMPARE(jet::JetDate::toString(again), text);
}

void TestJetRows::exactNumbers()
{
    QCOMPARE(jet::ValueFormat::currency(35000), QByteArray("3.5000"));
    QCOMPARE(jet::ValueFormat::currency(0), QByteArray("0.0000"));
    QCOMPARE(jet::ValueFormat::currency(-5), QByteArray("-0.0005"));
    QCOMPARE(jet::ValueFormat::currency(123456789), QByteArray("12345.6789"));
    QCOMPARE(jet::ValueFormat::currency(std::numeric_limits<std::int64_t>::min()), QByteArray("-922337203685477.5808"));
    QCOMPARE(jet::ValueFormat::currency(std::numeric_limits<std::int64_t>::max()), QByteArray("922337203685477.5807"));

    Value::DecimalParts d;
    d.negative = true;
    d.low = 1;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("-1"));
    d = {};
    d.low = 12345;
    d.scale = 2;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("123.45"));
    d.low = 5;
    d.scale = 3;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("0.005"));
    d.low = 0;
    d.negative = true;
    d.scale = 2;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("0.00"));
    d = {};
    d.high = 1;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("18446744073709551616"));
    d.high = ~0ull;
    d.low = ~0ull;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("340282366920938463463374607431768211455"));
    d.scale = 28;
    QCOMPARE(jet::ValueFormat::decimal(d), QByteArray("34028236692.0938463463374607431768211455"));
    QCOMPARE(Value::decimal(d).toDouble(), 34028236692.093846);

    QCOMPARE(Value::currency(35000).toDouble(), 3.5);
    QCOMPARE(Value::currency(-35000).toInt64(), -3);
}

void TestJetRows::guidsBytesAndEscapes()
{
    const QByteArray guid =
        bytes({0x6a, 0x27, 0x39, 0x8e, 0xa8, 0xbc, 0xc4, 0x4a, 0x89, 0x1e, 0x49, 0x91, 0x1d, 0x84, 0x38, 0xdd});
    QCOMPARE(jet::ValueFormat::guid(reinterpret_cast<const std::uint8_t *>(guid.constData())),
             QByteArray("{8E39276A-BCA8-4AC4-891E-49911D8438DD}"));
    QCOMPARE(jet::ValueFormat::hex(bytes({0x00, 0xAB, 0x7F})), QByteArray("0x00ab7f"));
    QCOMPARE(jet::ValueFormat::hex(QByteArray()), QByteArray("0x"));

    QCOMPARE(jet::ValueFormat::escapedText(QStringLiteral("a\\b\tc\nd\re")), QByteArray("a\\\\b\\tc\\nd\\re"));
    QCOMPARE(jet::ValueFormat::escapedText(QStringLiteral("\\N")), QByteArray("\\\\N"));
    QCOMPARE(
        jet::ValueFormat::escapedText(QString(QChar(0x01)) + QChar(0x1F) + QChar(0x7F) + QChar(0x85) + QChar(0x9F)),
        QByteArray("\\u0001\\u001F\\u007F\\u0085\\u009F"));
    QCOMPARE(jet::ValueFormat::escapedText(QString(QChar(0x2028)) + QChar(0x2029) + QChar(0xA0)),
             QByteArray("\\u2028\\u2029\xC2\xA0"));
    // A surrogate pair passes as UTF-8; lone halves are escaped.
    QCOMPARE(jet::ValueFormat::escapedText(QStringLiteral("\U0001F600")), QByteArray("\xF0\x9F\x98\x80"));
    QCOMPARE(jet::ValueFormat::escapedText(QString(QChar(0xD800)) + QLatin1Char('x') + QChar(0xDC00)),
             QByteArray("\\uD800x\\uDC00"));
    QCOMPARE(jet::ValueFormat::escapedText(QStringLiteral("李明")), QStringLiteral("李明").toUtf8());
}

QTEST_GUILESS_MAIN(TestJetRows)
#include "tst_jetrows.moc"

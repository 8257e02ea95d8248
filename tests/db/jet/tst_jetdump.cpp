// Every reference dump must be reproduced byte for byte by TableDumper, and every table's
// live rows must match the row count its definition keeps.

#include "db/jet/Database.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDumper.h"

#include "JetTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

class TestJetDump : public QObject
{
    Q_OBJECT

private slots:
    void sharedReferenceDumps_data();
    void sharedReferenceDumps();
    void projectReferenceDumps_data();
    void projectReferenceDumps();

private:
    void addRows(const QString &expectedDir, bool projectCopies);
    void compareDump();
};

namespace {

// "backups__Rec__2009-12__dbR.mdb__record.tsv" -> ("backups/Rec/2009-12/dbR.mdb", "record")
void splitDumpName(const QString &fileName, QString *dbPath, QString *table)
{
    QString base = fileName;
    base.chop(4); // .tsv
    const int cut = int(base.lastIndexOf(QLatin1String("__")));
    *table = base.mid(cut + 2);
    *dbPath = base.left(cut).replace(QLatin1String("__"), QLatin1String("/"));
}

} // namespace

void TestJetDump::addRows(const QString &expectedDir, bool projectCopies)
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("expected");
    const QStringList files = QDir(expectedDir).entryList({QStringLiteral("*.tsv")}, QDir::Files, QDir::Name);
    QVERIFY2(!files.isEmpty(), qPrintable(expectedDir));
    for (const QString &f : files) {
        QString dbPath;
        QString table;
        splitDumpName(f, &dbPath, &table);
        QString database;
        if (!projectCopies) {
            database = JetTest::sharedFixtures() + QLatin1Char('/') + dbPath;
        } else if (dbPath.startsWith(QLatin1String("backups/Rec/"))) {
            database = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + dbPath.mid(12);
        } else if (dbPath.startsWith(QLatin1String("backups/multipage-3000/"))) {
            database = QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000/") + dbPath.mid(23);
        } else {
            QFAIL(qPrintable(QStringLiteral("no database for %1").arg(f)));
        }
        QTest::newRow(qPrintable(f)) << database << table << (expectedDir + QLatin1Char('/') + f);
    }
}

void TestJetDump::compareDump()
{
    QFETCH(QString, database);
    QFETCH(QString, table);
    QFETCH(QString, expected);

    jet::Database db;
    QString error;
    QVERIFY2(db.open(database, jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto def = db.table(table, &error);
    QVERIFY2(def, qPrintable(error));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY2(jet::TableDumper::dump(db.file(), *def, buffer, &error), qPrintable(error));
    const QByteArray actual = buffer.data();
    const QByteArray reference = TestFiles::read(expected);
    QVERIFY(!reference.isEmpty());
    if (actual != reference) {
        // Show the first line that differs rather than two whole files.
        const QList<QByteArray> a = actual.split('\n');
        const QList<QByteArray> e = reference.split('\n');
        for (int i = 0; i < std::min(a.size(), e.size()); ++i)
            QCOMPARE(QString::fromUtf8(a[i]), QString::fromUtf8(e[i]));
        QCOMPARE(a.size(), e.size());
    }

    // The definition's row count equals the live rows in every fixture.
    jet::RowScanner scan(db.file(), *def);
    std::uint32_t rows = 0;
    while (scan.next())
        ++rows;
    QVERIFY2(!scan.hasError(), qPrintable(scan.error()));
    QCOMPARE(rows, def->rowCount());
    QCOMPARE(qsizetype(rows), reference.count('\n') - 1);
}

void TestJetDump::sharedReferenceDumps_data()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    addRows(JetTest::sharedFixtures() + QStringLiteral("/expected"), false);
}

void TestJetDump::sharedReferenceDumps()
{
    compareDump();
}

void TestJetDump::projectReferenceDumps_data()
{
    addRows(QStringLiteral(ORVIK_TEST_DATA_DIR "/expected"), true);
}

void TestJetDump::projectReferenceDumps()
{
    compareDump();
}

QTEST_GUILESS_MAIN(TestJetDump)
#include "tst_jetdump.moc"

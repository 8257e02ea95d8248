// Replays the inputs the fuzzers kept (tests/fuzz/regressions) through the same calls the
// fuzz targets make, built with the regular compiler: every damaged file and statement must
// be read to an end, a verdict either way. A file is read the same way twice with the same
// outcome, refuses a DELETE on its read-only connection and is never written; statements
// run on a read-only copy of a sample backup, which stays byte for byte as it was.

#include "fuzz/FuzzTargets.h"

#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void inputsArePresent();
    void jetFiles_data();
    void jetFiles();
    void statements_data();
    void statements();

private:
    static QDir fuzzDir() { return QDir(QStringLiteral(ORVIK_TEST_DATA_DIR "/../fuzz")); }
    static QStringList filesIn(const QString &folder);

    QTemporaryDir m_dir;
    QString m_sampleCopy;
    QByteArray m_sampleBytes;
    JetConnection m_connection;
};

QStringList TestFuzzRegressions::filesIn(const QString &folder)
{
    QStringList paths;
    const QDir dir(fuzzDir().filePath(folder));
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

void TestFuzzRegressions::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile sample(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12/dbR.mdb"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    m_sampleBytes = sample.readAll();
    m_sampleCopy = m_dir.filePath(QStringLiteral("statements.mdb"));
    QVERIFY(TestFiles::overwrite(m_sampleCopy, m_sampleBytes));
    sql::SqlError error;
    QVERIFY2(m_connection.open(m_sampleCopy, QString(), JetConnection::Mode::ReadOnlyExclusive, &error),
             qPrintable(error.message));
}

void TestFuzzRegressions::cleanupTestCase()
{
    sql::SqlError error;
    QVERIFY(m_connection.close(&error));
    QFile copy(m_sampleCopy);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY2(copy.readAll() == m_sampleBytes, "a statement changed the read-only database");
}

void TestFuzzRegressions::inputsArePresent()
{
    QVERIFY(!filesIn(QStringLiteral("regressions/jet")).isEmpty());
    QVERIFY(!filesIn(QStringLiteral("regressions/sql")).isEmpty());
    QVERIFY(!filesIn(QStringLiteral("corpus-sql")).isEmpty());
}

void TestFuzzRegressions::jetFiles_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &path : filesIn(QStringLiteral("regressions/jet")))
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
}

void TestFuzzRegressions::jetFiles()
{
    QFETCH(QString, path);
    QFile input(path);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    const QString copy = m_dir.filePath(QStringLiteral("input.mdb"));
    QVERIFY(TestFiles::overwrite(copy, bytes));

    const int codePage = orvikfuzz::codePageFor(bytes);
    const orvikfuzz::Outcome first = orvikfuzz::exerciseJetFile(copy, codePage);
    QVERIFY2(!first.deleteAccepted, "a DELETE ran on a read-only connection");
    const orvikfuzz::Outcome second = orvikfuzz::exerciseJetFile(copy, codePage);
    QCOMPARE(second.sum, first.sum);

    QFile after(copy);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QVERIFY2(after.readAll() == bytes, "reading changed the file");
}

void TestFuzzRegressions::statements_data()
{
    QTest::addColumn<QString>("path");
    // The seeds as well: the statements the query window builds, run on the sample.
    for (const QString &folder : {QStringLiteral("regressions/sql"), QStringLiteral("corpus-sql")})
        for (const QString &path : filesIn(folder))
            QTest::newRow(qPrintable(folder + QLatin1Char('/') + QFileInfo(path).fileName())) << path;
}

void TestFuzzRegressions::statements()
{
    QFETCH(QString, path);
    QFile input(path);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(input.readAll());
    const orvikfuzz::Outcome first = orvikfuzz::exerciseStatement(text, &m_connection);
    QVERIFY2(!first.deleteAccepted, "a DELETE ran on a read-only connection");
    QVERIFY(m_connection.isOpen());
    const orvikfuzz::Outcome second = orvikfuzz::exerciseStatement(text, &m_connection);
    QCOMPARE(second.sum, first.sum);
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"

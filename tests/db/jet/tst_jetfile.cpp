// The file layer: header validation and unmasking, the password, refusals of files the
// engine does not read, bounds-checked page reads, writes and re-reading after a change.

#include "db/jet/Database.h"
#include "db/jet/PageFile.h"
#include "db/jet/Rc4.h"
#include "db/jet/RowFetcher.h"

#include "JetTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using jet::Format;
using jet::PageFile;

class TestJetFile : public QObject
{
    Q_OBJECT

private slots:
    void rc4Keystream();
    void headerOfEveryFixture_data();
    void headerOfEveryFixture();
    void refusedFiles_data();
    void refusedFiles();
    void passwordJet3();
    void passwordJet4();
    void jet4PasswordFieldHoldsTheDateMask();
    void pageReadsAreBoundsChecked();
    void writesNeedReadWriteMode();
    void refreshSeesAnotherWritersChanges();
    void namedPipeIsRefusedWithoutWaiting();
};

// Masks the header of `bytes`, edited in clear, again for `format`, writes them into `dir` as
// pw.mdb and opens `file` on that for reading.
static void writeMaskedAndOpen(QByteArray bytes, Format format, const QTemporaryDir &dir, PageFile &file)
{
    JetTest::toggleHeaderMask(bytes, format);
    const QString path = dir.filePath(QStringLiteral("pw.mdb"));
    QVERIFY(TestFiles::write(path, bytes));
    QString error;
    QVERIFY2(file.open(path, PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
}

void TestJetFile::rc4Keystream()
{
    // Keystream of the header key: XOR it over zeros.
    std::uint8_t stream[128] = {};
    jet::Rc4 rc4(PageFile::kHeaderMaskKey, 4);
    rc4.apply(stream, sizeof stream);
    const std::uint8_t head[8] = {0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55};
    const std::uint8_t tail[4] = {0xE9, 0x2D, 0x62, 0xD4}; // bytes 125-128
    QVERIFY(std::memcmp(stream, head, 8) == 0);
    QVERIFY(std::memcmp(stream + 124, tail, 4) == 0);
}

void TestJetFile::headerOfEveryFixture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("jet3");
    for (const QString &b : {QStringLiteral("2009-12"), QStringLiteral("2010-01"), QStringLiteral("odd-types"),
                             QStringLiteral("nested/deep")})
        QTest::newRow(qPrintable(b)) << JetTest::sample(b) << false;
    QTest::newRow("multipage-3000") << JetTest::multipage() << false;
    if (!JetTest::haveSharedFixtures())
        return;
    const QStringList files = QDir(JetTest::sharedFixtures() + QStringLiteral("/access-samples"))
                                  .entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << JetTest::accessSample(f) << f.contains(QLatin1String("V1997"));
}

void TestJetFile::headerOfEveryFixture()
{
    QFETCH(QString, path);
    QFETCH(bool, jet3);
    PageFile file;
    QString error;
    QVERIFY2(file.open(path, PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    QCOMPARE(file.format(), jet3 ? Format::Jet3 : Format::Jet4);
    QCOMPARE(file.pageSize(), jet3 ? 2048 : 4096);
    QCOMPARE(qint64(file.pageCount()) * file.pageSize(), QFileInfo(path).size());
    QCOMPARE(file.codePage(), 1252);
    QCOMPARE(file.sortOrder(), 0x0409);
    QVERIFY(!file.hasPassword());
    QVERIFY(file.password().isEmpty());
    // The same twelve bytes open the unmasked region of every sample.
    const QByteArray expected = QByteArray::fromHex("000100000101000002000000");
    QCOMPARE(file.unmaskedHeader().mid(0x18, 12).toHex(), expected.toHex());
    if (!jet3) {
        // Jet 4 keeps the creation date there; every sample was made after 1999.
        QVERIFY(file.creationDate() > 36000.0);
    }
}

void TestJetFile::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray jet4 = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    QVERIFY(jet4.size() > 4096 * 3);

    QByteArray ace = jet4;
    std::memcpy(ace.data() + 4, "Standard ACE DB", 15);
    ace[0x14] = 0x02;
    QTest::newRow("ACE engine name") << ace << QStringLiteral("ACE");

    QByteArray aceVersion = jet4;
    aceVersion[0x14] = 0x03;
    QTest::newRow("ACE version byte") << aceVersion << QStringLiteral("ACE");

    QByteArray unknown = jet4;
    unknown[0x14] = 0x07;
    QTest::newRow("unknown version") << unknown << QStringLiteral("unknown database version byte 0x07");

    QByteArray msisam = jet4;
    std::memcpy(msisam.data() + 4, "MSISAM Database", 15);
    QTest::newRow("MSISAM") << msisam << QStringLiteral("MSISAM");

    QByteArray keyed = jet4;
    JetTest::toggleHeaderMask(keyed, Format::Jet4);
    JetTest::putU32(keyed, 0x3E, 0x12345678);
    JetTest::toggleHeaderMask(keyed, Format::Jet4);
    QTest::newRow("db_key") << keyed << QStringLiteral("encrypted");

    QTest::newRow("truncated") << jet4.left(jet4.size() - 1000)
                               << QStringLiteral("not a multiple of the page size 4096");
    QTest::newRow("two pages") << jet4.left(2 * 4096) << QStringLiteral("too short");
    QTest::newRow("shorter than a page") << jet4.left(1000) << QStringLiteral("too short");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
    QTest::newRow("text file") << QByteArray(8192, 'x') << QStringLiteral("not an Access database");

    QByteArray otherEngine = jet4;
    std::memcpy(otherEngine.data() + 4, "Standard XYZ DB", 15);
    QTest::newRow("other engine") << otherEngine << QStringLiteral("not an Access database");
}

void TestJetFile::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("dbR.mdb"));
    QVERIFY(TestFiles::write(path, bytes));

    PageFile file;
    QString error;
    QVERIFY(!file.open(path, PageFile::OpenMode::ReadOnly, &error));
    QVERIFY(!file.isOpen());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY2(error.contains(path), qPrintable(error));

    jet::Database db;
    QVERIFY(!db.open(path, PageFile::OpenMode::ReadOnly, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestJetFile::passwordJet3()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    QByteArray bytes = TestFiles::read(JetTest::accessSample(QStringLiteral("testV1997.mdb")));
    JetTest::toggleHeaderMask(bytes, Format::Jet3);
    // Twenty bytes in the file's code page; 0xE9 is "é" in 1252.
    const QByteArray secret("Gr\xE9ve2024");
    std::memcpy(bytes.data() + 0x42, secret.constData(), std::size_t(secret.size()));

    QTemporaryDir dir;
    PageFile file;
    writeMaskedAndOpen(bytes, Format::Jet3, dir, file);
    QVERIFY(file.hasPassword());
    QCOMPARE(file.password(), QStringLiteral("Gr\u00E9ve2024"));
    QCOMPARE(file.passwordBytes().left(secret.size()), secret);

    // The password encrypts nothing: the tables still read.
    jet::Database db;
    QString error;
    QVERIFY2(db.open(dir.filePath(QStringLiteral("pw.mdb")), PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    QCOMPARE(db.userTableNames().size(), 4);
}

void TestJetFile::passwordJet4()
{
    QByteArray bytes = TestFiles::read(JetTest::sample(QStringLiteral("2009-12")));
    JetTest::toggleHeaderMask(bytes, Format::Jet4);
    double created = 0;
    std::memcpy(&created, bytes.constData() + 0x72, 8);
    const std::uint32_t mask = std::uint32_t(std::int32_t(std::trunc(created)));
    // UCS-2, each byte XORed with the little-endian integer part of the creation date.
    const QString secret = QStringLiteral("Kennwort\u00DF\u5BC6");
    QByteArray field(40, '\0');
    for (int i = 0; i < secret.size(); ++i)
        JetTest::putU16(field, 2 * i, secret.at(i).unicode());
    for (int i = 0; i < 40; ++i)
        bytes[0x42 + i] = char(std::uint8_t(field[i]) ^ std::uint8_t(mask >> (8 * (i % 4))));

    QTemporaryDir dir;
    PageFile file;
    writeMaskedAndOpen(bytes, Format::Jet4, dir, file);
    QVERIFY(file.hasPassword());
    QCOMPARE(file.password(), secret);
    QCOMPARE(file.passwordBytes(), field);
}

void TestJetFile::jet4PasswordFieldHoldsTheDateMask()
{
    if (!JetTest::haveSharedFixtures())
        QSKIP("the shared fixtures folder (ORVIK_SHARED_FIXTURES) is not present");
    // compIndexTestV2000.mdb was created on day 38985.41: with no password, the raw field
    // is the mask 49 98 00 00 repeated, and nothing is left once the mask is removed.
    const QString path = JetTest::accessSample(QStringLiteral("compIndexTestV2000.mdb"));
    QByteArray bytes = TestFiles::read(path);
    JetTest::toggleHeaderMask(bytes, Format::Jet4);
    QCOMPARE(bytes.mid(0x42, 40).toHex(), QByteArray::fromHex("49980000").repeated(10).toHex());

    PageFile file;
    QVERIFY(file.open(path, PageFile::OpenMode::ReadOnly));
    QCOMPARE(int(std::trunc(file.creationDate())), 38985);
    QCOMPARE(file.passwordBytes(), QByteArray(40, '\0'));
    QVERIFY(!file.hasPassword());
}

void TestJetFile::pageReadsAreBoundsChecked()
{
    const QString path = JetTest::sample(QStringLiteral("2009-12"));
    const QByteArray bytes = TestFiles::read(path);
    PageFile file;
    QVERIFY(file.open(path, PageFile::OpenMode::ReadOnly));
    const std::uint32_t pages = file.pageCount();
    QCOMPARE(qint64(pages) * 4096, bytes.size());

    QByteArray buffer(4096 * 2, '\0');
    auto *buf = reinterpret_cast<std::uint8_t *>(buffer.data());
    QVERIFY(file.readPage(pages - 1, buf));
    QCOMPARE(buffer.left(4096), bytes.right(4096));
    QVERIFY(file.readPages(24, 2, buf));
    QCOMPARE(buffer, bytes.mid(24 * 4096, 2 * 4096));

    QString error;
    QVERIFY(!file.readPage(pages, buf, &error));
    QVERIFY2(error.contains(QLatin1String("past the end")), qPrintable(error));
    QVERIFY(!file.readPages(pages - 1, 2, buf, &error));
    QVERIFY(!file.readPages(0xFFFFFFFFu, 2, buf, &error));
    QVERIFY(!file.readPage(0x7FFFFFFFu, buf, &error));

    file.close();
    QVERIFY(!file.readPage(0, buf, &error));
    QVERIFY2(error.contains(QLatin1String("not open")), qPrintable(error));
}

void TestJetFile::writesNeedReadWriteMode()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dbR.mdb"));
    QVERIFY(QFile::copy(JetTest::sample(QStringLiteral("2009-12")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    QByteArray page(4096, '\0');
    auto *buf = reinterpret_cast<std::uint8_t *>(page.data());
    PageFile reader;
    QVERIFY(reader.open(path, PageFile::OpenMode::ReadOnly));
    const std::uint32_t last = reader.pageCount() - 1;
    QVERIFY(reader.readPage(last, buf));
    QString error;
    QVERIFY(!reader.writePage(last, buf, &error));
    QVERIFY2(error.contains(QLatin1String("read-only")), qPrintable(error));

    PageFile writer;
    QVERIFY(writer.open(path, PageFile::OpenMode::ReadWrite));
    QCOMPARE(writer.mode(), PageFile::OpenMode::ReadWrite);
    std::memset(buf + 100, 0xAB, 16);
    const std::uint64_t before = writer.generation();
    QVERIFY(writer.writePage(last, buf, &error));
    QVERIFY(writer.generation() > before);
    QVERIFY(!writer.writePage(writer.pageCount(), buf, &error));
    QVERIFY(writer.sync());
    QCOMPARE(TestFiles::read(path).mid(qint64(last) * 4096, 4096), page);
}

void TestJetFile::refreshSeesAnotherWritersChanges()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dbR.mdb"));
    QVERIFY(QFile::copy(JetTest::sample(QStringLiteral("2009-12")), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    jet::Database db;
    QString error;
    QVERIFY2(db.open(path, PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const auto table = db.table(QStringLiteral("record"));
    QVERIFY(table);
    jet::RowFetcher fetcher(db.file(), *table);
    QVERIFY2(fetcher.fetch({29, 0}), qPrintable(fetcher.error()));
    std::int64_t id = 0;
    QVERIFY(fetcher.row().integer(0, &id));
    QCOMPARE(id, 1);

    // Another writer flags row 29:0 as deleted.
    {
        PageFile writer;
        QVERIFY(writer.open(path, PageFile::OpenMode::ReadWrite));
        QByteArray page(4096, '\0');
        auto *buf = reinterpret_cast<std::uint8_t *>(page.data());
        QVERIFY(writer.readPage(29, buf));
        buf[0x0E + 1] |= 0xC0;
        QVERIFY(writer.writePage(29, buf));
    }
    QVERIFY(db.reload(&error));
    QVERIFY(!fetcher.fetch({29, 0}));
    QVERIFY2(fetcher.error().contains(QLatin1String("deleted")), qPrintable(fetcher.error()));
    QVERIFY(fetcher.fetch({29, 1}));

    // The file grows by a page: refresh() takes in the new length.
    const std::uint32_t pages = db.file().pageCount();
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(4096, '\0'));
    }
    QVERIFY(db.file().refresh(&error));
    QCOMPARE(db.file().pageCount(), pages + 1);

    // A length that is no longer whole pages is reported.
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write(QByteArray(10, '\0'));
    }
    QVERIFY(!db.file().refresh(&error));
    QVERIFY2(error.contains(QLatin1String("whole number of pages")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestJetFile)
// A named pipe under the database's name must be refused at once: a blocking open would
// wait for a writer that never comes and freeze the window that opens the backup.
void TestJetFile::namedPipeIsRefusedWithoutWaiting()
{
#ifdef _WIN32
    QSKIP("Windows has no named pipes in the file system");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dbR.mdb"));
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    // Should the open block, this writer releases it after a while; the flag then tells.
    std::atomic<bool> released{false};
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        released = true;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    });
    const auto joinWriter = qScopeGuard([&] { writer.join(); });
    for (const auto mode : {jet::PageFile::OpenMode::ReadOnly, jet::PageFile::OpenMode::ReadWrite}) {
        jet::PageFile file;
        QString error;
        QVERIFY(!file.open(path, mode, &error));
        QVERIFY2(!released, "the open waited for a writer");
        QVERIFY2(error.contains(QLatin1String("not a regular file")), qPrintable(error));
    }
#endif
}

#include "tst_jetfile.moc"

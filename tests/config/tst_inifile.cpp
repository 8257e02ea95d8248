#include "config/IniFile.h"
#include "config/TextDecoder.h"

#include "TestPaths.h"
#include "common/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void windowsLookupRules();
    void valuesAreTrimmedUnquotedAndCut();
    void lenientIntegers_data();
    void lenientIntegers();
    void encodings_data();
    void encodings();
    void sampleBackupFiles();
    void missingFileGivesDefaults();
    void onlyRegularFilesAreRead();
};

void TestIniFile::windowsLookupRules()
{
    const IniFile ini = IniFile::fromText(QStringLiteral("orphan=before any section\r\n"
                                                         "[Base]\r\n"
                                                         "DT_Start=first\r\n"
                                                         "dt_start=second\r\n"
                                                         "no equals sign here\r\n"
                                                         "[other]\r\n"
                                                         "dt_stop=from other\r\n"
                                                         "[BASE]\r\n"
                                                         "dt_stop=from second base\r\n"));
    QCOMPARE(ini.readString("base", "dt_start"), QStringLiteral("first"));
    // Only the first section of a name counts; a repeated one is never searched.
    QCOMPARE(ini.readString("base", "dt_stop", "none"), QStringLiteral("none"));
    QCOMPARE(ini.readString("OTHER", "DT_STOP"), QStringLiteral("from other"));
    QVERIFY(!ini.hasKey("base", "orphan"));
    QVERIFY(!ini.hasKey("", "orphan"));
    QCOMPARE(ini.readString("base", "missing", "fallback"), QStringLiteral("fallback"));
    QCOMPARE(ini.readString("nosuch", "dt_start"), QString());
}

void TestIniFile::valuesAreTrimmedUnquotedAndCut()
{
    const QString longValue(300, u'x');
    const IniFile ini = IniFile::fromText(QStringLiteral("[s]\n"
                                                         "  spaced key   =   value with blanks  \n"
                                                         "quoted=\"  inside  \"\n"
                                                         "single='x'\n"
                                                         "unbalanced=\"open\n"
                                                         "twice=\"\"a\"\"\n"
                                                         "empty=\n"
                                                         "long=")
                                          + longValue + u'\n');
    QCOMPARE(ini.readString("s", "spaced key"), QStringLiteral("value with blanks"));
    QCOMPARE(ini.readString("s", "quoted"), QStringLiteral("  inside  "));
    QCOMPARE(ini.readString("s", "single"), QStringLiteral("x"));
    QCOMPARE(ini.readString("s", "unbalanced"), QStringLiteral("\"open"));
    QCOMPARE(ini.readString("s", "twice"), QStringLiteral("\"a\""));
    QVERIFY(ini.hasKey("s", "empty"));
    QCOMPARE(ini.readString("s", "empty", "default"), QString());
    QCOMPARE(ini.readString("s", "long").size(), IniFile::MaxValueLength);
    // An empty value gives the default of an integer, unlike a string.
    QCOMPARE(ini.readInt("s", "empty", 42), 42);
    QCOMPARE(ini.readInt("s", "missing", 42), 42);
}

void TestIniFile::lenientIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("blanks") << "  12" << 12;
    QTest::newRow("plus") << "+12" << 12;
    QTest::newRow("minus one") << "-1" << -1;
    QTest::newRow("trailing letters") << "12abc" << 12;
    QTest::newRow("letters first") << "abc" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("inner blank") << "1 2" << 1;
    QTest::newRow("hex is not read") << "0x10" << 0;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("wraps like a 32-bit parse") << "4294967297" << 1;
}

void TestIniFile::lenientIntegers()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(IniFile::parseLenientInt(text), expected);
    const IniFile ini = IniFile::fromText(QStringLiteral("[config]\nm_language=") + text);
    QCOMPARE(ini.readInt("config", "M_LANGUAGE", 99), expected);
}

void TestIniFile::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("legacyCodePage");
    QTest::addColumn<QString>("expected");

    const QString text = QStringLiteral("十二月 é ş");
    const QString ini = QStringLiteral("[base]\r\ntitle=") + text + QStringLiteral("\r\n");
    auto utf16 = [&](bool bigEndian) {
        QByteArray b = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
        for (const QChar c : ini) {
            const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
            b += bigEndian ? QByteArray{&hi, 1} + QByteArray{&lo, 1} : QByteArray{&lo, 1} + QByteArray{&hi, 1};
        }
        return b;
    };
    QTest::newRow("UTF-16LE with BOM") << utf16(false) << 1252 << text;
    QTest::newRow("UTF-16BE with BOM") << utf16(true) << 1252 << text;
    QTest::newRow("UTF-8 without BOM") << ini.toUtf8() << 1252 << text;
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + ini.toUtf8() << 1252 << text;
    // "备注" in GBK is not valid UTF-8: read in the legacy code page of the UI language.
    QTest::newRow("GBK under Chinese") << QByteArray("[base]\r\ntitle=\xB1\xB8\xD7\xA2\r\n")
                                       << TextDecoder::legacyCodePageForLanguage(0) << QStringLiteral("备注");
    QTest::newRow("windows-1252 under English") << QByteArray("[base]\r\ntitle=caf\xE9\r\n")
                                                << TextDecoder::legacyCodePageForLanguage(1) << QStringLiteral("café");
    QTest::newRow("windows-1254 under Turkish") << QByteArray("[base]\r\ntitle=\xFE\xF0\xFD\r\n")
                                                << TextDecoder::legacyCodePageForLanguage(3) << QStringLiteral("şğı");
}

void TestIniFile::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, legacyCodePage);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    QVERIFY(TestFiles::write(path, bytes));
    QCOMPARE(IniFile::load(path, legacyCodePage).readString("BASE", "title"), expected);
}

void TestIniFile::sampleBackupFiles()
{
    const QString root = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/");
    const IniFile utf8 = IniFile::load(root + "2009-12/config.ini", 1252);
    QCOMPARE(utf8.readString("base", "dt_start"), QStringLiteral("2009-12-01 00:00:00"));
    QCOMPARE(utf8.readString("base", "title"), QStringLiteral("十二月录音备份"));

    const IniFile gbk = IniFile::load(root + "2010-01/config.ini", TextDecoder::legacyCodePageForLanguage(0));
    QCOMPARE(gbk.readString("base", "dt_start"), QStringLiteral("2010年01月01日 00:00:00"));
    QCOMPARE(gbk.readString("base", "dt_stop"), QStringLiteral("2010年01月31日 23:59:59"));
    QCOMPARE(gbk.readString("base", "备注"), QStringLiteral("一月份录音备份"));
    // The same file under an English or Turkish UI: the GBK bytes are recognised as such.
    for (int language : {1, 3}) {
        const IniFile detected =
            IniFile::load(root + "2010-01/config.ini", TextDecoder::legacyCodePageForLanguage(language));
        QCOMPARE(detected.readString("base", "dt_start"), QStringLiteral("2010年01月01日 00:00:00"));
    }

    const IniFile odd = IniFile::load(root + "odd-types/config.ini", 1252);
    QCOMPARE(odd.readString("base", "dt_start"), QStringLiteral("2009-11-20 00:00:00"));
    QVERIFY(!odd.hasKey("base", "dt_stop"));
}

void TestIniFile::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    const IniFile ini = IniFile::load(dir.filePath("absent.ini"), 1252);
    QCOMPARE(ini.readInt("config", "m_language", 3), 3);
    QCOMPARE(ini.readString("config", "m_BackDir"), QString());

    // Of a huge file only the whole lines in its first MiB are read, with a warning.
    QByteArray huge = "[base]\r\nfirst=1\r\n";
    while (huge.size() < IniFile::MaxFileBytes - 4)
        huge += "x=y\r\n";
    huge += "cut=123456789\r\nlast=2\r\n";
    QVERIFY(TestFiles::write(dir.filePath("huge.ini"), huge));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("huge.ini is larger than 1048576 bytes"));
    const IniFile cut = IniFile::load(dir.filePath("huge.ini"), 1252);
    QCOMPARE(cut.readInt("base", "first", 0), 1);
    QVERIFY(cut.hasKey("base", "x"));
    QVERIFY(!cut.hasKey("base", "cut"));
    QVERIFY(!cut.hasKey("base", "last"));
}

void TestIniFile::onlyRegularFilesAreRead()
{
    // A config.ini that is a named pipe (or a link to a device) would block the catalogue
    // or never end; it reads as a missing file.
#ifdef _WIN32
    QSKIP("Windows has no named pipes in the file system");
#else
    QTemporaryDir dir;
    const QString fifo = dir.filePath("config.ini");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // The writer waits for a reader, hands over one section and closes, so a reader that
    // opens the pipe gets the text and its end at once.
    QProcess writer;
    writer.start("sh", {"-c", "printf '[base]\\ndt_start=from the pipe\\n' > \"$0\"", fifo});
    QVERIFY(writer.waitForStarted());
    const IniFile ini = IniFile::load(fifo, 1252);
    writer.kill();
    writer.waitForFinished();
    QCOMPARE(ini.readString("base", "dt_start"), QString());
    QVERIFY(!ini.hasKey("base", "dt_start"));
#endif
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"

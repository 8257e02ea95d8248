// Loading language files, text and column lookups, declared encodings and code pages.
#include "common/TestFiles.h"
#include "config/Config.h"
#include "lang/CodePageConverter.h"
#include "lang/Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const QByteArray kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// A language file whose Dialog element holds dialogBody.
QByteArray LanguageXml(const QByteArray &dialogBody, const QByteArray &prolog = kUtf8Declaration)
{
    return prolog + "\n<Talvenor><Native-Langue><Dialog>\n" + dialogBody + "\n</Dialog></Native-Langue></Talvenor>\n";
}

QString WriteFile(const QString &path, const QByteArray &content)
{
    if (!TestFiles::write(path, content))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray Bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_programDir = m_dir.path();

    QString Write(const QByteArray &content, const QString &name = QStringLiteral("lang.xml"))
    {
        return WriteFile(m_dir.filePath(name), content);
    }

private slots:
    void textIdsSelectGroupAndItem()
    {
        // Decoys sit where a wrong group or a wrong remainder would look.
        CLanguage lang(m_programDir);
        QCOMPARE(lang.LoadFile(Write(LanguageXml(R"(
            <UserDlg0><Item id="43" name="decoy"/><Item id="49" name="text 49"/><Item id="16" name="decoy"/></UserDlg0>
            <UserDlg1><Item id="0" name="text 50"/><Item id="34" name="text 84"/></UserDlg1>
            <UserDlg3><Item id="43" name="text 193"/><Item id="49" name="decoy"/></UserDlg3>
            <ColumnId><Item id="16" name="column 16"/></ColumnId>)"))),
                 0);
        QCOMPARE(lang.DialogText(193), QStringLiteral("text 193"));
        QCOMPARE(lang.DialogText(50), QStringLiteral("text 50"));
        QCOMPARE(lang.DialogText(49), QStringLiteral("text 49"));
        QCOMPARE(lang.DialogText(84), QStringLiteral("text 84"));
        QCOMPARE(lang.ColumnText(16), QStringLiteral("column 16"));
        QCOMPARE(lang.DialogText(160), QString()); // UserDlg3 has no item 10
        QCOMPARE(lang.DialogText(100), QString()); // no UserDlg2 at all
        QCOMPARE(lang.ColumnText(17), QStringLiteral(" "));
    }

    void idsAreReadLeniently_data()
    {
        QTest::addColumn<QByteArray>("idText");
        QTest::addColumn<int>("id");
        QTest::newRow("leading blanks") << QByteArray("  12") << 12;
        QTest::newRow("leading tab") << QByteArray("\t12") << 12;
        QTest::newRow("plus sign") << QByteArray("+12") << 12;
        QTest::newRow("trailing letters") << QByteArray("12abc") << 12;
        QTest::newRow("leading zeros") << QByteArray("0012") << 12;
        QTest::newRow("minus sign") << QByteArray("-3") << -3;
        QTest::newRow("letters first") << QByteArray("abc") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("blank between sign and digits") << QByteArray("+ 12") << 0;
    }
    void idsAreReadLeniently()
    {
        QFETCH(QByteArray, idText);
        QFETCH(int, id);
        CLanguage lang(m_programDir);
        QCOMPARE(lang.LoadFile(Write(LanguageXml(R"(<ColumnId><Item id=")" + idText + R"(" name="hit"/></ColumnId>)"))),
                 0);
        QCOMPARE(lang.ColumnText(id), QStringLiteral("hit"));
        QCOMPARE(lang.ColumnText(id + 1), QStringLiteral(" "));
    }

    void itemRules()
    {
        CLanguage lang(m_programDir);
        QCOMPARE(lang.LoadFile(Write(LanguageXml("<ColumnId>"
                                                 "<Item name=\"without id\"/>"
                                                 "<Entry id=\"4\" name=\"not an Item\"/>"
                                                 "<Item id=\"5\" name=\"first\"/><Item id=\"5\" name=\"second\"/>"
                                                 "<Item id=\"6\"/><Item id=\"6\" name=\"after the nameless one\"/>"
                                                 "<Item id=\"7\" name=\"\"/>"
                                                 "<Item id=\"8\" name=\"&lt;a &amp; b&gt; &#x4E2D;\"/>"
                                                 "</ColumnId>"))),
                 0);
        QCOMPARE(lang.ColumnText(0), QStringLiteral(" ")); // an Item without id is not id 0
        QCOMPARE(lang.ColumnText(4), QStringLiteral(" "));
        QCOMPARE(lang.ColumnText(5), QStringLiteral("first"));
        QVERIFY(!lang.FindItemName("Dialog", "ColumnId", 6));
        QCOMPARE(lang.ColumnText(6), QStringLiteral(" ")); // the fallback, not the later Item
        QCOMPARE(lang.ColumnText(7), QString());           // present but empty stays empty
        QCOMPARE(lang.ColumnText(8), QStringLiteral("<a & b> 中"));
    }

    void encodingNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("codePage");
        for (int cp = 1250; cp <= 1258; ++cp)
            QTest::addRow("windows-%d", cp) << "windows-" + QByteArray::number(cp) << cp;
        QTest::newRow("WINDOWS-1254") << QByteArray("WINDOWS-1254") << 1254;
        QTest::newRow("windows-1259") << QByteArray("windows-1259") << 0;
        QTest::newRow("GB2312") << QByteArray("GB2312") << 936;
        QTest::newRow("gb2312") << QByteArray("gb2312") << 936;
        QTest::newRow("Big5") << QByteArray("Big5") << 950;
        QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS") << 932;
        QTest::newRow("EUC-KR") << QByteArray("EUC-KR") << 51949;
        QTest::newRow("tis-620") << QByteArray("tis-620") << 874;
        QTest::newRow("ISO-8859-8") << QByteArray("ISO-8859-8") << 28598;
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << 65001;
        QTest::newRow("utf8") << QByteArray("utf8") << 0;
        QTest::newRow("gbk") << QByteArray("gbk") << 0;
        QTest::newRow("padded") << QByteArray(" gb2312") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
    }
    void encodingNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, codePage);
        QCOMPARE(CodePageFromEncoding(name.constData()), codePage);
    }

    void declaredEncodingDecodesTexts_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::newRow("GB2312") << QByteArray("GB2312")
                                << QByteArray("\xb1\xb8\xb7\xdd\xc2\xbc\xd2\xf4\xb2\xe9\xd1\xaf") << 936
                                << QStringLiteral("备份录音查询");
        QTest::newRow("windows-1254") << QByteArray("windows-1254") << QByteArray("\xc7\xfd\x6b\xfd\xfe \xdd\xf0")
                                      << 1254 << QStringLiteral("Çıkış İğ");
        QTest::newRow("big5") << QByteArray("big5") << QByteArray("\xa4\xa4\xa4\xe5") << 950 << QStringLiteral("中文");
        QTest::newRow("shift_jis") << QByteArray("shift_jis") << QByteArray("\x93\xfa\x96\x7b") << 932
                                   << QStringLiteral("日本");
        QTest::newRow("utf-8") << QByteArray("utf-8") << QStringLiteral("Çıkış 退出").toUtf8() << 65001
                               << QStringLiteral("Çıkış 退出");
    }
    void declaredEncodingDecodesTexts()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(int, codePage);
        QFETCH(QString, text);
        CLanguage lang(m_programDir);
        const QByteArray prolog = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>";
        QCOMPARE(lang.LoadFile(Write(LanguageXml("<UserDlg3><Item id=\"43\" name=\"" + bytes
                                                     + "\"/></UserDlg3>"
                                                       "<ColumnId><Item id=\"1\" name=\""
                                                     + bytes + "\"/></ColumnId>",
                                                 prolog))),
                 0);
        QCOMPARE(lang.m_codePage, codePage);
        QCOMPARE(lang.DialogText(193), text);
        QCOMPARE(lang.ColumnText(1), text);
    }

    void onlyALeadingDeclarationSetsTheCodePage()
    {
        const QByteArray body = "<ColumnId><Item id=\"1\" name=\"" + QStringLiteral("ığ").toUtf8() + "\"/></ColumnId>";
        CLanguage lang(m_programDir);
        QCOMPARE(
            lang.LoadFile(Write(LanguageXml(body, "<!-- note -->\n<?xml version=\"1.0\" encoding=\"windows-1254\"?>"))),
            0);
        QCOMPARE(lang.m_codePage, 0);
        QCOMPARE(lang.ColumnText(1), QStringLiteral("ığ"));

        // A file without a leading declaration keeps whatever code page is set ...
        QCOMPARE(lang.LoadFile(Write(LanguageXml("", "<?xml version=\"1.0\" encoding=\"windows-1254\"?>"))), 0);
        QCOMPARE(lang.m_codePage, 1254);
        QCOMPARE(lang.LoadFile(Write(LanguageXml(body, ""))), 0);
        QCOMPARE(lang.m_codePage, 1254);
        // ... while a leading declaration without an encoding sets 0.
        QCOMPARE(lang.LoadFile(Write(LanguageXml(body, "<?xml version=\"1.0\"?>"))), 0);
        QCOMPARE(lang.m_codePage, 0);
    }

    void loadResultsAndWhatStaysLoaded()
    {
        const QString good = Write(LanguageXml(R"(<UserDlg3><Item id="43" name="caption"/></UserDlg3>)"), "good.xml");
        CLanguage lang(m_programDir);
        QVERIFY(!lang.m_document);
        QCOMPARE(lang.DialogText(193), QString());
        QCOMPARE(lang.ColumnText(15), QStringLiteral(" "));
        QVERIFY(!lang.FindItemName("Dialog", "UserDlg3", 43));

        QCOMPARE(lang.LoadFile(good), 0);
        QVERIFY(lang.LoadError().isEmpty());
        QCOMPARE(lang.LoadFile(m_dir.filePath("missing.xml")), -2);
        QCOMPARE(lang.LoadError(), QStringLiteral("it does not exist"));
        QCOMPARE(lang.DialogText(193), QStringLiteral("caption")); // still loaded

        for (const QByteArray &broken : {QByteArray(), QByteArray("<Talvenor><Native-Langue></Talvenor>"),
                                         QByteArray("<Talvenor><Native-Langue>")}) {
            QCOMPARE(lang.LoadFile(good), 0);
            QCOMPARE(lang.LoadFile(Write(broken, "broken.xml")), -1);
            QVERIFY(!lang.m_document);
            QCOMPARE(lang.DialogText(193), QString());
            QVERIFY2(lang.LoadError().startsWith("it is not well-formed XML ("), qPrintable(lang.LoadError()));
        }
        // Junk, a PNG, UTF-16 without a declaration: no texts, and a reason.
        QByteArray utf16;
        for (const QChar c : QStringLiteral("<Talvenor><Native-Langue/></Talvenor>"))
            utf16 += char(c.unicode()) + QByteArray(1, '\0');
        for (const QByteArray &broken : {QByteArray("junk"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"), utf16}) {
            QCOMPARE(lang.LoadFile(good), 0);
            QCOMPARE(lang.LoadFile(Write(broken, "broken.xml")), -1);
            QCOMPARE(lang.DialogText(193), QString());
            QVERIFY(!lang.LoadError().isEmpty());
        }

        QDir(m_dir.path()).mkdir("folder.xml");
        QCOMPARE(lang.LoadFile(good), 0);
        QCOMPARE(lang.LoadFile(m_dir.filePath("folder.xml")), -1);
        QVERIFY(!lang.m_document);
        QCOMPARE(lang.LoadError(), QStringLiteral("it is not a regular file (a folder)"));

        // Well-formed, but not a language file: the document stays, every lookup misses.
        for (const QByteArray &other :
             {QByteArray("<Other><Native-Langue/></Other>"), QByteArray("<Talvenor><Dialog/></Talvenor>")}) {
            QCOMPARE(lang.LoadFile(Write(other, "other.xml")), -1);
            QVERIFY(lang.m_document);
            QCOMPARE(lang.DialogText(193), QString());
        }
    }

    void deeplyNestedFileIsRefused()
    {
        // The XML library parses and frees elements recursively; a file nested hundreds of
        // thousands of levels deep (closed or not) would overflow the stack.
        const int depth = 300000;
        const QByteArray open = QByteArray("<a>").repeated(depth);
        const QByteArray close = QByteArray("</a>").repeated(depth);
        const QString good = Write(LanguageXml(R"(<UserDlg3><Item id="43" name="caption"/></UserDlg3>)"), "good.xml");
        CLanguage lang(m_programDir);
        for (const QByteArray &deep : {LanguageXml(open + close), LanguageXml(open)}) {
            QCOMPARE(lang.LoadFile(good), 0);
            QCOMPARE(lang.LoadFile(Write(deep, "deep.xml")), -1);
            QVERIFY(!lang.m_document);
            QCOMPARE(lang.DialogText(193), QString());
        }
        // Nesting as deep as a hand-written file may go still loads; tags inside comments
        // and CDATA are not elements.
        const QByteArray fine = QByteArray("<b>").repeated(50) + "<!-- " + open.left(3000) + " -->" + "<![CDATA["
                                + open.left(3000) + "]]><c x=\"a>b\"/>" + QByteArray("</b>").repeated(50)
                                + R"(<UserDlg3><Item id="43" name="deep enough"/></UserDlg3>)";
        QCOMPARE(lang.LoadFile(Write(LanguageXml(fine), "fine.xml")), 0);
        QCOMPARE(lang.DialogText(193), QStringLiteral("deep enough"));
    }

    void languageFileThatIsAPipeIsNotRead()
    {
        // Opening a named pipe waits for a writer; the language file would block the start.
#ifdef _WIN32
        QSKIP("Windows has no named pipes in the file system");
#else
        const QString good = Write(LanguageXml(R"(<UserDlg3><Item id="43" name="caption"/></UserDlg3>)"), "good.xml");
        const QString fifo = m_dir.filePath("pipe.xml");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        // The writer waits for a reader and hands over a whole language file, so a loader
        // that opens the pipe gets it at once instead of hanging.
        QProcess writer;
        writer.start("sh", {"-c", "cat \"$1\" > \"$0\"", fifo, good});
        QVERIFY(writer.waitForStarted());
        CLanguage lang(m_programDir);
        QCOMPARE(lang.LoadFile(good), 0);
        const int loaded = lang.LoadFile(fifo);
        writer.kill();
        writer.waitForFinished();
        QCOMPARE(loaded, -1);
        QVERIFY(!lang.m_document);
        QCOMPARE(lang.LoadError(), QStringLiteral("it is not a regular file (a named pipe)"));
        // A device that never ends, reached through a link, and a file far larger than a
        // language file: refused before their bytes fill the memory.
        const QString zero = m_dir.filePath("zero.xml");
        QVERIFY(QFile::link("/dev/zero", zero));
        QCOMPARE(lang.LoadFile(zero), -1);
        QCOMPARE(lang.LoadError(), QStringLiteral("it is not a regular file (a character device)"));
        const QString huge = m_dir.filePath("huge.xml");
        QFile sparse(huge);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 32));
        sparse.close();
        QCOMPARE(lang.LoadFile(huge), -1);
        QVERIFY2(lang.LoadError().startsWith("it is larger than"), qPrintable(lang.LoadError()));
#endif
    }

    void loadJoinsTheProgramDirectory()
    {
        // Non-ASCII directory names and CR LF line ends as Windows editors write them.
        const QString programDir = m_dir.filePath(QStringLiteral("Yedek Ağı 备份"));
        QByteArray content = LanguageXml(R"(<UserDlg3><Item id="43" name="found"/></UserDlg3>)");
        content.replace("\n", "\r\n");
        WriteFile(programDir + "/language/Menu_Test.xml", content);
        for (const QString &dir : {programDir, programDir + '/'}) {
            CLanguage lang(dir);
            QCOMPARE(lang.Load(QStringLiteral("language/Menu_Test.xml")), 0);
            QCOMPARE(lang.DialogText(193), QStringLiteral("found"));
            QCOMPARE(lang.Load(QStringLiteral("language/Menu_None.xml")), -2);
        }
    }

    void programWideLanguage()
    {
        // g_language starts empty and looks below the program directory as g_config last read
        // it: after the settings are read from another folder, its language files are loaded.
        QCOMPARE(g_language.ProgramDir(), QCoreApplication::applicationDirPath() + "/");
        QCOMPARE(GetDialogText(193), QString());
        QCOMPARE(GetColumnText(15), QStringLiteral(" "));
        const QString program = m_dir.filePath(QStringLiteral("program"));
        WriteFile(program + "/config.ini", "[config]\r\nm_language=1\r\n");
        WriteFile(program + "/language/Menu_English.xml",
                  LanguageXml(R"(<UserDlg3><Item id="43" name="main"/></UserDlg3>
                                 <ColumnId><Item id="15" name="No."/></ColumnId>)"));
        g_config.Reload(program);
        const int loaded = g_language.Load(g_config.LanguageFileName());
        g_config.Reload(CConfig::ProgramDirectory());
        QCOMPARE(loaded, 0);
        QCOMPARE(GetDialogText(193), QStringLiteral("main"));
        QCOMPARE(GetColumnText(15), QStringLiteral("No."));
        QCOMPARE(GetColumnText(16), QStringLiteral(" "));
    }

    void codePageRoundTrips_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("936") << 936 << QStringLiteral("备份录音查询")
                             << QByteArray("\xb1\xb8\xb7\xdd\xc2\xbc\xd2\xf4\xb2\xe9\xd1\xaf");
        QTest::newRow("1254") << 1254 << QStringLiteral("Çıkış") << QByteArray("\xc7\xfd\x6b\xfd\xfe");
        QTest::newRow("0 is UTF-8") << 0 << QStringLiteral("ü 退出") << QStringLiteral("ü 退出").toUtf8();
        QTest::newRow("65001") << 65001 << QStringLiteral("😀 ş") << QStringLiteral("😀 ş").toUtf8();
        QTest::newRow("longer than the buffers")
            << 936 << QString(3000, QChar(0x4E2D)) << QByteArray("\xd6\xd0").repeated(3000);
    }
    void codePageRoundTrips()
    {
        QFETCH(int, codePage);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        CodePageConverter converter;
        const std::string_view narrow = converter.ToNarrow(text, codePage);
        QCOMPARE(Bytes(narrow), bytes);
        QCOMPARE(narrow.data()[narrow.size()], '\0');
        QCOMPARE(converter.ToWide(bytes.constData(), codePage).toString(), text);
        QVERIFY(converter.WideCapacity() >= qMax(CodePageConverter::kInitialCapacity, int(text.size()) + 1));
    }

    void conversionFailuresAndSubstitutes()
    {
        CodePageConverter converter;
        QVERIFY(converter.ToWide(nullptr, 0).isEmpty());
        QVERIFY(converter.ToWide("abc", 12345).isEmpty()); // no such code page
        QVERIFY(converter.ToNarrow(u"abc", 12345).empty());
        QCOMPARE(converter
                     .ToWide("a\xff"
                             "b",
                             65001)
                     .toString(),
                 QStringLiteral("a\uFFFDb"));
        QCOMPARE(Bytes(converter.ToNarrow(u"a中😀b", 1254)), QByteArray("a??b"));
        QCOMPARE(Bytes(converter.ToNarrow(QStringView(u"ab\0cd", 5), 0)), QByteArray("ab"));
    }
};

QTEST_GUILESS_MAIN(LanguageTest)
#include "tst_language.moc"

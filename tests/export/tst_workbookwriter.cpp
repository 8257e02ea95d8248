// The workbook writer: written workbooks are read back with openpyxl (read_workbook.py).
// A sheet added after the list's (the export's statistics) leaves the list's sheet as it is.

#include "WorkbookTestSupport.h"
#include "common/TestFiles.h"

#include "export/WorkbookTemplate.h"
#include "export/WorkbookWriter.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace WorkbookTest;

namespace {

const QStringList kHeaders = {QStringLiteral("序号"), QStringLiteral("用户名"),   QStringLiteral("类型"),
                              QStringLiteral("号码"), QStringLiteral("开始时间"), QStringLiteral("通话时长"),
                              QStringLiteral("备注")};

// A row as the export hands it over: the number and the talk time with the apostrophe.
QStringList CallRow(int n, const QString &name, const QString &type, const QString &number, const QString &start,
                    const QString &talk, const QString &remark)
{
    return {QString::number(n), name, type, QLatin1Char('\'') + number, start, QLatin1Char('\'') + talk, remark};
}

// Writes the rows with a fresh writer; returns the writer's error text, empty on success.
QString Export(const QString &templatePath, const QString &output, const QList<QStringList> &rows)
{
    WorkbookWriter writer;
    if (!writer.Open(templatePath, output))
        return writer.ErrorText();
    for (const QStringList &row : rows) {
        if (!writer.AddRow(row))
            return writer.ErrorText();
    }
    return writer.Finish() ? QString() : writer.ErrorText();
}

} // namespace

class TestWorkbookWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writesHeadersAndRowsIntoTheTemplate();
    void stoppingEarlyKeepsTheRestOfTheTemplate();
    void readsCellTextsAsExcelReadsTypedInput();
    void keepsTextsIntact();
    void streamsManyRows();

    void respectsAUserEditedTemplate();
    void handlesHandWrittenWorksheetXml();
    void followsTheWorkbooksOwnPartList();
    void addsAStylePartWhenTheTemplateHasNone();
    void dropsTheCalculationChainWhenAFormulaIsOverwritten();
    void addsASheetAfterTheList();

    void failuresLeaveNothingBehind_data();
    void failuresLeaveNothingBehind();
    void failureWhileWritingLeavesNothingBehind();

private:
    QJsonObject ReadBack(const QString &path, const QString &onlyRows = QString())
    {
        m_readError.clear();
        return Read(path, &m_readError, onlyRows);
    }
    WorkbookTest::Parts TemplateParts() const { return ReadParts(m_template); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_template;
    QString m_readError;
};

void TestWorkbookWriter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QString error;
    // The template goes into the user's data folder, here the test's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->path() + "/data"));
    m_template = EnsureTemplateWorkbook(m_dir->path(), m_dir->path(), &error);
    QVERIFY2(!m_template.isEmpty(), qPrintable(error));
}

void TestWorkbookWriter::writesHeadersAndRowsIntoTheTemplate()
{
    const QString output = m_dir->filePath(QStringLiteral("calls.xlsx"));
    const QString error =
        Export(m_template, output,
               {kHeaders, CallRow(1, "张三", "来电", "0123", "2009-12-29 08:05:09", "01:05", "客户回访"),
                CallRow(2, "Ayşe", "去电", "+8613912345678", "2010-01-02 23:59:59", "125:07", ""),
                CallRow(3, "", "未接", "", "2010-01-03 00:00:00", "00:00", "=1+1")});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    QCOMPARE(book.value("sheets").toArray(), QJsonArray({"Sheet1"}));
    const QJsonObject sheet = Sheet(book, "Sheet1");

    // Row 1: the headers, bold from the template's row format.
    for (int c = 0; c < 7; ++c) {
        const QJsonObject cell = Cell(sheet, QString(QLatin1Char('A' + c)) + QLatin1Char('1'));
        QCOMPARE(cell.value("value").toString(), kHeaders[c]);
        QVERIFY(cell.value("bold").toBool());
    }
    const QString date = QStringLiteral("yyyy-mm-dd hh:mm:ss");
    // The rows, with the template's column formats on every cell written: frames, combined
    // with the date format where a date went.
    const QString mismatch = Mismatch(
        sheet, {{"A2", {{"value", 1}, {"type", "n"}, {"fill", QJsonValue()}, {"border", "thin"}, {"bold", false}}},
                {"B2", {{"value", "张三"}, {"type", "s"}, {"border", "thin"}}},
                {"C2", {{"value", "来电"}}},
                {"D2", {{"value", "0123"}, {"type", "s"}, {"quotePrefix", true}, {"border", "thin"}}},
                // A date-time shrinks to fit a narrow column instead of "####" (the
                // template's start-time column is wide enough not to need it).
                {"E2",
                 {{"value", "2009-12-29T08:05:09"},
                  {"type", "d"},
                  {"format", date},
                  {"border", "thin"},
                  {"shrinkToFit", true}}},
                {"F2", {{"value", "01:05"}, {"type", "s"}, {"quotePrefix", true}, {"shrinkToFit", false}}},
                {"G2", {{"value", "客户回访"}, {"quotePrefix", false}}},
                {"A3", {{"value", 2}, {"border", "thin"}}},
                {"B3", {{"value", "Ayşe"}}},
                {"D3", {{"value", "+8613912345678"}, {"type", "s"}}},
                {"E3", {{"value", "2010-01-02T23:59:59"}, {"format", date}, {"border", "thin"}}},
                {"F3", {{"value", "125:07"}}},
                // No cell for an empty text: the column format frames it where it is shown.
                {"G3", {{"value", QJsonValue()}}},
                {"A4", {{"value", 3}}},
                {"B4", {{"value", QJsonValue()}}},
                {"D4", {{"value", QJsonValue()}}},
                {"E4", {{"value", "2010-01-03T00:00:00"}}},
                {"G4", {{"value", "=1+1"}, {"type", "s"}, {"border", "thin"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    QCOMPARE(sheet.value("columns").toArray().size(), 8);
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:G4"));
    // The header row stays frozen; the autofilter takes in every row written.
    QCOMPARE(sheet.value("freeze").toString(), QStringLiteral("A2"));
    QCOMPARE(sheet.value("autoFilter").toString(), QStringLiteral("A1:G4"));
}

void TestWorkbookWriter::stoppingEarlyKeepsTheRestOfTheTemplate()
{
    // A caller that stops after one row, then one that writes more rows.
    const QString early = m_dir->filePath(QStringLiteral("early.xlsx"));
    {
        WorkbookWriter writer;
        QVERIFY(writer.Open(m_template, early));
        QVERIFY(writer.AddRow(kHeaders));
        QVERIFY(writer.AddRow(CallRow(1, "a", "b", "1", "2009-12-29 08:05:09", "00:01", "")));
        QCOMPARE(writer.RowsWritten(), 2);
        QVERIFY2(writer.Finish(), qPrintable(writer.ErrorText()));
        QVERIFY(!writer.IsOpen());
    }
    QList<QStringList> rows = {kHeaders};
    for (int i = 1; i <= 8; ++i)
        rows << CallRow(i, "n", "t", "1", "2009-12-29 08:05:09", "00:01", "r");
    const QString longer = m_dir->filePath(QStringLiteral("longer.xlsx"));
    QVERIFY(Export(m_template, longer, rows).isEmpty());

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(early), longBook = ReadBack(longer);
    QVERIFY2(!book.isEmpty() && !longBook.isEmpty(), qPrintable(m_readError));
    const QJsonObject sheet = Sheet(book, "Sheet1"), longSheet = Sheet(longBook, "Sheet1");
    QString mismatch = Mismatch(sheet, {{"A2", {{"value", 1}, {"border", "thin"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:G2"));
    QCOMPARE(sheet.value("autoFilter").toString(), QStringLiteral("A1:G2"));
    // Every row takes the column formats, not only the first few.
    mismatch = Mismatch(longSheet, {{"G6", {{"value", "r"}, {"border", "thin"}}},
                                    {"G7", {{"value", "r"}, {"border", "thin"}}},
                                    {"A9", {{"value", 8}, {"border", "thin"}}},
                                    {"E9", {{"value", "2009-12-29T08:05:09"}, {"border", "thin"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(longSheet.value("dimension").toString(), QStringLiteral("A1:G9"));
}

void TestWorkbookWriter::readsCellTextsAsExcelReadsTypedInput()
{
    struct Case
    {
        const char *input;
        const char *type; // openpyxl's data type; "" for an empty cell
        QJsonValue value;
        bool quoted;
    };
    const Case cases[] = {
        // Plain numbers.
        {"12", "n", 12, false},
        {"-3.5", "n", -3.5, false},
        {".5", "n", 0.5, false},
        {"1e3", "n", 1000, false},
        {"2.5E-2", "n", 0.025, false},
        {"0123", "n", 123, false},
        {"-0", "n", 0, false},
        // Excel keeps 15 significant digits of what is typed.
        {"12345678901234567", "n", 12345678901234500.0, false},
        // Typed without the apostrophe, Excel takes a leading "+" for a sign.
        {"+8613912345678", "n", 8613912345678.0, false},
        // The apostrophe keeps a text, and only the first one goes.
        {"'+8613912345678", "s", "+8613912345678", true},
        {"'0123", "s", "0123", true},
        {"'01:05", "s", "01:05", true},
        {"''x", "s", "'x", true},
        {"'", "", QJsonValue(), true},
        // Texts, never formulas, and nothing that only resembles a number.
        {"=1+1", "s", "=1+1", false},
        {"@x", "s", "@x", false},
        {"-abc", "s", "-abc", false},
        {"+", "s", "+", false},
        {"-", "s", "-", false},
        {"1e", "s", "1e", false},
        {"1.2.3", "s", "1.2.3", false},
        {" 12", "s", " 12", false},
        {"1,234", "s", "1,234", false},
        {"1e999", "s", "1e999", false},
        {"0x1F", "s", "0x1F", false},
        {"01:05", "s", "01:05", false},
        // Start times become date-times, with calendar checks.
        {"2009-12-29 08:05:09", "d", "2009-12-29T08:05:09", false},
        {"2008-02-29 23:59:59", "d", "2008-02-29T23:59:59", false},
        {"1900-01-01 00:00:00", "d", "1900-01-01T00:00:00", false},
        {"1900-03-01 12:00:00", "d", "1900-03-01T12:00:00", false},
        {"2009-02-29 00:00:00", "s", "2009-02-29 00:00:00", false},
        {"2009-12-29 24:00:00", "s", "2009-12-29 24:00:00", false},
        {"1899-12-31 00:00:00", "s", "1899-12-31 00:00:00", false},
        {"-01--01--01 -01:-01:-01", "s", "-01--01--01 -01:-01:-01", false},
        {"2009-12-29", "s", "2009-12-29", false},
    };
    const QString output = m_dir->filePath(QStringLiteral("values.xlsx"));
    WorkbookWriter writer;
    QVERIFY(writer.Open(m_template, output));
    QVERIFY(writer.AddRow(QStringList{QStringLiteral("input")}));
    for (const Case &c : cases)
        QVERIFY(writer.AddRow(QStringList{QString::fromUtf8(c.input), QStringLiteral("x")}));
    QVERIFY2(writer.Finish(), qPrintable(writer.ErrorText()));

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    const QJsonObject sheet = Sheet(book, "Sheet1");
    int row = 2;
    for (const Case &c : cases) {
        const QJsonObject cell = Cell(sheet, QStringLiteral("A%1").arg(row++));
        const QByteArray what = QByteArray("input ") + c.input;
        if (!*c.type) {
            QVERIFY2(cell.value("value").isNull() || cell.value("value").isUndefined(), what.constData());
            continue;
        }
        QVERIFY2(cell.value("type").toString() == QLatin1String(c.type), what.constData());
        if (c.value.isDouble())
            QVERIFY2(cell.value("value").toDouble() == c.value.toDouble(), what.constData());
        else
            QVERIFY2(cell.value("value") == c.value, what.constData());
        QVERIFY2(cell.value("quotePrefix").toBool() == c.quoted, what.constData());
        if (QLatin1String(c.type) == QLatin1String("d"))
            QVERIFY2(cell.value("format").toString() == QLatin1String("yyyy-mm-dd hh:mm:ss"), what.constData());
    }
}

void TestWorkbookWriter::keepsTextsIntact()
{
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
    const QString longText(40000, QLatin1Char('w'));
    const QStringList texts = {
        QStringLiteral("张伟 王芳 (销售部)"),
        QStringLiteral("İstanbul ığüşöç ĞÜŞÖÇ"),
        QStringLiteral("emoji 😀 done"),
        QStringLiteral("<a & b> \"q\" 'a'"),
        QStringLiteral("  padded  "),
        QStringLiteral("line1\nline2\tend"),
        QStringLiteral("a\x01"
                       "b\x1F"
                       "c"),
        QStringLiteral("x\ry"),
        QStringLiteral("_x0041_ stays as typed"),
        QStringLiteral("_x00 and _X0041_ are no escapes"),
        lone,
        QStringLiteral("end") + QChar(0xFFFF),
        longText,
    };
    // openpyxl reports strings as stored, so the escapes the file must carry are expected.
    const QStringList stored = {
        texts[0],
        texts[1],
        texts[2],
        texts[3],
        texts[4],
        texts[5],
        QStringLiteral("a_x0001_b_x001F_c"),
        QStringLiteral("x_x000D_y"),
        QStringLiteral("_x005F_x0041_ stays as typed"),
        texts[9],
        QStringLiteral("_xD800_x"),
        QStringLiteral("end_xFFFF_"),
        QString(32767, QLatin1Char('w')),
    };
    const QString output = m_dir->filePath(QStringLiteral("texts.xlsx"));
    WorkbookWriter writer;
    QVERIFY(writer.Open(m_template, output));
    for (const QString &text : texts)
        QVERIFY(writer.AddRow(QStringList{text}));
    QVERIFY2(writer.Finish(), qPrintable(writer.ErrorText()));

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    const QJsonObject sheet = Sheet(book, "Sheet1");
    for (int i = 0; i < stored.size(); ++i) {
        const QJsonObject cell = Cell(sheet, QStringLiteral("A%1").arg(i + 1));
        QCOMPARE(cell.value("type").toString(), QStringLiteral("s"));
        QCOMPARE(cell.value("value").toString(), stored[i]);
    }
}

void TestWorkbookWriter::streamsManyRows()
{
    // Enough rows for the worksheet to pass through its temporary file in several pieces.
    constexpr int kRows = 25000;
    const QString output = m_dir->filePath(QStringLiteral("many.xlsx"));
    WorkbookWriter writer;
    QVERIFY(writer.Open(m_template, output));
    QVERIFY(writer.AddRow(kHeaders));
    for (int i = 1; i <= kRows; ++i) {
        const QString start = QStringLiteral("2010-01-%1 %2:%3:%4")
                                  .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                  .arg(i % 24, 2, 10, QLatin1Char('0'))
                                  .arg(i % 60, 2, 10, QLatin1Char('0'))
                                  .arg((i * 7) % 60, 2, 10, QLatin1Char('0'));
        QVERIFY(writer.AddRow(CallRow(i, QStringLiteral("用户%1").arg(i), "来电", QStringLiteral("0%1").arg(i), start,
                                      "01:05", QStringLiteral("备注 %1").arg(i))));
    }
    QVERIFY2(writer.Finish(), qPrintable(writer.ErrorText()));

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output, QStringLiteral("1,2,12346,25001"));
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    QCOMPARE(book.value("max_row").toObject().value("Sheet1").toInt(), kRows + 1);
    const QJsonObject sheet = Sheet(book, "Sheet1");
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:G25001"));
    const QString mismatch = Mismatch(sheet, {{"A1", {{"value", kHeaders[0]}}},
                                              {"A12346", {{"value", 12345}}},
                                              {"B12346", {{"value", "用户12345"}}},
                                              {"D12346", {{"value", "012345"}}},
                                              {"E12346", {{"value", "2010-01-26T09:45:15"}}},
                                              {"A25001", {{"value", kRows}}},
                                              {"G25001", {{"value", "备注 25000"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(Listing(m_dir->path()), QStringList({"data", "many.xlsx"}));
}

void TestWorkbookWriter::respectsAUserEditedTemplate()
{
    SKIP_PYTHON_CHECKS(); // the edited template is made with openpyxl
    const QString edited = m_dir->filePath(QStringLiteral("edited.xlsx"));
    QProcess maker;
    maker.start(QStringLiteral(ORVIK_TEST_PYTHON), {QFileInfo(QStringLiteral(ORVIK_WORKBOOK_READER)).absolutePath()
                                                        + QStringLiteral("/make_edited_template.py"),
                                                    edited});
    QVERIFY(maker.waitForFinished(60000));
    QVERIFY2(maker.exitCode() == 0, maker.readAllStandardError().constData());
    const Parts before = ReadParts(edited);

    const QString output = m_dir->filePath(QStringLiteral("from-edited.xlsx"));
    const QString error = Export(edited, output,
                                 {kHeaders, CallRow(1, "a", "b", "0123", "2009-12-29 08:05:09", "01:05", "new"),
                                  CallRow(2, "c", "d", "0456", "2009-12-30 10:00:00", "02:00", "")});
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    QCOMPARE(book.value("sheets").toArray(), QJsonArray({"Notes", "SHEET1"}));

    // The other sheet is untouched, its shared strings and formula included.
    const QJsonObject notes = Sheet(book, "Notes");
    QCOMPARE(Cell(notes, "A1").value("value").toString(), QStringLiteral("keep me"));
    QCOMPARE(Cell(notes, "B2").value("value").toDouble(), 42.0);
    QCOMPARE(Cell(notes, "C3").value("value").toString(), QStringLiteral("=B2*2"));
    const Parts after = ReadParts(output);
    for (const auto &part : before) {
        if (!part.first.contains(QLatin1String("sheet2")) && !part.first.contains(QLatin1String("styles")))
            QVERIFY2(Part(after, part.first) == part.second, qPrintable(part.first));
    }

    const QJsonObject sheet = Sheet(book, "SHEET1");
    const QString mismatch =
        Mismatch(sheet, {{"A1", {{"value", kHeaders[0]}, {"bold", false}}},
                         {"E2", {{"value", "2009-12-29T08:05:09"}, {"format", "yyyy-mm-dd hh:mm:ss"}}},
                         // A cell already there takes the new value and keeps its format.
                         {"C2", {{"value", "b"}, {"italic", true}}},
                         // New cells: the row's format first, else the column's.
                         {"A3", {{"fillColor", "FF00B0F0"}}},
                         {"D3", {{"value", "0456"}, {"fillColor", "FF00B0F0"}}},
                         {"E3", {{"fillColor", "FF00B0F0"}, {"format", "yyyy-mm-dd hh:mm:ss"}}},
                         {"D2", {{"fillColor", "FFFFFF00"}, {"quotePrefix", true}}},
                         {"A2", {{"fill", QJsonValue()}}},
                         // A formatted cell in the formatted row keeps its own format.
                         {"B3", {{"value", "c"}, {"border", "thick"}, {"fill", QJsonValue()}}},
                         // Cells beyond the written ones stay.
                         {"J2", {{"value", "kept"}}},
                         {"A10", {{"value", "below"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    bool wideB = false;
    for (const QJsonValue &column : sheet.value("columns").toArray()) {
        const QJsonObject c = column.toObject();
        if (c.value("min").toInt() == 2 && c.value("max").toInt() == 2)
            wideB = c.value("width").toDouble() == 30.0;
    }
    QVERIFY(wideB);
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:J10"));
}

void TestWorkbookWriter::handlesHandWrittenWorksheetXml()
{
    // A worksheet with a namespace prefix, rows and cells without references, a comment, an
    // attribute value holding '>' and no <dimension>.
    Parts parts = TemplateParts();
    SetPart(
        parts, "xl/worksheets/sheet1.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">\n"
        "<!-- written by hand: <row> in a comment is no row -->\n"
        "<x:sheetPr codeName=\"a&gt;b>c\"/>\n"
        "<x:sheetData>\n"
        "  <x:row><x:c s=\"2\"/><x:c t=\"inlineStr\"><x:is><x:t>old &amp; gone</x:t></x:is></x:c></x:row>\n"
        "  <x:row r=\"3\" spans=\"1:9\"><x:c r=\"I3\" t=\"inlineStr\"><x:is><x:t>far right</x:t></x:is></x:c></x:row>\n"
        "  <x:row><x:c r=\"B4\"><x:v>7</x:v></x:c></x:row>\n"
        "</x:sheetData>\n"
        "<x:pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>\n"
        "</x:worksheet>\n");
    const QString prefixed = m_dir->filePath(QStringLiteral("prefixed.xlsx"));
    QVERIFY(WriteParts(prefixed, parts));

    const QString output = m_dir->filePath(QStringLiteral("out.xlsx"));
    const QString error = Export(prefixed, output, {{"h1", "h2", "h3"}, {"1", "2009-12-29 08:05:09", "'x"}});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    const QJsonObject sheet = Sheet(book, "Sheet1");
    const QString mismatch = Mismatch(sheet, {{"A1", {{"value", "h1"}, {"border", "thin"}}},
                                              {"B1", {{"value", "h2"}}},
                                              {"C1", {{"value", "h3"}}},
                                              {"A2", {{"value", 1}}},
                                              {"B2", {{"value", "2009-12-29T08:05:09"}}},
                                              {"C2", {{"value", "x"}}},
                                              {"I3", {{"value", "far right"}}},
                                              {"B4", {{"value", 7}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:I4"));
}

void TestWorkbookWriter::followsTheWorkbooksOwnPartList()
{
    // The workbook part elsewhere, the sheet "sheet1" second and in lower case, its part under
    // another name reached by an absolute target, the styles by a target with ".." (in the
    // one place openpyxl looks for them), and the 1904 date system.
    const Parts original = TemplateParts();
    Parts parts;
    SetPart(parts, "[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/book/main.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            "<Override PartName=\"/book/sheets/first.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/book/sheets/data.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/xl/styles.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
            "</Types>");
    SetPart(parts, "_rels/.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
            "Target=\"book/main.xml\"/>"
            "</Relationships>");
    SetPart(parts, "book/main.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<workbookPr date1904=\"1\"/><sheets>"
            "<sheet name=\"First\" sheetId=\"1\" r:id=\"rIdA\"/>"
            "<sheet name=\"sheet1\" sheetId=\"2\" r:id=\"rIdB\"/>"
            "</sheets></workbook>");
    SetPart(
        parts, "book/_rels/main.xml.rels",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rIdA\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
        "Target=\"sheets/first.xml\"/>"
        "<Relationship Id=\"rIdB\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
        "Target=\"/book/sheets/data.xml\"/>"
        "<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
        "Target=\"../xl/styles.xml\"/>"
        "</Relationships>");
    const QByteArray first =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>first sheet</t></is></c></row></sheetData></worksheet>";
    SetPart(parts, "book/sheets/first.xml", first);
    SetPart(parts, "book/sheets/data.xml", Part(original, "xl/worksheets/sheet1.xml"));
    SetPart(parts, "xl/styles.xml", Part(original, "xl/styles.xml"));
    const QString relocated = m_dir->filePath(QStringLiteral("relocated.xlsx"));
    QVERIFY(WriteParts(relocated, parts));

    const QString output = m_dir->filePath(QStringLiteral("out.xlsx"));
    const QString error = Export(relocated, output,
                                 {{"when"}, {"2009-12-29 08:05:09"}, {"1904-01-02 06:00:00"}, {"1903-12-31 23:59:59"}});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    QVERIFY(book.value("date1904").toBool());
    QCOMPARE(book.value("sheets").toArray(), QJsonArray({"First", "sheet1"}));
    // Before the start of the 1904 date system there is no date: the text stays.
    const QString mismatch = Mismatch(Sheet(book, "sheet1"), {{"A1", {{"value", "when"}, {"bold", true}}},
                                                              {"A2", {{"value", "2009-12-29T08:05:09"}}},
                                                              {"A3", {{"value", "1904-01-02T06:00:00"}}},
                                                              {"A4", {{"type", "s"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(Cell(Sheet(book, "First"), "A1").value("value").toString(), QStringLiteral("first sheet"));
    QCOMPARE(Part(ReadParts(output), "book/sheets/first.xml"), first);
}

void TestWorkbookWriter::addsAStylePartWhenTheTemplateHasNone()
{
    Parts parts = TemplateParts();
    RemovePart(parts, "xl/styles.xml");
    QByteArray rels = Part(parts, "xl/_rels/workbook.xml.rels");
    const qsizetype at = rels.indexOf("<Relationship Id=\"rId2\"");
    rels.remove(at, rels.indexOf("/>", at) + 2 - at);
    SetPart(parts, "xl/_rels/workbook.xml.rels", rels);
    QByteArray types = Part(parts, "[Content_Types].xml");
    types.replace("<Override PartName=\"/xl/styles.xml\" "
                  "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>",
                  "");
    SetPart(parts, "[Content_Types].xml", types);
    // An empty <sheetData/> without <dimension>, and none of the template's cell formats,
    // which would need the style part.
    SetPart(parts, "xl/worksheets/sheet1.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData/></worksheet>");
    const QString bare = m_dir->filePath(QStringLiteral("bare.xlsx"));
    QVERIFY(WriteParts(bare, parts));

    const QString output = m_dir->filePath(QStringLiteral("out.xlsx"));
    const QString error = Export(bare, output, {{"2009-12-29 08:05:09", "'007", "plain"}});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    const QString mismatch =
        Mismatch(Sheet(book, "Sheet1"), {{"A1", {{"value", "2009-12-29T08:05:09"}, {"format", "yyyy-mm-dd hh:mm:ss"}}},
                                         {"B1", {{"value", "007"}, {"quotePrefix", true}}},
                                         {"C1", {{"quotePrefix", false}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(PartNames(ReadParts(output)).contains(QStringLiteral("xl/styles.xml")));

    // Without dates or apostrophes nothing needs a style part, and none is added.
    QVERIFY(Export(bare, output, {{"1", "plain"}}).isEmpty());
    QVERIFY(!PartNames(ReadParts(output)).contains(QStringLiteral("xl/styles.xml")));
}

void TestWorkbookWriter::dropsTheCalculationChainWhenAFormulaIsOverwritten()
{
    Parts parts = TemplateParts();
    SetPart(parts, "xl/worksheets/sheet1.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
            "<row r=\"2\"><c r=\"A2\"><f>1+1</f><v>2</v></c><c r=\"H2\"><f>2+2</f><v>4</v></c></row>"
            "</sheetData></worksheet>");
    SetPart(parts, "xl/calcChain.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<c r=\"A2\" i=\"1\"/><c r=\"H2\"/></calcChain>");
    QByteArray rels = Part(parts, "xl/_rels/workbook.xml.rels");
    rels.replace("</Relationships>",
                 "<Relationship Id=\"rIdCalc\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                 "relationships/calcChain\" Target=\"calcChain.xml\"/></Relationships>");
    SetPart(parts, "xl/_rels/workbook.xml.rels", rels);
    QByteArray types = Part(parts, "[Content_Types].xml");
    types.replace(
        "</Types>",
        "<Override PartName=\"/xl/calcChain.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/></Types>");
    SetPart(parts, "[Content_Types].xml", types);
    const QString withFormulas = m_dir->filePath(QStringLiteral("formulas.xlsx"));
    QVERIFY(WriteParts(withFormulas, parts));

    // Only row 1 written: the formulas stay, and so does the chain.
    const QString output = m_dir->filePath(QStringLiteral("out.xlsx"));
    QVERIFY(Export(withFormulas, output, {{"h"}}).isEmpty());
    Parts written = ReadParts(output);
    QVERIFY(PartNames(written).contains(QStringLiteral("xl/calcChain.xml")));
    QCOMPARE(Part(written, "xl/_rels/workbook.xml.rels"), rels);

    // A2's formula overwritten: the chain goes, with its relationship and content type.
    QVERIFY(Export(withFormulas, output, {{"h"}, {"5"}}).isEmpty());
    written = ReadParts(output);
    QVERIFY(!PartNames(written).contains(QStringLiteral("xl/calcChain.xml")));
    QVERIFY(!Part(written, "xl/_rels/workbook.xml.rels").contains("calcChain"));
    QVERIFY(Part(written, "xl/_rels/workbook.xml.rels").contains("worksheets/sheet1.xml"));
    QVERIFY(!Part(written, "[Content_Types].xml").contains("calcChain"));
    QVERIFY(Part(written, "[Content_Types].xml").contains("/xl/styles.xml"));
    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(output);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    const QString mismatch = Mismatch(Sheet(book, "Sheet1"), {{"A2", {{"value", 5}}}, {"H2", {{"value", "=2+2"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestWorkbookWriter::failuresLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected"); // part of the error text
    QTest::newRow("template missing") << "missing"
                                      << "does not exist";
    QTest::newRow("template not a zip") << "notzip"
                                        << "not a workbook";
#ifndef _WIN32
    // Refused as what they are, without waiting for a writer or reading a device for ever.
    QTest::newRow("template a named pipe") << "fifo"
                                           << "is not a regular file (a named pipe)";
    QTest::newRow("template a link to a device") << "device"
                                                 << "is not a regular file (a character device)";
#endif
    QTest::newRow("zip without a workbook") << "nobook"
                                            << "not a workbook";
    QTest::newRow("no sheet1") << "nosheet"
                               << "no worksheet named";
    QTest::newRow("broken worksheet xml") << "broken"
                                          << "not well-formed";
    QTest::newRow("output folder missing") << "nofolder"
                                           << "Cannot write";
    QTest::newRow("output folder below a file") << "belowfile"
                                                << "Cannot write";
    QTest::newRow("output is a folder") << "isfolder"
                                        << "it is a folder";
}

void TestWorkbookWriter::failuresLeaveNothingBehind()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    const QString work = m_dir->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QString templatePath = m_template;
    QString output = QDir(work).filePath(QStringLiteral("out.xlsx"));
    Parts parts = TemplateParts();

    if (kind == QLatin1String("missing")) {
        templatePath = QDir(work).filePath(QStringLiteral("absent.xlsx"));
    } else if (kind == QLatin1String("notzip")) {
        templatePath = QDir(work).filePath(QStringLiteral("text.xlsx"));
        QVERIFY(TestFiles::write(templatePath, "just some text, not a zip archive"));
    } else if (kind == QLatin1String("fifo")) {
#ifndef _WIN32
        templatePath = QDir(work).filePath(QStringLiteral("pipe.xlsx"));
        QVERIFY(::mkfifo(QFile::encodeName(templatePath).constData(), 0600) == 0);
#endif
    } else if (kind == QLatin1String("device")) {
        templatePath = QDir(work).filePath(QStringLiteral("zero.xlsx"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), templatePath));
    } else if (kind == QLatin1String("nobook")) {
        templatePath = QDir(work).filePath(QStringLiteral("other.zip"));
        QVERIFY(WriteParts(templatePath, {{"readme.txt", "hello"}}));
    } else if (kind == QLatin1String("nosheet")) {
        QByteArray workbook = Part(parts, "xl/workbook.xml");
        workbook.replace("name=\"Sheet1\"", "name=\"Sheet 1\"");
        SetPart(parts, "xl/workbook.xml", workbook);
        templatePath = QDir(work).filePath(QStringLiteral("renamed.xlsx"));
        QVERIFY(WriteParts(templatePath, parts));
    } else if (kind == QLatin1String("broken")) {
        QByteArray sheet = Part(parts, "xl/worksheets/sheet1.xml");
        sheet.replace("</sheetData>", "<row r=\"9\"><c r=\"A9\"></sheetData>");
        sheet.chop(sheet.size() - sheet.indexOf("</sheetData>") - 20);
        SetPart(parts, "xl/worksheets/sheet1.xml", sheet);
        templatePath = QDir(work).filePath(QStringLiteral("broken.xlsx"));
        QVERIFY(WriteParts(templatePath, parts));
    } else if (kind == QLatin1String("nofolder")) {
        output = QDir(work).filePath(QStringLiteral("absent/out.xlsx"));
    } else if (kind == QLatin1String("belowfile")) {
        // Holds for root too: nothing can be created below a regular file.
        QVERIFY(TestFiles::write(QDir(work).filePath(QStringLiteral("file")), "x"));
        output = QDir(work).filePath(QStringLiteral("file/out.xlsx"));
    } else if (kind == QLatin1String("isfolder")) {
        QVERIFY(QDir().mkpath(output));
    }

    // An earlier file at the output path (where there can be one) stays as it was.
    const bool earlier =
        kind != QLatin1String("nofolder") && kind != QLatin1String("belowfile") && kind != QLatin1String("isfolder");
    if (earlier)
        QVERIFY(TestFiles::write(output, "earlier export"));
    const QStringList listing = Listing(work);

    WorkbookWriter writer;
    QVERIFY(!writer.Open(templatePath, output));
    QVERIFY2(writer.ErrorText().contains(expected), qPrintable(writer.ErrorText()));
    QVERIFY(!writer.IsOpen());
    QVERIFY(!writer.AddRow(kHeaders));
    QVERIFY(!writer.Finish());
    QCOMPARE(Listing(work), listing);
    if (earlier)
        QCOMPARE(TestFiles::read(output), QByteArray("earlier export"));
}

void TestWorkbookWriter::failureWhileWritingLeavesNothingBehind()
{
    const QString work = m_dir->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    const QString output = QDir(work).filePath(QStringLiteral("out.xlsx"));

    // A row wider than a worksheet: the workbook is given up.
    {
        WorkbookWriter writer;
        QVERIFY(writer.Open(m_template, output));
        QVERIFY(writer.AddRow(kHeaders));
        QVERIFY(!writer.AddRow(QStringList(WorkbookWriter::kMaxColumns + 1, QStringLiteral("x"))));
        QVERIFY(writer.ErrorText().contains(QLatin1String("16384")));
        QVERIFY(!writer.IsOpen());
        QVERIFY(!writer.Finish());
        QCOMPARE(Listing(work), QStringList());
    }
    // A writer dropped before Finish(), or discarded, leaves nothing either.
    {
        WorkbookWriter writer;
        QVERIFY(writer.Open(m_template, output));
        QVERIFY(writer.AddRow(kHeaders));
    }
    QCOMPARE(Listing(work), QStringList());
    {
        WorkbookWriter writer;
        QVERIFY(writer.Open(m_template, output));
        QVERIFY(writer.AddRow(kHeaders));
        writer.Discard();
        QVERIFY(!writer.Finish());
        QCOMPARE(Listing(work), QStringList());
    }
    // The output folder removed while the rows are written: Finish() fails cleanly.
#ifdef _WIN32
    QSKIP("Windows does not remove a folder while a file in it is open");
#endif
    {
        WorkbookWriter writer;
        QVERIFY(writer.Open(m_template, output));
        QVERIFY(writer.AddRow(kHeaders));
        QVERIFY(QDir(work).removeRecursively());
        QVERIFY(!writer.Finish());
        QVERIFY(!writer.ErrorText().isEmpty());
        QVERIFY(!QFileInfo::exists(output));
    }
}

void TestWorkbookWriter::addsASheetAfterTheList()
{
    const QList<QStringList> rows = {kHeaders, CallRow(1, "张三", "来电", "0123", "2009-12-29 08:05:09", "01:05", "")};
    const QString plain = m_dir->filePath("plain.xlsx");
    QCOMPARE(Export(m_template, plain, rows), QString());
    using Row = WorkbookWriter::SheetRow;
    const std::vector<Row> sheetRows = {
        {Row::Title, {"Totals"}},
        {Row::Header, {"Calls", "Number", "First call"}},
        {Row::Body, {"60", "'0123", "2009-12-01 00:00:00"}},
        {Row::Body, {}},
        {Row::Body, {"04:37:44", "", "a & <b>"}},
    };
    const auto write = [&](const QString &templatePath, const QString &output) {
        WorkbookWriter writer;
        if (!writer.Open(templatePath, output))
            return writer.ErrorText();
        for (const QStringList &row : rows)
            writer.AddRow(row);
        if (!writer.AddSheet("Statistics", sheetRows, {22, 12}))
            return writer.ErrorText();
        return writer.Finish() ? QString() : writer.ErrorText();
    };
    const QString withSheet = m_dir->filePath("with-sheet.xlsx");
    QCOMPARE(write(m_template, withSheet), QString());

    // The list's sheet is the same part, byte for byte; the new one has its own part, listed
    // in the content types, the workbook's relationships and its sheet list.
    const Parts before = ReadParts(plain);
    const Parts after = ReadParts(withSheet);
    QCOMPARE(Part(after, "xl/worksheets/sheet1.xml"), Part(before, "xl/worksheets/sheet1.xml"));
    QVERIFY(!Part(after, "xl/worksheets/sheet2.xml").isEmpty());
    QVERIFY(Part(after, "[Content_Types].xml").contains("/xl/worksheets/sheet2.xml"));
    QVERIFY(Part(after, "xl/_rels/workbook.xml.rels").contains("Target=\"worksheets/sheet2.xml\""));
    QVERIFY(Part(after, "xl/workbook.xml").contains("name=\"Statistics\" sheetId=\"2\""));

    SKIP_PYTHON_CHECKS();
    const QJsonObject book = ReadBack(withSheet);
    QVERIFY2(!book.isEmpty(), qPrintable(m_readError));
    QCOMPARE(book.value("sheets").toArray(), QJsonArray({"Sheet1", "Statistics"}));
    QCOMPARE(Sheet(book, "Sheet1"), Sheet(ReadBack(plain), "Sheet1"));
    const QJsonObject sheet = Sheet(book, "Statistics");
    // Titles and headers as the list's header row looks, the rest framed as its columns;
    // texts read as typed input.
    const QString mismatch =
        Mismatch(sheet, {{"A1", {{"value", "Totals"}, {"bold", true}}},
                         {"C2", {{"value", "First call"}, {"bold", true}, {"border", "thin"}}},
                         {"A3", {{"value", 60}, {"type", "n"}, {"bold", false}, {"border", "thin"}}},
                         {"B3", {{"value", "0123"}, {"type", "s"}, {"quotePrefix", true}}},
                         {"C3", {{"value", "2009-12-01T00:00:00"}, {"type", "d"}, {"format", "yyyy-mm-dd hh:mm:ss"}}},
                         {"A5", {{"value", "04:37:44"}, {"type", "s"}}},
                         {"B5", {{"value", QJsonValue()}}},
                         {"C5", {{"value", "a & <b>"}}}});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:C5"));
    QCOMPARE(sheet.value("columns").toArray().at(0).toObject().value("width").toDouble(), 22.0);

    // A template that has a sheet of that name already keeps it: the new one is numbered.
    const QString ownTemplate = m_dir->filePath("own.xlsx");
    QProcess python;
    python.start(QStringLiteral(ORVIK_TEST_PYTHON),
                 {"-c",
                  "import sys, openpyxl\nbook = openpyxl.Workbook()\nbook.active.title = 'Sheet1'\n"
                  "book.create_sheet('STATISTICS')\nbook.save(sys.argv[1])",
                  ownTemplate});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const QString numbered = m_dir->filePath("numbered.xlsx");
    QCOMPARE(write(ownTemplate, numbered), QString());
    const QJsonObject second = ReadBack(numbered);
    QVERIFY2(!second.isEmpty(), qPrintable(m_readError));
    QCOMPARE(second.value("sheets").toArray(), QJsonArray({"Sheet1", "STATISTICS", "Statistics (2)"}));
    QCOMPARE(Cell(Sheet(second, "Statistics (2)"), "A3").value("value").toInt(), 60);
}

QTEST_GUILESS_MAIN(TestWorkbookWriter)
#include "tst_workbookwriter.moc"

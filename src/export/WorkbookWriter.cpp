#include "WorkbookWriter.h"

#include "CellText.h"
#include "WorkbookPackage.h"
#include "WorkbookStyles.h"
#include "xml/XmlScanner.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace {

// The worksheet the rows go to, as Excel's Worksheets.Item("sheet1") finds it.
const QString kSheetName = QStringLiteral("sheet1");

// Deflate level of the worksheet part. Measured with bench/bench_export.cpp on 100,000 call
// rows: level 1 takes 0.34 s for 5.9 MB, level 6 0.81 s for 4.6 MB (the size libxlsxwriter's
// shared strings give). The export is waited for; a quarter more bytes are not.
constexpr zip_uint32_t kSheetCompressionLevel = 1;

// The buffered worksheet text goes to the temporary file in pieces of about this size.
constexpr std::size_t kFlushSize = 1u << 20;

// Width reserved for the dimension's ref value ("A1:XFD1048576") and its closing quote; the
// value is filled in when the used range is known, the rest padded with blanks.
constexpr std::size_t kDimensionWidth = 14;

const char kStylesType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
const char kStylesContentType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";

// What a row or cell of the template keeps as it is written: the element's name ("c",
// "x:c"), whether it closes itself, and its attributes other than those the writer sets
// (r, and a row's spans, which would go stale), each after a blank.
struct TemplateElement
{
    explicit TemplateElement(const XmlToken &start) : name(start.name), selfClosing(start.selfClosing) {}

    std::string name;
    bool selfClosing;
    std::string attributes;
    int style = -1; // a cell's s; a row's only when it has customFormat
};

struct TemplateCell : TemplateElement
{
    using TemplateElement::TemplateElement;

    int column = 0;
    bool formula = false;
    std::string content; // everything between the start and the end tag
};

struct TemplateRow : TemplateElement
{
    using TemplateElement::TemplateElement;

    int row = 0;
    std::string extra; // children other than cells, kept after them
    std::vector<TemplateCell> cells;
};

bool IsTrue(std::string_view value)
{
    return value == "1" || value == "true";
}

// "B12" -> column 2; 0 when there are no column letters.
int ColumnOf(std::string_view reference)
{
    int column = 0;
    for (char c : reference) {
        if (c >= 'A' && c <= 'Z')
            column = column * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            column = column * 26 + (c - 'a' + 1);
        else
            break;
        if (column > WorkbookWriter::kMaxColumns)
            return 0;
    }
    return column;
}

void AppendInt(std::string &out, long long value)
{
    char buf[24];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, std::size_t(r.ptr - buf));
}

// Removes the first empty element <localName .../> whose attribute has the given value.
std::string RemoveElement(const std::string &xml, std::string_view localName, std::string_view attribute,
                          const QString &value, Qt::CaseSensitivity cs)
{
    XmlScanner scanner(xml);
    XmlToken token;
    std::vector<XmlAttribute> attributes;
    while (scanner.Next(token)) {
        if (!token.Is(XmlToken::StartTag, localName) || !XmlScanner::ParseAttributes(token.attributes, attributes))
            continue;
        const XmlAttribute *a = XmlScanner::Find(attributes, attribute);
        if (!a || XmlScanner::Decode(a->value).compare(value, cs) != 0)
            continue;
        const std::size_t begin = scanner.Offset(token.raw);
        if (!scanner.SkipElement(token))
            break;
        return xml.substr(0, begin) + xml.substr(scanner.Position());
    }
    return xml;
}

// Inserts text before the end tag of the document's root element.
std::string InsertBeforeRootEnd(const std::string &xml, const std::string &text)
{
    const std::size_t end = xml.rfind("</");
    if (end == std::string::npos)
        return xml;
    return xml.substr(0, end) + text + xml.substr(end);
}

// The template's autofilter covers its header row; it is extended down to `lastRow`, so that
// filtering takes in every row written. A filter that reaches further already stays.
void ExtendAutoFilter(std::string &tail, int lastRow)
{
    std::size_t tag = tail.find("autoFilter");
    while (tag != std::string::npos && tag > 0 && tail[tag - 1] != '<' && tail[tag - 1] != ':')
        tag = tail.find("autoFilter", tag + 1);
    if (tag == std::string::npos)
        return;
    const std::size_t end = tail.find('>', tag);
    const std::size_t ref = tail.find(" ref=\"", tag);
    if (end == std::string::npos || ref == std::string::npos || ref > end)
        return;
    const std::size_t valueBegin = ref + 6;
    const std::size_t valueEnd = tail.find('"', valueBegin);
    const std::size_t colon = tail.find(':', valueBegin);
    if (valueEnd == std::string::npos || valueEnd > end || colon == std::string::npos || colon > valueEnd)
        return;
    std::size_t digits = valueEnd;
    while (digits > colon + 1 && tail[digits - 1] >= '0' && tail[digits - 1] <= '9')
        --digits;
    if (digits == valueEnd || valueEnd - digits > 7)
        return;
    if (std::stoi(tail.substr(digits, valueEnd - digits)) < lastRow)
        tail.replace(digits, valueEnd - digits, std::to_string(lastRow));
}

} // namespace

struct WorkbookWriter::Impl
{
    WorkbookPackage package;
    WorkbookPackage::Layout layout;
    WorkbookStyles styles;
    bool stylesSynthesized = false;
    QString outputPath;
    QString error;
    bool open = false;

    // The template's worksheet part and where the writer splices into it.
    std::string sheet;
    std::size_t dimensionBegin = 0, dimensionEnd = 0; // the <dimension> element (or where it goes)
    std::size_t sheetDataBegin = 0, sheetDataOpenEnd = 0;
    bool sheetDataSelfClosing = false;
    std::string sheetDataName;
    std::size_t tailBegin = 0; // after </sheetData>
    std::vector<TemplateRow> rows;
    std::size_t nextTemplateRow = 0;
    std::vector<int> columnStyles; // by column number; -1 when none

    // Element texts with the sheet's namespace prefix.
    std::string rowOpen, rowClose, cellOpen, cellClose, valueOpen, valueClose;
    std::string inlineOpen, inlineOpenPreserve, inlineClose;

    std::unique_ptr<QTemporaryFile> sheetFile;
    std::string buf;
    qint64 flushed = 0;
    qint64 dimensionAt = 0;
    int row = 0;
    int minRow = 0, maxRow = 0, minColumn = 0, maxColumn = 0;
    bool replacedFormula = false;

    // Worksheets added after the template's (AddSheet), made whole when added.
    struct ExtraSheet
    {
        QString name;
        std::string xml;
    };
    std::vector<ExtraSheet> extraSheets;
    std::string ExtraSheetXml(const std::vector<WorkbookWriter::SheetRow> &sheetRows,
                              const std::vector<double> &columnWidths);

    bool Fail(const QString &text)
    {
        error = text;
        Reset();
        return false;
    }

    void Reset()
    {
        open = false;
        package.Close();
        sheetFile.reset(); // removes the temporary file
        buf = std::string();
        rows.clear();
        sheet.clear();
    }

    bool ParseSheet();
    // Fails with the message for a worksheet that is not well-formed XML.
    bool SheetMalformed();
    // The column formats of <cols>; false when its markup is malformed (error not set).
    bool ParseColumnStyles(XmlScanner &scanner, const XmlToken &cols);
    // The element texts of written rows and cells, with the worksheet's namespace prefix.
    void SetElementTexts(const std::string &prefix);
    // <sheetData> and its template rows; false when a row cannot be used (with the error set)
    // or the markup is malformed.
    bool ParseSheetData(XmlScanner &scanner, const XmlToken &sheetData);
    bool ParseRow(XmlScanner &scanner, const XmlToken &start, int previousRow);
    bool ParseCell(XmlScanner &scanner, const XmlToken &start, int previousColumn, TemplateCell &cell);
    void WriteHead();
    void Touch(int r, int column)
    {
        if (minRow == 0 || r < minRow)
            minRow = r;
        if (r > maxRow)
            maxRow = r;
        if (minColumn == 0 || column < minColumn)
            minColumn = column;
        if (column > maxColumn)
            maxColumn = column;
    }
    void WriteTemplateRow(const TemplateRow &templateRow);
    void WriteTemplateCell(const TemplateCell &cell, const std::string &rowText, int r);
    void WriteCell(int column, const std::string &rowText, int r, int style, const QString &text, bool keepEmpty);
    bool Flush(bool force);
    std::string DimensionRef() const;

    // The parts of the output that differ from the template's, besides the worksheet.
    struct PartChanges
    {
        std::vector<std::pair<std::string, std::string>> replaced; // by name in the template
        std::vector<std::pair<std::string, std::string>> added;
        std::string skipped; // a part left out: the calculation chain
    };
    // Writes the output: the template's parts, the worksheet and the changed parts.
    bool WritePackage();
    bool CollectPartChanges(PartChanges &changes);
    // A style part for a template without one, with its relationship and content type.
    void AddStylesPart(std::string &relsXml, std::string &typesXml, PartChanges &changes);
    bool WriteArchive(const PartChanges &changes);
    // The parts of the added worksheets, their relationships, content types and entries in
    // the workbook's sheet list.
    bool AddExtraSheets(std::string &relsXml, std::string &typesXml, PartChanges &changes);
};

WorkbookWriter::WorkbookWriter() : d(std::make_unique<Impl>()) {}

WorkbookWriter::~WorkbookWriter() = default;

bool WorkbookWriter::IsOpen() const
{
    return d->open;
}

int WorkbookWriter::RowsWritten() const
{
    return d->row;
}

QString WorkbookWriter::ErrorText() const
{
    return d->error;
}

void WorkbookWriter::Discard()
{
    d->Reset();
}

bool WorkbookWriter::Open(const QString &templatePath, const QString &outputPath)
{
    d = std::make_unique<Impl>();
    Impl &w = *d;
    w.outputPath = QFileInfo(outputPath).absoluteFilePath();

    if (!w.package.Open(templatePath) || !w.package.Locate(kSheetName, w.layout))
        return w.Fail(w.package.ErrorText());
    if (!w.package.Read(w.layout.sheetPart, w.sheet))
        return w.Fail(w.package.ErrorText());
    if (!w.ParseSheet())
        return false;

    std::string stylesXml;
    if (w.layout.stylesPart.empty()) {
        w.stylesSynthesized = true;
        stylesXml = WorkbookStyles::MinimalStyleSheet();
    } else if (!w.package.Read(w.layout.stylesPart, stylesXml)) {
        return w.Fail(w.package.ErrorText());
    }
    if (!w.styles.Parse(std::move(stylesXml)))
        return w.Fail(w.styles.ErrorText());

    // The worksheet goes to a temporary file beside the output: that shows at once whether
    // the output's folder can be written, before any row is produced.
    const QFileInfo output(w.outputPath);
    if (output.isDir())
        return w.Fail(QStringLiteral("Cannot write the workbook %1: it is a folder.").arg(w.outputPath));
    w.sheetFile = std::make_unique<QTemporaryFile>(output.absolutePath() + QStringLiteral("/.orvik-sheet-XXXXXX.xml"));
    if (!w.sheetFile->open())
        return w.Fail(QStringLiteral("Cannot write the workbook %1: %2").arg(w.outputPath, w.sheetFile->errorString()));

    w.buf.reserve(kFlushSize + (64u << 10));
    w.WriteHead();
    w.open = true;
    return true;
}

bool WorkbookWriter::Impl::SheetMalformed()
{
    return Fail(QStringLiteral("The worksheet part %1 of the template is not well-formed XML.")
                    .arg(QString::fromStdString(layout.sheetPart)));
}

bool WorkbookWriter::Impl::ParseSheet()
{
    if (sheet.size() >= 2
        && ((uchar(sheet[0]) == 0xFF && uchar(sheet[1]) == 0xFE)
            || (uchar(sheet[0]) == 0xFE && uchar(sheet[1]) == 0xFF)))
        return Fail(QStringLiteral("The worksheet of the template is not encoded in UTF-8."));

    XmlScanner scanner(sheet);
    XmlToken token;
    while (scanner.Next(token) && token.kind != XmlToken::StartTag) {}
    if (scanner.Failed())
        return SheetMalformed();
    if (!token.Is(XmlToken::StartTag, "worksheet") || token.selfClosing)
        return Fail(QStringLiteral("The sheet \"sheet1\" of the template is not a worksheet."));

    bool haveDimension = false, haveInsertPoint = false, haveSheetData = false;
    columnStyles.assign(std::size_t(WorkbookWriter::kMaxColumns) + 1, -1);

    // A child that cannot be used says why (error is set); otherwise the markup is broken.
    const XmlToken root = token;
    const bool read = scanner.ForEachChild(root, [&](const XmlToken &element) {
        const std::string_view local = element.LocalName();
        const std::size_t start = scanner.Offset(element.raw);
        // <dimension> comes right after <sheetPr>, before everything else.
        if (!haveInsertPoint && local != "sheetPr") {
            dimensionBegin = dimensionEnd = start;
            haveInsertPoint = true;
        }
        if (local == "dimension" && !haveDimension) {
            if (haveSheetData)
                return Fail(QStringLiteral("The worksheet of the template has its elements out of order."));
            if (!scanner.SkipElement(element))
                return false;
            dimensionBegin = start;
            dimensionEnd = scanner.Position();
            haveDimension = true;
            return true;
        }
        if (local == "cols")
            return ParseColumnStyles(scanner, element);
        if (local == "sheetData" && !haveSheetData) {
            haveSheetData = true;
            return ParseSheetData(scanner, element);
        }
        return scanner.SkipElement(element);
    });
    if (!read)
        return error.isEmpty() ? SheetMalformed() : false;
    if (!haveSheetData)
        return Fail(QStringLiteral("The worksheet of the template has no cell table (sheetData)."));
    return true;
}

bool WorkbookWriter::Impl::ParseColumnStyles(XmlScanner &scanner, const XmlToken &cols)
{
    std::vector<XmlAttribute> attributes;
    return scanner.ForEachChild(cols, [&](const XmlToken &col) {
        if (col.LocalName() == "col" && XmlScanner::ParseAttributes(col.attributes, attributes)) {
            const XmlAttribute *min = XmlScanner::Find(attributes, "min");
            const XmlAttribute *max = XmlScanner::Find(attributes, "max");
            const XmlAttribute *style = XmlScanner::Find(attributes, "style");
            const long long first = min ? XmlScanner::ToNumber(min->value) : -1;
            const long long last = max ? XmlScanner::ToNumber(max->value) : -1;
            const long long s = style ? XmlScanner::ToNumber(style->value) : -1;
            if (s > 0 && first >= 1 && last >= first) {
                for (long long c = first; c <= std::min<long long>(last, WorkbookWriter::kMaxColumns); ++c)
                    columnStyles[std::size_t(c)] = int(s);
            }
        }
        return scanner.SkipElement(col);
    });
}

void WorkbookWriter::Impl::SetElementTexts(const std::string &p)
{
    rowOpen = "<" + p + "row r=\"";
    rowClose = "</" + p + "row>";
    cellOpen = "<" + p + "c r=\"";
    cellClose = "</" + p + "c>";
    valueOpen = "<" + p + "v>";
    valueClose = "</" + p + "v>";
    inlineOpen = "<" + p + "is><" + p + "t>";
    inlineOpenPreserve = "<" + p + "is><" + p + "t xml:space=\"preserve\">";
    inlineClose = "</" + p + "t></" + p + "is>";
}

bool WorkbookWriter::Impl::ParseSheetData(XmlScanner &scanner, const XmlToken &sheetData)
{
    sheetDataBegin = scanner.Offset(sheetData.raw);
    sheetDataOpenEnd = scanner.Position();
    sheetDataSelfClosing = sheetData.selfClosing;
    sheetDataName = std::string(sheetData.name);
    SetElementTexts(std::string(sheetData.Prefix()));

    // ParseRow says why it refuses a row; a failure of the scanner is reported by the caller.
    int previousRow = 0;
    const bool read = scanner.ForEachChild(sheetData, [&](const XmlToken &child) {
        if (child.LocalName() != "row")
            return scanner.SkipElement(child);
        if (!ParseRow(scanner, child, previousRow))
            return false;
        previousRow = rows.back().row;
        return true;
    });
    tailBegin = scanner.Position();
    return read;
}

bool WorkbookWriter::Impl::ParseRow(XmlScanner &scanner, const XmlToken &start, int previousRow)
{
    std::vector<XmlAttribute> attributes;
    if (!XmlScanner::ParseAttributes(start.attributes, attributes))
        return SheetMalformed();
    TemplateRow row(start);
    row.row = previousRow + 1; // a row without r follows the one before it
    bool customFormat = false;
    int style = -1;
    for (const XmlAttribute &a : attributes) {
        if (a.name == "r") {
            const long long r = XmlScanner::ToNumber(a.value);
            if (r < 1 || r > WorkbookWriter::kMaxRows)
                return SheetMalformed();
            row.row = int(r);
        } else if (a.name != "spans") {
            if (a.name == "customFormat")
                customFormat = IsTrue(a.value);
            else if (a.name == "s")
                style = int(std::max(-1LL, XmlScanner::ToNumber(a.value)));
            row.attributes += ' ';
            row.attributes += a.raw;
        }
    }
    if (row.row <= previousRow || row.row > WorkbookWriter::kMaxRows)
        return Fail(QStringLiteral("The rows of the template's worksheet are out of order."));
    if (customFormat && style > 0)
        row.style = style;

    XmlToken child;
    int previousColumn = 0;
    while (scanner.NextChild(start, child)) {
        if (child.kind != XmlToken::StartTag)
            continue;
        if (child.LocalName() != "c") {
            const std::size_t childStart = scanner.Offset(child.raw);
            if (!scanner.SkipElement(child))
                return SheetMalformed();
            row.extra.append(sheet, childStart, scanner.Position() - childStart);
            continue;
        }
        TemplateCell cell(child);
        if (!ParseCell(scanner, child, previousColumn, cell))
            return false;
        previousColumn = cell.column;
        row.cells.push_back(std::move(cell));
    }
    if (scanner.Failed())
        return SheetMalformed();
    std::stable_sort(row.cells.begin(), row.cells.end(),
                     [](const TemplateCell &a, const TemplateCell &b) { return a.column < b.column; });
    rows.push_back(std::move(row));
    return true;
}

bool WorkbookWriter::Impl::ParseCell(XmlScanner &scanner, const XmlToken &start, int previousColumn, TemplateCell &cell)
{
    const std::size_t contentStart = scanner.Position();
    std::vector<XmlAttribute> attributes;
    if (!scanner.SkipElement(start) || !XmlScanner::ParseAttributes(start.attributes, attributes))
        return SheetMalformed();
    cell.column = previousColumn + 1; // a cell without r follows the one before it
    for (const XmlAttribute &a : attributes) {
        if (a.name == "r") {
            cell.column = ColumnOf(a.value);
            if (cell.column == 0)
                return SheetMalformed();
            continue;
        }
        if (a.name == "s")
            cell.style = int(std::max(-1LL, XmlScanner::ToNumber(a.value)));
        cell.attributes += ' ';
        cell.attributes += a.raw;
    }
    if (cell.column > WorkbookWriter::kMaxColumns)
        return SheetMalformed();
    if (!start.selfClosing) {
        cell.content = sheet.substr(contentStart, scanner.ContentEnd() - contentStart);
        XmlScanner inner(cell.content);
        XmlToken t;
        while (inner.Next(t)) {
            if (t.Is(XmlToken::StartTag, "f"))
                cell.formula = true;
        }
    }
    return true;
}

void WorkbookWriter::Impl::WriteHead()
{
    buf.append(sheet, 0, dimensionBegin);
    const std::string prefix = sheetDataName.substr(0, sheetDataName.size() - std::string_view("sheetData").size());
    buf += "<" + prefix + "dimension ref=\"";
    dimensionAt = qint64(buf.size());
    buf.append(kDimensionWidth, ' ');
    buf += "/>";
    if (sheetDataSelfClosing) {
        buf.append(sheet, dimensionEnd, sheetDataBegin - dimensionEnd);
        buf += "<" + sheetDataName + ">";
    } else {
        buf.append(sheet, dimensionEnd, sheetDataOpenEnd - dimensionEnd);
    }
}

void WorkbookWriter::Impl::WriteTemplateCell(const TemplateCell &cell, const std::string &rowText, int r)
{
    buf += '<';
    buf += cell.name;
    buf += " r=\"";
    AppendColumnName(buf, cell.column);
    buf += rowText;
    buf += '"';
    buf += cell.attributes;
    if (cell.selfClosing) {
        buf += "/>";
    } else {
        buf += '>';
        buf += cell.content;
        buf += "</";
        buf += cell.name;
        buf += '>';
    }
    Touch(r, cell.column);
}

void WorkbookWriter::Impl::WriteTemplateRow(const TemplateRow &templateRow)
{
    std::string rowText;
    AppendInt(rowText, templateRow.row);
    buf += '<';
    buf += templateRow.name;
    buf += " r=\"";
    buf += rowText;
    buf += '"';
    buf += templateRow.attributes;
    if (templateRow.selfClosing) {
        buf += "/>";
        return;
    }
    buf += '>';
    for (const TemplateCell &cell : templateRow.cells)
        WriteTemplateCell(cell, rowText, templateRow.row);
    buf += templateRow.extra;
    buf += "</";
    buf += templateRow.name;
    buf += '>';
}

void WorkbookWriter::Impl::WriteCell(int column, const std::string &rowText, int r, int style, const QString &text,
                                     bool keepEmpty)
{
    const TypedCell value = ReadTypedInput(text, layout.date1904);
    if (value.kind == TypedCell::Empty && !keepEmpty)
        return;
    if (value.kind == TypedCell::DateTime)
        style = styles.Derived(std::max(style, 0), WorkbookStyles::DateTime);
    else if (value.quoted)
        style = styles.Derived(std::max(style, 0), WorkbookStyles::QuotePrefix);

    buf += cellOpen;
    AppendColumnName(buf, column);
    buf += rowText;
    buf += '"';
    if (style > 0) {
        buf += " s=\"";
        AppendInt(buf, style);
        buf += '"';
    }
    switch (value.kind) {
    case TypedCell::Empty:
        buf += "/>";
        break;
    case TypedCell::Number:
    case TypedCell::DateTime:
        buf += '>';
        buf += valueOpen;
        AppendNumber(buf, value.number);
        buf += valueClose;
        buf += cellClose;
        break;
    case TypedCell::Text: {
        // Texts longer than a cell can hold are cut at Excel's limit, not inside a
        // surrogate pair.
        constexpr qsizetype kMaxCellText = 32767;
        QStringView t = value.text;
        if (t.size() > kMaxCellText)
            t = t.first(t[kMaxCellText - 1].isHighSurrogate() ? kMaxCellText - 1 : kMaxCellText);
        // Texts go inline rather than into a shared-string table: deflated, the file comes
        // out the same size as libxlsxwriter's with its table (bench/bench_export.cpp), no
        // table of all texts is held in memory, and the template's own table stays as it was.
        buf += " t=\"inlineStr\">";
        buf += NeedsSpacePreserved(t) ? inlineOpenPreserve : inlineOpen;
        AppendCellText(buf, t);
        buf += inlineClose;
        buf += cellClose;
        break;
    }
    }
    Touch(r, column);
}

bool WorkbookWriter::Impl::Flush(bool force)
{
    if (buf.empty() || (!force && buf.size() < kFlushSize))
        return true;
    if (sheetFile->write(buf.data(), qint64(buf.size())) != qint64(buf.size()))
        return Fail(QStringLiteral("Cannot write the workbook %1: %2").arg(outputPath, sheetFile->errorString()));
    flushed += qint64(buf.size());
    buf.clear();
    return true;
}

bool WorkbookWriter::AddRow(const QStringList &cells)
{
    return AddRow(std::span<const QString>(cells.constData(), std::size_t(cells.size())));
}

bool WorkbookWriter::AddRow(std::span<const QString> cells)
{
    Impl &w = *d;
    if (!w.open) {
        if (w.error.isEmpty())
            w.error = QStringLiteral("No workbook is being written.");
        return false;
    }
    if (w.row >= kMaxRows)
        return w.Fail(QStringLiteral("A worksheet has no room for more than %1 rows.").arg(kMaxRows));
    if (cells.size() > std::size_t(kMaxColumns))
        return w.Fail(QStringLiteral("A worksheet has no room for more than %1 columns.").arg(kMaxColumns));
    const int r = ++w.row;

    // Template rows come in ascending order and the rows written have no gaps, so the
    // template row for r, if any, is the next one.
    while (w.nextTemplateRow < w.rows.size() && w.rows[w.nextTemplateRow].row < r)
        w.WriteTemplateRow(w.rows[w.nextTemplateRow++]);
    const TemplateRow *templateRow = nullptr;
    if (w.nextTemplateRow < w.rows.size() && w.rows[w.nextTemplateRow].row == r)
        templateRow = &w.rows[w.nextTemplateRow++];

    if (!templateRow) {
        // A row where nothing lands is left out, as Excel leaves it out.
        bool any = false;
        for (const QString &text : cells) {
            if (!text.isEmpty() && text != QLatin1String("'")) {
                any = true;
                break;
            }
        }
        if (!any)
            return true;
    }

    std::string rowText;
    AppendInt(rowText, r);
    const int rowStyle = templateRow ? templateRow->style : -1;
    if (templateRow) {
        w.buf += '<';
        w.buf += templateRow->name;
        w.buf += " r=\"";
        w.buf += rowText;
        w.buf += '"';
        w.buf += templateRow->attributes;
        w.buf += '>';
    } else {
        w.buf += w.rowOpen;
        w.buf += rowText;
        w.buf += "\">";
    }

    // Merge the written cells with the template's cells of this row, in column order.
    std::size_t next = 0;
    const std::size_t templateCells = templateRow ? templateRow->cells.size() : 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int column = int(i) + 1;
        while (next < templateCells && templateRow->cells[next].column < column)
            w.WriteTemplateCell(templateRow->cells[next++], rowText, r);
        const TemplateCell *existing = nullptr;
        while (next < templateCells && templateRow->cells[next].column == column)
            existing = &templateRow->cells[next++];
        int style;
        if (existing) {
            // A cell keeps its own format when a value is typed into it.
            style = existing->style;
            w.replacedFormula = w.replacedFormula || existing->formula;
        } else {
            style = rowStyle >= 0 ? rowStyle : w.columnStyles[std::size_t(column)];
        }
        w.WriteCell(column, rowText, r, style, cells[i], existing != nullptr);
    }
    while (next < templateCells)
        w.WriteTemplateCell(templateRow->cells[next++], rowText, r);
    if (templateRow) {
        w.buf += templateRow->extra;
        w.buf += "</";
        w.buf += templateRow->name;
        w.buf += '>';
    } else {
        w.buf += w.rowClose;
    }
    return w.Flush(false);
}

std::string WorkbookWriter::Impl::DimensionRef() const
{
    std::string ref;
    if (minRow == 0) {
        ref = "A1";
        return ref;
    }
    AppendColumnName(ref, minColumn);
    AppendInt(ref, minRow);
    if (minRow != maxRow || minColumn != maxColumn) {
        ref += ':';
        AppendColumnName(ref, maxColumn);
        AppendInt(ref, maxRow);
    }
    return ref;
}

bool WorkbookWriter::Finish()
{
    Impl &w = *d;
    if (!w.open) {
        if (w.error.isEmpty())
            w.error = QStringLiteral("No workbook is being written.");
        return false;
    }
    while (w.nextTemplateRow < w.rows.size())
        w.WriteTemplateRow(w.rows[w.nextTemplateRow++]);
    w.buf += "</";
    w.buf += w.sheetDataName;
    w.buf += '>';
    std::string tail = w.sheet.substr(w.tailBegin);
    ExtendAutoFilter(tail, w.maxRow);
    w.buf += tail;
    if (!w.Flush(true))
        return false;

    std::string ref = w.DimensionRef();
    ref += '"';
    ref.resize(kDimensionWidth, ' ');
    if (!w.sheetFile->seek(w.dimensionAt) || w.sheetFile->write(ref.data(), qint64(ref.size())) != qint64(ref.size())
        || !w.sheetFile->flush())
        return w.Fail(QStringLiteral("Cannot write the workbook %1: %2").arg(w.outputPath, w.sheetFile->errorString()));

    const bool ok = w.WritePackage();
    w.Reset();
    return ok;
}

bool WorkbookWriter::Impl::WritePackage()
{
    PartChanges changes;
    return CollectPartChanges(changes) && WriteArchive(changes);
}

bool WorkbookWriter::Impl::CollectPartChanges(PartChanges &changes)
{
    // The workbook's relationships and the content types: read when a part is added or
    // dropped, and then written changed.
    std::string relsXml, typesXml;
    bool sharedChanged = false;
    auto loadShared = [&]() {
        if (!sharedChanged)
            sharedChanged =
                package.Read(layout.workbookRelsPart, relsXml) && package.Read("[Content_Types].xml", typesXml);
        return sharedChanged;
    };

    if (styles.Changed()) {
        if (!stylesSynthesized)
            changes.replaced.emplace_back(layout.stylesPart, styles.Result());
        else if (loadShared())
            AddStylesPart(relsXml, typesXml, changes);
        else
            return Fail(package.ErrorText());
    }

    // Excel's calculation chain lists the cells that hold formulas; one that names a cell
    // whose formula was overwritten makes Excel report the file as damaged. Excel rebuilds a
    // missing chain, so it is dropped when that happens.
    if (replacedFormula && !layout.calcChainPart.empty()) {
        if (!loadShared())
            return Fail(package.ErrorText());
        changes.skipped = layout.calcChainPart;
        relsXml = RemoveElement(relsXml, "Relationship", "Id", QString::fromStdString(layout.calcChainRelId),
                                Qt::CaseSensitive);
        typesXml = RemoveElement(typesXml, "Override", "PartName", QString::fromStdString("/" + layout.calcChainPart),
                                 Qt::CaseInsensitive);
    }
    if (!extraSheets.empty()) {
        if (!loadShared() || !AddExtraSheets(relsXml, typesXml, changes))
            return Fail(error.isEmpty() ? package.ErrorText() : error);
    }
    if (sharedChanged) {
        changes.replaced.emplace_back(layout.workbookRelsPart, std::move(relsXml));
        changes.replaced.emplace_back(package.NameAt(std::uint64_t(package.IndexOf("[Content_Types].xml"))),
                                      std::move(typesXml));
    }
    return true;
}

void WorkbookWriter::Impl::AddStylesPart(std::string &relsXml, std::string &typesXml, PartChanges &changes)
{
    const std::size_t slash = layout.workbookPart.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : layout.workbookPart.substr(0, slash + 1);
    std::string name = "styles.xml";
    for (int i = 1; package.IndexOf(folder + name) >= 0; ++i)
        name = "styles" + std::to_string(i) + ".xml";
    std::vector<WorkbookPackage::Relationship> rels;
    package.ReadRelationships(layout.workbookPart, rels);
    std::string id = "rIdStyles";
    for (int i = 1; std::any_of(rels.begin(), rels.end(), [&](const auto &r) { return r.id == id; }); ++i)
        id = "rIdStyles" + std::to_string(i);
    relsXml = InsertBeforeRootEnd(relsXml, "<Relationship Id=\"" + id + "\" Type=\"" + kStylesType + "\" Target=\""
                                               + name + "\"/>");
    typesXml = InsertBeforeRootEnd(typesXml, "<Override PartName=\"/" + folder + name + "\" ContentType=\""
                                                 + kStylesContentType + "\"/>");
    changes.added.emplace_back(folder + name, styles.Result());
}

bool WorkbookWriter::Impl::WriteArchive(const PartChanges &changes)
{
    const QByteArray outputName = QFile::encodeName(outputPath);
    int code = 0;
    zip_t *out = zip_open(outputName.constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!out) {
        zip_error_t e;
        zip_error_init_with_code(&e, code);
        const QString reason = QString::fromLocal8Bit(zip_error_strerror(&e));
        zip_error_fini(&e);
        return Fail(QStringLiteral("Cannot write the workbook %1: %2").arg(outputPath, reason));
    }
    auto zipFail = [&](const QString &what) {
        const QString reason = QString::fromLocal8Bit(zip_strerror(out));
        zip_discard(out);
        return Fail(QStringLiteral("Cannot write the workbook %1: %2 %3").arg(outputPath, what, reason));
    };
    auto add = [&](const std::string &name, zip_source_t *source) -> zip_int64_t {
        if (!source)
            return -1;
        const zip_int64_t index = zip_file_add(out, name.c_str(), source, ZIP_FL_ENC_GUESS);
        if (index < 0)
            zip_source_free(source);
        return index;
    };

    const QByteArray sheetFileName = QFile::encodeName(sheetFile->fileName());
    const std::uint64_t count = package.EntryCount();
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string name = package.NameAt(i);
        if (name.empty() || name == changes.skipped)
            continue;
        zip_source_t *source = nullptr;
        const bool isSheet = name == layout.sheetPart;
        const auto change = std::find_if(changes.replaced.begin(), changes.replaced.end(),
                                         [&](const auto &p) { return p.first == name; });
        if (isSheet)
            source = zip_source_file(out, sheetFileName.constData(), 0, -1);
        else if (change != changes.replaced.end())
            source = zip_source_buffer(out, change->second.data(), change->second.size(), 0);
        else
            source = zip_source_zip(out, package.Archive(), i, 0, 0, -1); // copied as stored
        const zip_int64_t index = add(name, source);
        if (index < 0)
            return zipFail(QString::fromStdString(name));
        if (isSheet && zip_set_file_compression(out, zip_uint64_t(index), ZIP_CM_DEFLATE, kSheetCompressionLevel) != 0)
            return zipFail(QString::fromStdString(name));
    }
    for (const auto &part : changes.added) {
        if (add(part.first, zip_source_buffer(out, part.second.data(), part.second.size(), 0)) < 0)
            return zipFail(QString::fromStdString(part.first));
    }
    // libzip writes a temporary file beside the output and renames it at the end, so a
    // failure leaves no partial workbook.
    if (zip_close(out) != 0)
        return zipFail(QString());
    return true;
}

// ---- Worksheets after the template's ----

namespace {

const char kWorksheetType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
const char kWorksheetContentType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
const char kMainNamespace[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kRelationshipsNamespace[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

void AppendAttributeText(std::string &out, const QString &text)
{
    for (const char c : text.toStdString()) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

// Adds an entry for a sheet named like `wanted` (made unique) with relationship `relId` at
// the end of the workbook part's sheet list. False when the part has none or is malformed.
bool AddSheetEntry(std::string &workbookXml, const QString &wanted, const std::string &relId)
{
    XmlScanner scanner(workbookXml);
    XmlToken root;
    while (scanner.Next(root) && root.kind != XmlToken::StartTag) {}
    if (root.kind != XmlToken::StartTag || root.selfClosing)
        return false;
    std::vector<XmlAttribute> attributes;
    if (!XmlScanner::ParseAttributes(root.attributes, attributes))
        return false;
    // The prefix the workbook gives the relationships' namespace, if any.
    std::string relPrefix;
    for (const XmlAttribute &a : attributes) {
        if (a.name.substr(0, 6) == "xmlns:" && XmlScanner::Decode(a.value) == QLatin1String(kRelationshipsNamespace))
            relPrefix = std::string(a.name.substr(6));
    }
    QStringList names;
    long long lastId = 0;
    std::size_t listEnd = std::string::npos;
    std::string sheetElement;
    const bool read = scanner.ForEachChild(root, [&](const XmlToken &child) {
        if (child.LocalName() != "sheets" || child.selfClosing || listEnd != std::string::npos)
            return scanner.SkipElement(child);
        sheetElement = std::string(child.Prefix()) + "sheet";
        const bool listed = scanner.ForEachChild(child, [&](const XmlToken &sheet) {
            if (sheet.LocalName() == "sheet" && XmlScanner::ParseAttributes(sheet.attributes, attributes)) {
                if (const XmlAttribute *name = XmlScanner::Find(attributes, "name"))
                    names << XmlScanner::Decode(name->value);
                if (const XmlAttribute *id = XmlScanner::Find(attributes, "sheetId"))
                    lastId = std::max(lastId, XmlScanner::ToNumber(id->value));
            }
            return scanner.SkipElement(sheet);
        });
        listEnd = scanner.ContentEnd();
        return listed;
    });
    if (!read || listEnd == std::string::npos)
        return false;
    QString name = wanted;
    for (int n = 2; names.contains(name, Qt::CaseInsensitive); ++n)
        name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
    std::string entry = "<" + sheetElement + " name=\"";
    AppendAttributeText(entry, name);
    entry += "\" sheetId=\"" + std::to_string(lastId + 1) + "\" ";
    if (relPrefix.empty())
        entry += std::string("xmlns:r=\"") + kRelationshipsNamespace + "\" r:id=\"";
    else
        entry += relPrefix + ":id=\"";
    entry += relId + "\"/>";
    workbookXml.insert(listEnd, entry);
    return true;
}

} // namespace

bool WorkbookWriter::AddSheet(const QString &name, const std::vector<SheetRow> &rows,
                              const std::vector<double> &columnWidths)
{
    Impl &w = *d;
    if (!w.open) {
        if (w.error.isEmpty())
            w.error = QStringLiteral("No workbook is being written.");
        return false;
    }
    for (const SheetRow &row : rows) {
        if (row.cells.size() > kMaxColumns)
            return w.Fail(QStringLiteral("A worksheet has no room for more than %1 columns.").arg(kMaxColumns));
    }
    if (rows.size() > std::size_t(kMaxRows))
        return w.Fail(QStringLiteral("A worksheet has no room for more than %1 rows.").arg(kMaxRows));
    w.extraSheets.push_back({name, w.ExtraSheetXml(rows, columnWidths)});
    return true;
}

std::string WorkbookWriter::Impl::ExtraSheetXml(const std::vector<WorkbookWriter::SheetRow> &sheetRows,
                                                const std::vector<double> &columnWidths)
{
    // The formats of the list's sheet: its header row's, and its first column's.
    const int headerStyle = !rows.empty() && rows.front().row == 1 && rows.front().style > 0 ? rows.front().style : 0;
    const int bodyStyle = std::max(columnStyles[1], 0);

    std::string data;
    int lastRow = 0, lastColumn = 0;
    for (std::size_t r = 0; r < sheetRows.size(); ++r) {
        const WorkbookWriter::SheetRow &row = sheetRows[r];
        std::string rowText;
        AppendInt(rowText, qint64(r + 1));
        std::string cells;
        for (qsizetype i = 0; i < row.cells.size(); ++i) {
            const TypedCell value = ReadTypedInput(row.cells[i], layout.date1904);
            if (value.kind == TypedCell::Empty)
                continue;
            int style = row.kind == WorkbookWriter::SheetRow::Body ? bodyStyle : headerStyle;
            if (value.kind == TypedCell::DateTime)
                style = styles.Derived(style, WorkbookStyles::DateTime);
            else if (value.quoted)
                style = styles.Derived(style, WorkbookStyles::QuotePrefix);
            cells += "<c r=\"";
            AppendColumnName(cells, int(i) + 1);
            cells += rowText;
            cells += '"';
            if (style > 0) {
                cells += " s=\"";
                AppendInt(cells, style);
                cells += '"';
            }
            if (value.kind == TypedCell::Text) {
                cells += " t=\"inlineStr\"><is><t";
                if (NeedsSpacePreserved(value.text))
                    cells += " xml:space=\"preserve\"";
                cells += '>';
                AppendCellText(cells, value.text);
                cells += "</t></is></c>";
            } else {
                cells += "><v>";
                AppendNumber(cells, value.number);
                cells += "</v></c>";
            }
            lastColumn = std::max(lastColumn, int(i) + 1);
        }
        if (cells.empty())
            continue;
        data += "<row r=\"" + rowText + "\">" + cells + "</row>";
        lastRow = int(r) + 1;
    }

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"";
    xml += kMainNamespace;
    xml += "\" xmlns:r=\"";
    xml += kRelationshipsNamespace;
    xml += "\"><dimension ref=\"A1";
    if (lastRow > 1 || lastColumn > 1) {
        xml += ':';
        AppendColumnName(xml, std::max(lastColumn, 1));
        AppendInt(xml, std::max(lastRow, 1));
    }
    xml += "\"/>";
    if (!columnWidths.empty()) {
        xml += "<cols>";
        for (std::size_t c = 0; c < columnWidths.size(); ++c) {
            xml += "<col min=\"" + std::to_string(c + 1) + "\" max=\"" + std::to_string(c + 1) + "\" width=\"";
            AppendNumber(xml, columnWidths[c]);
            xml += "\" customWidth=\"1\"/>";
        }
        xml += "</cols>";
    }
    xml += data.empty() ? "<sheetData/>" : "<sheetData>" + data + "</sheetData>";
    xml += "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>";
    xml += "</worksheet>";
    return xml;
}

bool WorkbookWriter::Impl::AddExtraSheets(std::string &relsXml, std::string &typesXml, PartChanges &changes)
{
    std::string workbookXml;
    if (!package.Read(layout.workbookPart, workbookXml))
        return false;
    std::vector<WorkbookPackage::Relationship> rels;
    package.ReadRelationships(layout.workbookPart, rels);
    const std::size_t slash = layout.workbookPart.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : layout.workbookPart.substr(0, slash + 1);
    int partNumber = 1, idNumber = 0;
    for (const ExtraSheet &sheet : extraSheets) {
        std::string target;
        do
            target = "worksheets/sheet" + std::to_string(++partNumber) + ".xml";
        while (package.IndexOf(folder + target) >= 0);
        std::string id;
        do
            id = "rIdOrvik" + std::to_string(++idNumber);
        while (std::any_of(rels.begin(), rels.end(), [&](const auto &r) { return r.id == id; }));
        if (!AddSheetEntry(workbookXml, sheet.name, id)) {
            error = QStringLiteral("The workbook part of the template has no well-formed sheet list.");
            return false;
        }
        relsXml = InsertBeforeRootEnd(relsXml, "<Relationship Id=\"" + id + "\" Type=\"" + kWorksheetType
                                                   + "\" Target=\"" + target + "\"/>");
        typesXml = InsertBeforeRootEnd(typesXml, "<Override PartName=\"/" + folder + target + "\" ContentType=\""
                                                     + kWorksheetContentType + "\"/>");
        changes.added.emplace_back(folder + target, sheet.xml);
    }
    changes.replaced.emplace_back(layout.workbookPart, std::move(workbookXml));
    return true;
}

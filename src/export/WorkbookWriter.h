#pragma once
// Writes rows of cell texts into a new .xlsx workbook made from a template workbook.
//
// The rows go into the template's worksheet named "sheet1" (found without regard to case,
// as Excel finds it), starting at row 1, columns 1, 2, ... Everything else in the template
// is kept as it was: other sheets, drawings, the styles, the shared strings of other sheets,
// the sheet's other cells, row and column settings. A written cell takes its format from the
// template: the format of a cell already at that address, else the row's format (when the
// row has one), else the column's.
//
// Cell texts are read as Excel reads typed input (see ReadTypedInput in CellText.h).
//
// Rows are streamed: the worksheet goes to a temporary file beside the output as the rows
// come, so the memory used does not grow with the number of rows. The caller may stop at
// any row and call Finish(). The output file appears only when Finish() succeeds; after any
// failure, Discard() or the destructor, nothing is left behind.
//
//   WorkbookWriter writer;
//   if (!writer.Open(templatePath, outputPath)) ... writer.ErrorText()
//   writer.AddRow(headers);
//   while (more && !stopRequested) writer.AddRow(cells);
//   if (!writer.Finish()) ... writer.ErrorText()

#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <vector>

class WorkbookWriter
{
public:
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;

    WorkbookWriter();
    ~WorkbookWriter();
    WorkbookWriter(const WorkbookWriter &) = delete;
    WorkbookWriter &operator=(const WorkbookWriter &) = delete;

    // Reads the template and prepares the output. False (with ErrorText()) when the template
    // is missing, is not a workbook, has no worksheet "sheet1", or the output's folder cannot
    // be written.
    bool Open(const QString &templatePath, const QString &outputPath);
    // Writes the next worksheet row. False when the writer is not open, the row or column
    // limit of a worksheet is passed, or the temporary file cannot be written; the workbook
    // is then discarded.
    bool AddRow(std::span<const QString> cells);
    bool AddRow(const QStringList &cells);
    // A further worksheet, placed after the template's sheets and written at Finish(): a
    // few small tables (the export's statistics). Its cell texts are read as AddRow reads
    // them; Title and Header rows take the format of the template's header row, Body rows
    // that of the template's first column. `columnWidths` are in characters, from column A.
    // The sheet is named `name`, or "name (2)", ... when the template has a sheet of that
    // name already. The sheet the rows go to stays exactly as it would be without it.
    struct SheetRow
    {
        enum Kind { Body, Title, Header };
        Kind kind = Body;
        QStringList cells;
    };
    bool AddSheet(const QString &name, const std::vector<SheetRow> &rows, const std::vector<double> &columnWidths);
    // Writes the workbook to the output path, replacing a file there. False on failure, with
    // no output file written (an earlier file at the path stays as it was).
    bool Finish();
    // Drops the workbook in progress without writing anything.
    void Discard();

    bool IsOpen() const;
    int RowsWritten() const;
    QString ErrorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

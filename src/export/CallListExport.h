#pragma once

#include "export/WorkbookWriter.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class CallStatistics;

// The export of the call list into a workbook, shared by the query window's worker and
// the command line: the header row (Ids::TxtExportHeaderFirst to TxtExportHeaderLast), seven columns per list row (cells
// 0, 1, 2, 3, 4, 5 and 7, the number and the talk time marked as text with a leading
// apostrophe), the template workbook and the name of the file written.
class CallListExport
{
public:
    // The list cell that goes into each workbook column.
    static constexpr int kColumns = 7;
    static const int kListCells[kColumns];

    static QStringList HeaderRow();
    // The workbook row of one list row; `cell` gives the list row's text by position.
    static QStringList WorkbookRow(const std::function<QString(int position)> &cell);
    // A new file in `directory` whose name tells the backup and the time of the export.
    static QString OutputPath(const QString &directory, const QString &backupDir, const QDateTime &when);

    enum class Failure { None, Template, Workbook };

    // Prepares the template beside the program (or its fallback) and opens `outputPath`;
    // writes the header row, after `leadingHeader` when given. On failure, Template means no template file could be made
    // ("Open File Error"), Workbook any other problem (ErrorText()).
    bool Begin(const QString &programDir, const QString &outputPath, const QStringList &leadingHeader = {});
    bool AddRow(const QStringList &workbookRow) { return m_writer.AddRow(workbookRow); }
    // Adds the sheet "Statistics" (StatisticsSheet) after the list's; before Finish().
    bool AddStatistics(const CallStatistics &statistics);
    bool Finish() { return m_writer.Finish(); }
    void Discard() { m_writer.Discard(); }
    int RowsWritten() const { return m_writer.RowsWritten(); }

    Failure LastFailure() const { return m_failure; }
    QString ErrorText() const { return m_error.isEmpty() ? m_writer.ErrorText() : m_error; }

private:
    WorkbookWriter m_writer;
    Failure m_failure = Failure::None;
    QString m_error;
};

#include "export/CallListExport.h"

#include "export/StatisticsSheet.h"
#include "export/WorkbookTemplate.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/ResultListModel.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

const int CallListExport::kListCells[kColumns] = {
    ResultListModel::CellNumber, ResultListModel::CellName,     ResultListModel::CellType,   ResultListModel::CellPhone,
    ResultListModel::CellStart,  ResultListModel::CellTalkTime, ResultListModel::CellRemark,
};

QStringList CallListExport::HeaderRow()
{
    QStringList row;
    for (int id = Ids::TxtExportHeaderFirst; id <= Ids::TxtExportHeaderLast; ++id)
        row << GetDialogText(id);
    return row;
}

QStringList CallListExport::WorkbookRow(const std::function<QString(int)> &cell)
{
    QStringList row;
    for (const int position : kListCells) {
        // The apostrophe keeps a number such as 0123 and a talk time such as 01:05 as
        // texts, as typing them into a spreadsheet that way does.
        const bool asText = position == ResultListModel::CellPhone || position == ResultListModel::CellTalkTime;
        row << (asText ? u'\'' + cell(position) : cell(position));
    }
    return row;
}

QString CallListExport::OutputPath(const QString &directory, const QString &backupDir, const QDateTime &when)
{
    QString name = QFileInfo(QDir::cleanPath(backupDir)).fileName();
    name.replace(QRegularExpression(QStringLiteral("[^\\w.-]+")), QStringLiteral("_"));
    if (name.isEmpty())
        name = QStringLiteral("backup");
    const QString stem = QStringLiteral("orvik-%1-%2").arg(name, when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    // A second export within the same second gets a file of its own.
    QString path = QDir(directory).filePath(stem + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(directory).filePath(QStringLiteral("%1-%2.xlsx").arg(stem).arg(n));
    return path;
}

bool CallListExport::Begin(const QString &programDir, const QString &outputPath, const QStringList &leadingHeader)
{
    m_failure = Failure::None;
    m_error.clear();
    const QString templatePath = EnsureTemplateWorkbook(programDir, QDir::tempPath(), &m_error);
    if (templatePath.isEmpty()) {
        m_failure = Failure::Template;
        return false;
    }
    m_error.clear();
    if (!m_writer.Open(templatePath, outputPath) || !m_writer.AddRow(leadingHeader + HeaderRow())) {
        m_failure = Failure::Workbook;
        return false;
    }
    return true;
}

bool CallListExport::AddStatistics(const CallStatistics &statistics)
{
    return m_writer.AddSheet(StatisticsSheet::name(), StatisticsSheet::rows(statistics),
                             StatisticsSheet::columnWidths());
}

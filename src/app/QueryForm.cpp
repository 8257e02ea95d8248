#include "app/QueryForm.h"

#include "app/AppResources.h"
#include "db/exec/ScanReport.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/BuildStatement.h"
#include "query/DatePresets.h"

#include "ui_DlgQuery.h"

#include <QHeaderView>
#include <QLocale>

#include <iterator>

namespace {
// The filter band above the list keeps this height whatever the window's size.
constexpr int kFilterBandHeight = 70;
} // namespace

QString QueryForm::DamageText(const ScanReport &report)
{
    QString text = GetDialogText(Ids::TxtDatabaseDamaged);
    for (const std::uint64_t count : {report.rowsReadable(), report.rowsCounted()}) {
        const qsizetype at = text.indexOf(QStringLiteral("%s"));
        // Grouped as 1,629 whatever the language.
        if (at >= 0)
            text.replace(at, 2, QLocale(QLocale::English).toString(qulonglong(count)));
    }
    return text;
}

void QueryForm::SetUpWindow(QWidget *window) const
{
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                           | Qt::WindowCloseButtonHint);
    window->setWindowIcon(ProgramIcon());
    const QString shortDate = QLocale().dateFormat(QLocale::ShortFormat);
    m_ui.IdcDateFrom->setDisplayFormat(shortDate);
    m_ui.IdcDateTo->setDisplayFormat(shortDate);
}

void QueryForm::SetTexts() const
{
    m_ui.IdcCallTypeLabel->setText(GetDialogText(Ids::TxtCallTypeLabel));
    m_ui.IdcToLabel->setText(GetDialogText(Ids::TxtToLabel));
    m_ui.IdcUserNameLabel->setText(GetDialogText(Ids::TxtUserNameLabel));
    m_ui.IdcNumberLabel->setText(GetDialogText(Ids::TxtNumberLabel));
    m_ui.IdcRemarkLabel->setText(GetDialogText(Ids::TxtRemarkLabel));
    m_ui.IdcFromCheck->setText(GetDialogText(Ids::TxtFromCheck));
    m_ui.IdcFind->setText(GetDialogText(Ids::TxtFindButton));
    m_ui.IdcExport->setText(GetDialogText(Ids::TxtExportButton));

    m_ui.DatePresets->clear();
    for (const int textId : {Ids::TxtPresetToday, Ids::TxtPresetYesterday, Ids::TxtPresetThisWeek,
                             Ids::TxtPresetLastWeek, Ids::TxtPresetThisMonth, Ids::TxtPresetLastMonth})
        m_ui.DatePresets->addItem(GetDialogText(textId));
    m_ui.DatePresets->setPlaceholderText(GetDialogText(Ids::TxtDatePresetPrompt));
    m_ui.DatePresets->setCurrentIndex(-1);

    const int callType = m_ui.IdcCallType->currentIndex();
    m_ui.IdcCallType->clear();
    for (const int textId : {Ids::TxtIncoming, Ids::TxtOutgoing, Ids::TxtAllCalls, Ids::TxtMissed})
        m_ui.IdcCallType->addItem(GetDialogText(textId));
    m_ui.IdcCallType->setCurrentIndex(callType < 0 ? int(CallTypeAll) : callType);

    const QString allUsers = GetDialogText(Ids::TxtAllUsers);
    m_ui.IdcUserName->clear();
    m_ui.IdcUserName->addItem(allUsers);
    m_ui.IdcUserName->setEditText(allUsers);
}

QString QueryForm::Statement() const
{
    return BuildStatement(m_ui.IdcNumber->text(), m_ui.IdcUserName->currentText(), GetDialogText(Ids::TxtAllUsers),
                          m_ui.IdcRemark->text(), m_ui.IdcCallType->currentIndex(), m_ui.IdcFromCheck->isChecked(),
                          OleDate::fromDateTime(m_ui.IdcDateFrom->dateTime()),
                          OleDate::fromDateTime(m_ui.IdcDateTo->dateTime()));
}

void QueryForm::EnableDates() const
{
    const bool useDateRange = m_ui.IdcFromCheck->isChecked();
    m_ui.IdcDateFrom->setEnabled(useDateRange);
    m_ui.IdcDateTo->setEnabled(useDateRange);
}

void QueryForm::ApplyDatePreset(int index, const QDate &today) const
{
    if (index < 0 || index >= int(std::size(kDatePresets)))
        return;
    const auto [from, to] = DatePresetRange(kDatePresets[index], today, QLocale().firstDayOfWeek());
    m_ui.IdcFromCheck->setChecked(true);
    EnableDates();
    m_ui.IdcDateFrom->setDate(from);
    m_ui.IdcDateTo->setDate(to);
    // The list shows its prompt again, ready for the next choice.
    m_ui.DatePresets->setCurrentIndex(-1);
}

void QueryForm::Layout(const QRect &client, QWidget *pane) const
{
    m_ui.FilterBand->setGeometry(client.left(), client.top(), client.width(), kFilterBandHeight);
    const int statusHeight = m_ui.StatusLine->sizeHint().height() + 4;
    const int paneHeight = pane ? pane->sizeHint().height() : 0;
    const int listHeight = qMax(0, client.height() - kFilterBandHeight - statusHeight - paneHeight);
    int y = client.top() + kFilterBandHeight;
    m_ui.IdcResultList->setGeometry(client.left(), y, client.width(), listHeight);
    y += listHeight;
    m_ui.StatusLine->setGeometry(client.left(), y, client.width(), statusHeight);
    if (pane)
        pane->setGeometry(client.left(), y + statusHeight, client.width(), paneHeight);
}

void QueryForm::SetUpList(QTableView *list, const int *widths, int columns)
{
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(false);

    QHeaderView *header = list->horizontalHeader();
    header->setSectionsMovable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(0);
    for (int position = 0; position < columns; ++position)
        header->resizeSection(position, widths[position]);

    QHeaderView *rows = list->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(qMax(20, list->fontMetrics().height() + 6));
}

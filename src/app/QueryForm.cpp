#include "app/QueryForm.h"

#include "app/AppResources.h"
#include "db/exec/ScanReport.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/BuildStatement.h"
#include "query/DatePresets.h"

#include "ui_DlgQuery.h"

#include "app/ListNarrower.h"
#include "query/CallListModel.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QSplitter>
#include <QStyle>

#include <algorithm>
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
    // The short numeric form the list's start times use, the same in every language (the
    // system's locale would give "8 Dec 2026" in English words in a Chinese window).
    m_ui.IdcDateFrom->setDisplayFormat(QString::fromLatin1(kDateFormat));
    m_ui.IdcDateTo->setDisplayFormat(QString::fromLatin1(kDateFormat));
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

    // Each list box is as wide as its longest entry in this language, so that no entry is
    // cut or runs under the arrow.
    for (QComboBox *box : {m_ui.DatePresets, m_ui.IdcCallType, m_ui.IdcUserName}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        // A few pixels beyond the measured text: glyphs may reach past their advance.
        box->setMinimumWidth(0);
        box->setMinimumWidth(box->sizeHint().width() + 6);
    }
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

void QueryForm::SetUpLayout(QWidget *window, QWidget *pane)
{
    auto *top = new QVBoxLayout(window);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    // 70 pixels, unless the controls with their texts need more.
    m_ui.FilterBand->setFixedHeight(std::max(kFilterBandHeight, m_ui.FilterGrid->minimumSize().height()));
    top->addWidget(m_ui.FilterBand);

    auto *splitter = new QSplitter(Qt::Vertical, window);
    splitter->setObjectName(QStringLiteral("ListSplitter"));
    splitter->setChildrenCollapsible(false);
    auto *listArea = new QWidget(splitter);
    listArea->setObjectName(QStringLiteral("ListArea"));
    m_listArea = new QVBoxLayout(listArea);
    m_listArea->setContentsMargins(0, 0, 0, 0);
    m_listArea->setSpacing(0);
    // The filter box that narrows the rows listed, above them.
    m_narrowBox = new QLineEdit(listArea);
    m_narrowBox->setObjectName(QStringLiteral("NarrowBox"));
    m_listArea->addWidget(m_narrowBox);
    m_listArea->addWidget(m_ui.IdcResultList, 1);
    m_statusArea = new QHBoxLayout;
    m_statusArea->setContentsMargins(0, 0, 0, 0);
    m_statusArea->setSpacing(6);
    m_statusArea->addWidget(m_ui.StatusLine, 1);
    m_listArea->addLayout(m_statusArea);
    if (auto *model = qobject_cast<CallListModel *>(m_ui.IdcResultList->model()))
        new ListNarrower(window, m_narrowBox, m_ui.IdcResultList, model);
    // Tab goes from the filter's last button to the filter box, then to the list.
    QWidget::setTabOrder(m_ui.IdcExport, m_narrowBox);
    QWidget::setTabOrder(m_narrowBox, m_ui.IdcResultList);
    splitter->addWidget(listArea);
    if (pane) {
        auto *paneArea = new QWidget(splitter);
        paneArea->setObjectName(QStringLiteral("PaneArea"));
        m_paneArea = new QHBoxLayout(paneArea);
        m_paneArea->setContentsMargins(0, 0, 0, 0);
        m_paneArea->setSpacing(0);
        m_paneArea->addWidget(pane, 1);
        splitter->addWidget(paneArea);
        // The list takes what the window gains; the pane starts at the height it asks for.
        splitter->setStretchFactor(0, 1);
        splitter->setStretchFactor(1, 0);
    }
    top->addWidget(splitter, 1);
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
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(0);
    // A column of no width (the record id, the DTMF digits) is hidden, so that the last
    // column shown takes what the window gains; widths the user drags stay as they are.
    header->setStretchLastSection(true);
    for (int position = 0; position < columns; ++position) {
        header->setSectionHidden(position, widths[position] == 0);
        if (widths[position] > 0)
            header->resizeSection(position, std::max(widths[position], TitleWidth(header, position)));
    }

    QHeaderView *rows = list->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(qMax(20, list->fontMetrics().height() + 6));
}

int QueryForm::TitleWidth(const QHeaderView *header, int section)
{
    // The title's text with the margins the header keeps on both sides of it.
    const QString title = header->model() ? header->model()->headerData(section, Qt::Horizontal).toString() : QString();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    return header->fontMetrics().horizontalAdvance(title) + 2 * margin;
}

void QueryForm::WidenForTitles(QHeaderView *header)
{
    for (int section = 0; section < header->count(); ++section) {
        if (!header->isSectionHidden(section) && header->sectionSize(section) > 0)
            header->resizeSection(section, std::max(header->sectionSize(section), TitleWidth(header, section)));
    }
}

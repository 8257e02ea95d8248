#include "app/OrvikDlg.h"

#include "app/AboutDlg.h"
#include "app/AppResources.h"
#include "app/BuiltInMenus.h"
#include "app/CallListView.h"
#include "app/DlgQuery.h"
#include "app/MenuRetitler.h"
#include "app/QueryForm.h"
#include "app/SearchAllWindow.h"
#include "app/WindowMemory.h"
#include "backup/BackupArray.h"
#include "backup/DeleteDirectoryTree.h"
#include "config/Config.h"
#include "config/Desktop.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include "ui_OrvikDlg.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr char kMenuElement[] = "Orvik_Menu";
// Where the window's size and columns are remembered.
constexpr char kMemoryName[] = "MainWindow";

// The backup list: column title ids and widths in pixels.
struct BackupColumn
{
    int titleId;
    int width;
};
constexpr BackupColumn kBackupColumns[] = {
    {Ids::ColBackupFirst, 40},      // row number
    {Ids::ColBackupFirst + 1, 210}, // name
    {Ids::ColBackupFirst + 2, 110}, // dt_start
    {Ids::ColBackupFirst + 3, 110}, // dt_stop
    {Ids::ColBackupLast, 400},      // path
};

// Rows are at least 20 pixels high, whatever the font, so the list keeps its row height.
constexpr int kMinimumRowHeight = 20;

} // namespace

COrvikDlg::COrvikDlg(QWidget *parent, const QString &backupRoot)
    : QDialog(parent)
    , ui(std::make_unique<Ui::COrvikDlg>())
{
    ui->setupUi(this);
    // A main window of its own: in the task bar, with minimise and maximise boxes.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    m_hIcon = ProgramIcon();
    OnInitDialog(backupRoot);

    connect(ui->IdcBackupList, &QAbstractItemView::doubleClicked, this, &COrvikDlg::OnListDblClk);
    connect(ui->IdcBackupList, &QWidget::customContextMenuRequested, this, &COrvikDlg::OnListRightClick);
}

COrvikDlg::~COrvikDlg() = default;

QTableWidget *COrvikDlg::List() const
{
    return ui->IdcBackupList;
}

void COrvikDlg::OnInitDialog(const QString &backupRoot)
{
    setWindowIcon(m_hIcon);

    // The built-in English menu bar, retitled from the language file of the settings.
    m_menuBar = CreateMainMenuBar(this);
    // The About box, which has no system menu to live in here, gets a Help menu of its own
    // (entry 1, command 16), retitled with the rest.
    QMenu *help = m_menuBar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    QAction *about = help->addAction(QStringLiteral("&About Orvik..."));
    about->setData(int(Ids::CmdAbout));
    about->setObjectName(QStringLiteral("CmdAbout"));
    const QString languageFile = g_config.LanguageFileName();
    if (!languageFile.isEmpty() && g_language.Load(languageFile) != 0) {
        // In English, as there are no texts to say it in; the delete questions would
        // otherwise come up blank without a word.
        Desktop::current().showMessage(
            this, Desktop::Icon::Warning, QStringLiteral("Orvik"),
            QStringLiteral("The language file %1 could not be read: %2. Every text of the windows stays empty.")
                .arg(QDir::cleanPath(g_language.ProgramDir() + u'/' + languageFile), g_language.LoadError()),
            Desktop::Buttons::Ok);
    }
    MenuRetitler retitler(m_menuBar);
    g_language.TranslateMenu(retitler, kMenuElement);
    layout()->setMenuBar(m_menuBar);
    connect(m_menuBar, &QMenuBar::triggered, this, [this](QAction *action) {
        bool isCommand = false;
        const int id = action->data().toInt(&isCommand);
        if (isCommand)
            OnCommand(id);
    });

    if (backupRoot.isEmpty())
        g_backups.LoadFromSettings();
    else
        g_backups.AddDirectory(backupRoot);
    g_config.ApplyFontToChildren(this);

    QTableWidget *list = ui->IdcBackupList;
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QHeaderView *header = list->horizontalHeader();
    header->setSectionsMovable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The last column takes what the window gains; widths the user drags stay.
    header->setStretchLastSection(true);

    list->setColumnCount(int(std::size(kBackupColumns)));
    for (int c = 0; c < int(std::size(kBackupColumns)); ++c) {
        list->setHorizontalHeaderItem(c, new QTableWidgetItem(GetColumnText(kBackupColumns[c].titleId)));
        list->setColumnWidth(c, kBackupColumns[c].width);
    }
    // No title is cut: a column too narrow for it is widened.
    QueryForm::WidenForTitles(header);
    // A click on a title sorts by that column (a second click the other way); the list opens
    // in the catalogue's order, by name.
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [list](int column, Qt::SortOrder order) {
        if (column >= 0)
            list->sortItems(column, order);
    });
    // A cell too narrow for its text (a long path) shows it whole as a tooltip.
    new CutCellTips(list);

    setWindowTitle(GetDialogText(Ids::TxtMainCaption));

    QHeaderView *rows = list->verticalHeader();
    rows->setMinimumSectionSize(kMinimumRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(kMinimumRowHeight, list->fontMetrics().height() + 6));
    FillList();
    WindowMemory::restore(this, QLatin1String(kMemoryName), header);
}

void COrvikDlg::done(int result)
{
    WindowMemory::save(this, QLatin1String(kMemoryName), ui->IdcBackupList->horizontalHeader());
    QDialog::done(result);
}

void COrvikDlg::FillList()
{
    QTableWidget *list = ui->IdcBackupList;
    list->setRowCount(0);
    const int count = g_backups.GetCount();
    list->setRowCount(count);
    for (int i = 0; i < count; ++i) {
        BackupEntry *entry = g_backups.GetAt(i);
        const QString cells[] = {QString::number(i + 1), entry->m_name, entry->m_dtStart, entry->m_dtStop,
                                 QDir::toNativeSeparators(entry->m_path)};
        for (int c = 0; c < int(std::size(cells)); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            list->setItem(i, c, item);
        }
        // The row number sorts by its value.
        list->item(i, 0)->setData(Qt::DisplayRole, i + 1);
        list->item(i, 0)->setData(Qt::UserRole, QVariant::fromValue(quintptr(entry)));
    }
    // A sort the user asked for holds for the rows filled anew.
    const QHeaderView *header = list->horizontalHeader();
    if (header->sortIndicatorSection() >= 0)
        list->sortItems(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

BackupEntry *COrvikDlg::EntryAt(int row) const
{
    const QTableWidgetItem *item = ui->IdcBackupList->item(row, 0);
    return item ? reinterpret_cast<BackupEntry *>(item->data(Qt::UserRole).value<quintptr>()) : nullptr;
}

QString COrvikDlg::ShowFolder(const QString &folder)
{
    const int listed = g_backups.GetCount();
    const int found = g_backups.AddNewBackups(folder);
    if (g_backups.GetCount() != listed)
        FillList();
    if (found == 0) {
        // Shown once the caller has returned: it may be answering another process.
        QTimer::singleShot(0, this, [this, folder] {
            Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                           QStringLiteral("There is no backup in %1.").arg(folder),
                                           Desktop::Buttons::Ok);
        });
        return QStringLiteral("no backups");
    }
    const BackupEntry *backup = g_backups.Find(folder);
    if (!backup)
        return QStringLiteral("listed");
    // A query window or a question is open: a second modal window on top of it would keep
    // that one waiting until this one closes.
    if (const QWidget *modal = QApplication::activeModalWidget(); modal && modal != this)
        return QStringLiteral("busy");
    QTimer::singleShot(0, this, [this, path = backup->m_path] {
        const BackupEntry *entry = g_backups.Find(path);
        for (int row = 0; entry && row < ui->IdcBackupList->rowCount(); ++row) {
            if (EntryAt(row) == entry) {
                OpenQueryWindow(row);
                break;
            }
        }
    });
    return QStringLiteral("opened");
}

void COrvikDlg::OnCommand(int commandId)
{
    switch (commandId) {
    case Ids::CmdAddDirectory:
        OnAddDirectory();
        break;
    case Ids::CmdSearchAll:
        OpenSearchWindow();
        break;
    case Ids::CmdExit:
        accept();
        break;
    case Ids::CmdAbout:
        OnAbout();
        break;
    default:
        break;
    }
}

void COrvikDlg::OnAddDirectory()
{
    // An empty title: the picker then shows Ids::TxtFolderPickerTitle.
    const QString path = g_config.BrowseForFolder(this, QString(), QString());
    if (path.isEmpty())
        return;
    g_backups.AddDirectory(path);
    FillList();
}

void COrvikDlg::keyPressEvent(QKeyEvent *event)
{
    // Enter ends the program; the dialog has no button that would take it. Escape does
    // nothing here: a user who presses it to leave a menu or a question that has just
    // closed would lose the program without a word (Exit and the close box end it).
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void COrvikDlg::OnListDblClk(const QModelIndex &index)
{
    if (index.isValid())
        OpenQueryWindow(index.row());
}

void COrvikDlg::OnListRightClick(const QPoint &position)
{
    QTableWidget *list = ui->IdcBackupList;
    const QModelIndex index = list->indexAt(position);
    if (!index.isValid())
        return;
    const int row = index.row();

    // Built afresh and translated for every display.
    std::unique_ptr<QMenu> popup(CreateBackupListPopup(this));
    MenuRetitler retitler(popup.get());
    g_language.TranslatePopupMenu(retitler, kMenuElement, "PopMenus0");
    const QAction *chosen = popup->exec(list->viewport()->mapToGlobal(position));
    const int command = chosen ? chosen->data().toInt() : 0;
    popup.reset();

    if (command == Ids::CmdDelete)
        DeleteBackup(row);
    else if (command == Ids::CmdQueryBackup)
        OpenQueryWindow(row);
}

void COrvikDlg::DeleteBackup(int row)
{
    if (Desktop::current().showMessage(this, Desktop::Icon::Information, GetDialogText(Ids::TxtDeleteCaption),
                                       GetDialogText(Ids::TxtDeleteQuestion), Desktop::Buttons::YesNo)
        != Desktop::Answer::Yes)
        return;
    BackupEntry *entry = EntryAt(row);
    if (!entry)
        return;
    if (!DeleteDirectoryTree(entry->m_path)) {
        // The backup stays listed: at least part of it is still on disk.
        Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtDeleteCaption),
                                       QStringLiteral("The backup folder %1 could not be deleted completely.")
                                           .arg(QDir::toNativeSeparators(entry->m_path)),
                                       Desktop::Buttons::Ok);
        return;
    }
    g_backups.Remove(entry);
    // Only this row goes; the others keep their numbers until the list is rebuilt.
    ui->IdcBackupList->removeRow(row);
}

void COrvikDlg::OpenQueryWindow(int row)
{
    const BackupEntry *entry = EntryAt(row);
    if (!entry)
        return;
    CDlgQuery query(entry->m_path, this);
    query.exec();
}

void COrvikDlg::OpenSearchWindow()
{
    SearchAllWindow search(g_backups, this);
    search.exec();
}

void COrvikDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

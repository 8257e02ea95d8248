// The main window on copies of the sample backups: the list, its titles in English and in
// Chinese, the menus, Add Directory, deleting a backup, opening the query window, and the
// search over every backup (find, play, delete).
#include "GuiTestSupport.h"
#include "OrvikVersion.h"
#include "ScriptedDesktop.h"
#include "app/AboutDlg.h"
#include "app/DlgQuery.h"
#include "app/OrvikDlg.h"
#include "app/SearchAllWindow.h"
#include "backup/BackupArray.h"
#include "lang/Ids.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>

using namespace GuiTest;

namespace {

QStringList RowTexts(const QTableWidget *list, int row)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << (list->item(row, c) ? list->item(row, c)->text() : QString());
    return texts;
}

QStringList ColumnTexts(const QTableWidget *list, int column)
{
    QStringList texts;
    for (int r = 0; r < list->rowCount(); ++r)
        texts << list->item(r, column)->text();
    return texts;
}

QStringList HeaderTitles(const QTableWidget *list)
{
    QStringList titles;
    for (int c = 0; c < list->columnCount(); ++c)
        titles << list->horizontalHeaderItem(c)->text();
    return titles;
}

QAction *MenuAction(COrvikDlg &dlg, const char *objectName)
{
    return dlg.MenuBar()->findChild<QAction *>(QLatin1String(objectName));
}

// The row of the list showing the backup whose folder name is `name`, or -1.
int RowOf(const QTableWidget *list, const QString &name)
{
    for (int r = 0; r < list->rowCount(); ++r)
        if (list->item(r, 1)->text() == name)
            return r;
    return -1;
}

// A program folder set up in `language` with `extraSettings` in its config.ini (setUp says
// whether that worked), the desktop that takes the messages, then the main window and its
// list; the window shown when asked (Open::Shown).
struct MainWindowIn
{
    ProgramFolder folder;
    bool setUp;
    ScriptedDesktop desktop;
    COrvikDlg dlg;
    QTableWidget *list;

    MainWindowIn(int language, Open open, const QByteArray &extraSettings = QByteArray())
        : setUp(folder.SetUp(language, extraSettings))
        , list(dlg.List())
    {
        if (open == Open::Shown)
            QVERIFY(Show(dlg));
    }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void listsBackupsInEachLanguage_data();
    void listsBackupsInEachLanguage();
    void listLayoutAndStyles();
    void everyTextFitsAtTheMinimumSize_data();
    void everyTextFitsAtTheMinimumSize();
    void listSortsByAClick();
    void addDirectory();
    void deleteBackupAfterYesOnly();
    void undeletableBackupStaysListed();
    void nothingHappensBelowLastRow();
    void doubleClickAndMenuOpenTheQueryWindow();
    void searchAllBackupsPlaysAndDeletes();
    void enterEscapeAndExitEndTheWindow();
    void aboutBox();
    void brokenLanguageFileIsNamedAtStart();
};

void MainWindowTest::listsBackupsInEachLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("menuTexts");
    QTest::addColumn<QStringList>("popupTexts");
    QTest::addColumn<QString>("january");

    QTest::newRow("English") << 1 << "Call Recording Backups"
                             << QStringList{"No.", "Backup Name", "Start", "End", "Path"}
                             << QStringList{"&Operation", "&Add Directory...", "&Search All Backups...", "E&xit",
                                            "&Help",      "&About Orvik..."}
                             << QStringList{"&Delete Current Backup", "-", "&Query Current Backup"}
                             << QString("2010年01月01日 00:00:00"); // the GBK config.ini is recognised
    QTest::newRow("Chinese") << 0 << "备份录音查询" << QStringList{"序号", "备份名称", "开始时间", "结束时间", "路径"}
                             << QStringList{"操作(&O)", "添加目录(&A)...", "搜索全部备份(&S)...",
                                            "退出(&X)", "帮助(&H)",        "关于 Orvik(&A)..."}
                             << QStringList{"删除当前备份(&D)", "-", "查询当前备份(&S)"}
                             << QString("2010年01月01日 00:00:00");
}

void MainWindowTest::listsBackupsInEachLanguage()
{
    QFETCH(int, language);
    QFETCH(QString, caption);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, menuTexts);
    QFETCH(QStringList, popupTexts);
    QFETCH(QString, january);

    MainWindowIn window(language, Open::Made);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);

    QCOMPARE(dlg.windowTitle(), caption);
    QCOMPARE(HeaderTitles(list), titles);

    // The root holds three backups (not-a-backup lacks dbR.mdb, nested/deep is too deep).
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(g_backups.GetCount(), 3);
    QCOMPARE(ColumnTexts(list, 0), (QStringList{"1", "2", "3"}));
    QStringList names = ColumnTexts(list, 1);
    names.sort();
    QCOMPARE(names, (QStringList{"2009-12", "2010-01", "odd-types"}));
    for (int r = 0; r < 3; ++r) {
        const BackupEntry *entry = g_backups.GetAt(r);
        QCOMPARE(dlg.EntryAt(r), entry);
        QCOMPARE(RowTexts(list, r), (QStringList{QString::number(r + 1), entry->m_name, entry->m_dtStart,
                                                 entry->m_dtStop, QDir::toNativeSeparators(entry->m_path)}));
        QCOMPARE(entry->m_path, folder.Root() + entry->m_name + '/');
    }
    const int december = RowOf(list, "2009-12");
    QCOMPARE(list->item(december, 2)->text(), QString("2009-12-01 00:00:00"));
    QCOMPARE(list->item(december, 3)->text(), QString("2009-12-31 23:59:59"));
    if (!january.isEmpty())
        QCOMPARE(list->item(RowOf(list, "2010-01"), 2)->text(), january);
    QCOMPARE(list->item(RowOf(list, "odd-types"), 3)->text(), QString());

    // The menu bar: Operation with its three commands, then Help with the About box.
    const QList<QAction *> entries = dlg.MenuBar()->actions();
    QCOMPARE(entries.size(), 2);
    QStringList texts;
    for (const QAction *entry : entries) {
        texts << entry->text();
        for (const QAction *a : entry->menu()->actions())
            if (!a->isSeparator())
                texts << a->text();
    }
    QCOMPARE(texts, menuTexts);

    // The backup popup is translated each time it is shown.
    QVERIFY(Show(dlg));
    PopupDriver popups([](QMenu *) { return nullptr; });
    RightClick(dlg.List(), CellCentre(dlg.List(), 0));
    RightClick(dlg.List(), CellCentre(dlg.List(), 2));
    QCOMPARE(popups.shown, (QList<QStringList>{popupTexts, popupTexts}));
    QVERIFY(desktop.messages.isEmpty());
    QCOMPARE(list->rowCount(), 3);
}

void MainWindowTest::listLayoutAndStyles()
{
    MainWindowIn window(1, Open::Made);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);

    const QHeaderView *header = list->horizontalHeader();
    QCOMPARE(header->count(), 5);
    // The design's widths; the last column takes what the window has beyond them.
    const int widths[] = {40, 210, 110, 110, 400};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(header->sectionSize(c), widths[c]);
    QVERIFY(header->sectionSize(4) >= widths[4]);
    QVERIFY(header->stretchLastSection());
    QVERIFY(header->sectionsMovable());
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->objectName(), QString("IdcBackupList"));
    for (int r = 0; r < list->rowCount(); ++r)
        QVERIFY(list->rowHeight(r) >= 20);
    QCOMPARE(dlg.minimumSize(), QSize(900, 640));
    QVERIFY(!dlg.windowIcon().isNull());

    // The list fills the client area under the menu bar, whatever the size.
    QVERIFY(Show(dlg));
    for (const QSize size : {QSize(900, 640), QSize(1200, 800)}) {
        dlg.resize(size);
        QTRY_COMPARE(dlg.size(), size);
        QTRY_COMPARE(list->geometry(),
                     QRect(0, dlg.MenuBar()->height(), size.width(), size.height() - dlg.MenuBar()->height()));
    }
    dlg.resize(400, 300);
    QCoreApplication::processEvents();
    QVERIFY(dlg.width() >= 900 && dlg.height() >= 640);

    // Size and column widths come back in the next window, the user's configuration
    // folder keeping them.
    dlg.resize(1000, 700);
    QTRY_COMPARE(dlg.size(), QSize(1000, 700));
    list->horizontalHeader()->resizeSection(1, 250);
    dlg.close();
    {
        COrvikDlg next;
        QCOMPARE(next.size(), QSize(1000, 700));
        QCOMPARE(next.List()->horizontalHeader()->sectionSize(1), 250);
        // Wider now, the last column takes the room; the one the user dragged keeps its width.
        QVERIFY(Show(next));
        const int last = next.List()->horizontalHeader()->sectionSize(4);
        next.resize(1300, 700);
        QTRY_COMPARE(next.List()->horizontalHeader()->sectionSize(4), last + 300);
        QCOMPARE(next.List()->horizontalHeader()->sectionSize(1), 250);
        // Remembered larger than this screen and partly off it, it comes back on it whole.
        const QRect screen = next.screen()->availableGeometry();
        next.setGeometry(screen.left() + 100, screen.top() + 300, screen.width() + 100, screen.height() + 100);
        QTRY_COMPARE(next.width(), screen.width() + 100);
        next.close();
        COrvikDlg fitted;
        QVERIFY(screen.contains(fitted.frameGeometry()));
        QVERIFY(fitted.width() >= 900 && fitted.height() >= 640);
    }
    ForgetWindows();
}

void MainWindowTest::everyTextFitsAtTheMinimumSize_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << 1;
    QTest::newRow("Chinese") << 0;
    QTest::newRow("Turkish") << 3;
}

void MainWindowTest::everyTextFitsAtTheMinimumSize()
{
    // At 900 x 640, in each language: no column title is cut, and the menu bar's titles
    // stand apart, each whole.
    QFETCH(int, language);
    MainWindowIn window(language, Open::Shown);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    dlg.resize(dlg.minimumSize());
    QTRY_COMPARE(dlg.size(), QSize(900, 640));
    QCoreApplication::processEvents();
    const QStringList titles = CutTitles(dlg.List()->horizontalHeader());
    QVERIFY2(titles.isEmpty(), qPrintable(titles.join("; ")));
    QMenuBar *bar = dlg.MenuBar();
    QRect last;
    for (QAction *entry : bar->actions()) {
        const QRect place = bar->actionGeometry(entry);
        const int needed = bar->fontMetrics().horizontalAdvance(QString(entry->text()).remove(u'&'));
        QVERIFY2(place.width() >= needed, qPrintable(entry->text()));
        QVERIFY2(!place.intersects(last), qPrintable(entry->text()));
        QVERIFY(bar->rect().contains(place));
        last = place;
    }
    GuiTest::SaveScreenshot(&dlg, QStringLiteral("main-window-minimum-%1.png").arg(QTest::currentDataTag()));
}

void MainWindowTest::listSortsByAClick()
{
    MainWindowIn window(1, Open::Shown);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    // Listed by name, as Windows lists the folders.
    QCOMPARE(ColumnTexts(list, 1), (QStringList{"2009-12", "2010-01", "odd-types"}));
    QHeaderView *header = list->horizontalHeader();
    const auto click = [header](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    // Each row keeps its entry whatever the order.
    const auto entriesFollow = [&dlg, list] {
        for (int r = 0; r < list->rowCount(); ++r)
            QCOMPARE(dlg.EntryAt(r)->m_name, list->item(r, 1)->text());
    };
    click(1);
    QCOMPARE(ColumnTexts(list, 1), (QStringList{"2009-12", "2010-01", "odd-types"}));
    click(1);
    QCOMPARE(ColumnTexts(list, 1), (QStringList{"odd-types", "2010-01", "2009-12"}));
    entriesFollow();
    click(4);
    QStringList paths = ColumnTexts(list, 4);
    QStringList sorted = paths;
    sorted.sort();
    QCOMPARE(paths, sorted);
    entriesFollow();
    click(2);
    const QStringList starts = ColumnTexts(list, 2);
    QStringList startsSorted = starts;
    startsSorted.sort();
    QCOMPARE(starts, startsSorted);
    // The number sorts by value, and the sort holds when the list is filled again.
    click(0);
    click(0);
    QCOMPARE(ColumnTexts(list, 0), (QStringList{"3", "2", "1"}));
    dlg.FillList();
    QCOMPARE(ColumnTexts(list, 0), (QStringList{"3", "2", "1"}));
    entriesFollow();
}

void MainWindowTest::addDirectory()
{
    MainWindowIn window(1, Open::Made);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    QAction *add = MenuAction(dlg, "CmdAddDirectory");
    QVERIFY(add);
    const QStringList before = ColumnTexts(list, 4);

    // Cancelled: nothing changes; the picker's title is Ids::TxtFolderPickerTitle.
    add->trigger();
    QCOMPARE(desktop.folderTitles, QStringList{"Choose a folder with backups"});
    QCOMPARE(ColumnTexts(list, 4), before);

    // A backup outside the root, then a folder holding backups (the root again), then the
    // same backup twice: every row is listed, numbered 1..n anew.
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), folder.Path("big")));
    desktop.folders << folder.Path("big") << folder.Root() << folder.Path("big");
    add->trigger();
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE(list->item(3, 1)->text(), QString("big"));
    QCOMPARE(list->item(3, 4)->text(), QDir::toNativeSeparators(folder.Path("big/")));
    add->trigger();
    QCOMPARE(list->rowCount(), 7);
    QCOMPARE(ColumnTexts(list, 4).mid(4), before);
    add->trigger();
    QCOMPARE(list->rowCount(), 8);
    QCOMPARE(ColumnTexts(list, 0), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
    QCOMPARE(list->item(7, 4)->text(), QDir::toNativeSeparators(folder.Path("big/")));
    QCOMPARE(g_backups.GetCount(), 8);
    for (int r = 0; r < 8; ++r)
        QCOMPARE(dlg.EntryAt(r), g_backups.GetAt(r));

    // A folder without backups adds nothing.
    desktop.folders << folder.Path("Rec/not-a-backup");
    add->trigger();
    QCOMPARE(list->rowCount(), 8);
    QCOMPARE(desktop.folderTitles.size(), 5);
    QVERIFY(desktop.messages.isEmpty());
}

void MainWindowTest::deleteBackupAfterYesOnly()
{
    MainWindowIn window(1, Open::Shown);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    QCOMPARE(list->rowCount(), 3);
    const QStringList rows[] = {RowTexts(list, 0), RowTexts(list, 1), RowTexts(list, 2)};
    const QString middle = rows[1][4];
    QVERIFY(QFileInfo::exists(middle + "dbR.mdb"));

    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });

    // No: nothing changes.
    desktop.answers << Desktop::Answer::No;
    RightClick(list, CellCentre(list, 1));
    QCOMPARE(popups.shown.size(), 1);
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].caption, QString("Confirm Deletion"));
    QCOMPARE(desktop.messages[0].text, QString("Are you sure you want to delete it?"));
    QCOMPARE(desktop.messages[0].buttons, Desktop::Buttons::YesNo);
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Information);
    QCOMPARE(list->rowCount(), 3);
    QVERIFY(QFileInfo::exists(middle + "dbR.mdb"));

    // Yes on the second of three rows: its folder is gone, the others keep numbers 1 and 3.
    desktop.answers << Desktop::Answer::Yes;
    RightClick(list, CellCentre(list, 1));
    QCOMPARE(popups.shown.size(), 2);
    QCOMPARE(desktop.messages.size(), 2);
    QVERIFY(!QFileInfo::exists(middle));
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(RowTexts(list, 0), rows[0]);
    QCOMPARE(RowTexts(list, 1), rows[2]);
    QCOMPARE(g_backups.GetCount(), 2);
    QCOMPARE(dlg.EntryAt(0), g_backups.GetAt(0));
    QCOMPARE(dlg.EntryAt(1), g_backups.GetAt(1));
    QCOMPARE(QDir::toNativeSeparators(g_backups.GetAt(1)->m_path), rows[2][4]);

    // Add Directory rebuilds and renumbers.
    desktop.folders << folder.Root() + rows[0][1];
    MenuAction(dlg, "CmdAddDirectory")->trigger();
    QCOMPARE(ColumnTexts(list, 0), (QStringList{"1", "2", "3"}));
}

void MainWindowTest::undeletableBackupStaysListed()
{
    ProgramFolder folder;
    QVERIFY(folder.SetUp(1));
    // A file system mounted inside the backup: the deletion refuses the whole tree, for
    // root too.
    const QString mountPoint = folder.Root() + "2009-12/voice/mounted";
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mountPoint}) != 0)
        QSKIP("Cannot mount a tmpfs here (needs root and mount rights): the undeletable folder is not tested");
    struct Unmount
    {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mountPoint};
    QVERIFY(TestFiles::write(mountPoint + "/inside.txt", "kept"));

    ScriptedDesktop desktop;
    COrvikDlg dlg;
    QVERIFY(Show(dlg));
    QTableWidget *list = dlg.List();
    const int row = RowOf(list, "2009-12");
    const QStringList texts = RowTexts(list, row);

    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });
    desktop.answers << Desktop::Answer::Yes;
    RightClick(list, CellCentre(list, row));
    QCOMPARE(desktop.messages.size(), 2);
    const ScriptedDesktop::Message &error = desktop.messages[1];
    QCOMPARE(error.icon, Desktop::Icon::Error);
    QCOMPARE(error.caption, QString("Confirm Deletion"));
    QVERIFY2(error.text.contains(texts[4]), qPrintable(error.text));
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(RowTexts(list, row), texts);
    QCOMPARE(g_backups.GetCount(), 3);
    QCOMPARE(dlg.EntryAt(row)->m_path, texts[4]);
    QVERIFY(QFileInfo::exists(mountPoint + "/inside.txt"));
}

void MainWindowTest::nothingHappensBelowLastRow()
{
    MainWindowIn window(1, Open::Shown);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);

    PopupDriver popups([](QMenu *) { return nullptr; });
    WindowWatcher<CDlgQuery> queries([](CDlgQuery *q) { q->reject(); });
    const QPoint below = BelowLastRow(list);
    QVERIFY(!list->indexAt(below).isValid());
    RightClick(list, below);
    DoubleClick(list, below);
    QCoreApplication::processEvents();
    QVERIFY(popups.shown.isEmpty());
    QCOMPARE(queries.seen, 0);
    QCOMPARE(list->rowCount(), 3);

    // A backup root without backups: an empty list, and nothing anywhere.
    QVERIFY(QDir().mkpath(folder.Path("empty")));
    QVERIFY(TestFiles::write(folder.Program() + "config.ini",
                             "[config]\r\nm_language=1\r\nm_BackDir=" + folder.Path("empty").toUtf8() + "\r\n"));
    g_backups.LoadFromSettings();
    dlg.FillList();
    QCOMPARE(list->rowCount(), 0);
    RightClick(list, QPoint(20, 10));
    DoubleClick(list, QPoint(20, 10));
    QVERIFY(popups.shown.isEmpty());
    QCOMPARE(queries.seen, 0);
}

void MainWindowTest::doubleClickAndMenuOpenTheQueryWindow()
{
    MainWindowIn window(1, Open::Shown);
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    const int row = RowOf(list, "2009-12");

    QStringList opened;
    bool mainBlocked = false;
    WindowWatcher<CDlgQuery> queries([&](CDlgQuery *q) {
        opened << q->BackupDir() + " | " + q->windowTitle();
        mainBlocked = q->isModal() && QApplication::activeModalWidget() == q;
        q->reject();
    });
    DoubleClick(list, CellCentre(list, row));
    QCOMPARE(queries.seen, 1);
    QVERIFY(mainBlocked);

    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdQueryBackup); });
    RightClick(list, CellCentre(list, row));
    QCOMPARE(queries.seen, 2);
    const QString expected = folder.Root() + "2009-12/ | Search Recordings";
    QCOMPARE(opened, (QStringList{expected, expected}));
    QVERIFY(desktop.messages.isEmpty()); // the database opened
    QCOMPARE(list->rowCount(), 3);
}

void MainWindowTest::searchAllBackupsPlaysAndDeletes()
{
    MainWindowIn window(1, Open::Made, "m_PlayerType=1\r\n"); // plays through the desktop's opening of files
    auto &[folder, setUp, desktop, dlg, list] = window;
    QVERIFY(setUp);
    QAction *command = MenuAction(dlg, "CmdSearchAll");
    QVERIFY(command);
    QCOMPARE(command->text(), QString("&Search All Backups..."));
    const QStringList backups{"2009-12", "2010-01", "odd-types"};
    QMap<QString, QByteArray> before;
    for (const QString &b : backups)
        before[b] = TestFiles::read(folder.Root() + b + "/dbR.mdb");

    QString deletedFile;
    WindowWatcher<SearchAllWindow> windows([&](SearchAllWindow *w) {
        const auto closeAtEnd = qScopeGuard([w] { w->reject(); });
        QCOMPARE(w->windowTitle(), QString("Search All Backups"));
        QVERIFY(QApplication::activeModalWidget() == w);
        Control<QPushButton>(*w, "IdcFind")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsSearching(), 20000);
        QVERIFY(desktop.messages.isEmpty()); // every backup was searched

        // 60 + 20 + 12 rows by start time (ties in catalogue order), numbered 1..n, the
        // backup's name first.
        const BackupSearchModel &model = w->Model();
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Backup"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("No."));
        QCOMPARE(model.RowCount(), 92);
        QMap<QString, int> perBackup;
        for (int r = 0; r < model.RowCount(); ++r) {
            QCOMPARE(model.CellText(r, 0), QString::number(r + 1));
            if (r > 0)
                QVERIFY(model.CellText(r - 1, 4) <= model.CellText(r, 4));
            ++perBackup[model.BackupName(r)];
        }
        QCOMPARE(perBackup, (QMap<QString, int>{{"2009-12", 60}, {"2010-01", 20}, {"odd-types", 12}}));
        QVERIFY(Control<QLabel>(*w, "StatusLine")->text().startsWith("3 of 3 backups searched"));
        if (QWidget *pane = w->findChild<QWidget *>("PlayerPane"))
            QVERIFY(pane->mapTo(w, QPoint(0, 0)).y() >= w->List()->mapTo(w, QPoint(0, w->List()->height())).y());

        // A January call with its recording: a double click plays it, the row menu deletes it.
        int row = 0;
        while (row < model.RowCount() && !(model.BackupName(row) == "2010-01" && QFile::exists(model.CellText(row, 8))))
            ++row;
        QVERIFY(row < model.RowCount());
        deletedFile = model.CellText(row, 8);
        const QString id = model.CellText(row, 9);
        QTableView *list = w->List();
        list->scrollTo(model.index(row, 1));
        DoubleClick(list, CellCentre(list, row));
        QCOMPARE(desktop.openedFiles, QStringList{deletedFile});

        desktop.answers = {Desktop::Answer::Yes};
        PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });
        RightClick(list, CellCentre(list, row));
        QCOMPARE(desktop.messages.size(), 1); // the confirmation, nothing else
        QTRY_COMPARE(model.RowCount(), 91);
        for (int r = 0; r < model.RowCount(); ++r)
            QVERIFY(!(model.BackupName(r) == "2010-01" && model.CellText(r, 9) == id));

        // The export: the backup's name as the first column, then the query window's.
        Control<QPushButton>(*w, "IdcExport")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->m_exportRunning.load(), 0, 30000);
        QCOMPARE(desktop.openedFiles.size(), 2);
#ifndef _WIN32 // the workbook is read with the build machine's python3, which Wine cannot wait for
        QProcess unzip;
        unzip.start(ORVIK_TEST_PYTHON,
                    {"-c",
                     "import sys, zipfile\n"
                     "z = zipfile.ZipFile(sys.argv[1])\n"
                     "print(''.join(z.read(n).decode() for n in z.namelist() if n.startswith('xl/')))",
                     desktop.openedFiles.last()});
        QVERIFY(unzip.waitForFinished(30000));
        const QString parts = QString::fromUtf8(unzip.readAllStandardOutput());
        QVERIFY(parts.contains(">Backup<"));
        QCOMPARE(parts.count(">odd-types<"), 12);
#endif
        QFile::remove(desktop.openedFiles.last());
    });
    command->trigger();
    QCOMPARE(windows.seen, 1);

    // Only the January backup changed: its database and its recording.
    QVERIFY(!deletedFile.isEmpty());
    QVERIFY(!QFile::exists(deletedFile));
    QVERIFY(TestFiles::read(folder.Root() + "2010-01/dbR.mdb") != before["2010-01"]);
    QCOMPARE(TestFiles::read(folder.Root() + "2009-12/dbR.mdb"), before["2009-12"]);
    QCOMPARE(TestFiles::read(folder.Root() + "odd-types/dbR.mdb"), before["odd-types"]);
}

void MainWindowTest::enterEscapeAndExitEndTheWindow()
{
    ProgramFolder folder;
    QVERIFY(folder.SetUp(1));
    ScriptedDesktop desktop;
    struct Case
    {
        const char *name;
        std::function<void(COrvikDlg &)> act;
        int result; // -1: the window stays
    };
    const Case cases[] = {
        {"Enter", [](COrvikDlg &d) { QTest::keyClick(d.List(), Qt::Key_Return); }, QDialog::Accepted},
        // Escape never ends the program without a word.
        {"Escape", [](COrvikDlg &d) { QTest::keyClick(d.List(), Qt::Key_Escape); }, -1},
        {"Escape on the window", [](COrvikDlg &d) { QTest::keyClick(&d, Qt::Key_Escape); }, -1},
        {"Exit", [](COrvikDlg &d) { MenuAction(d, "CmdExit")->trigger(); }, QDialog::Accepted},
        {"close box", [](COrvikDlg &d) { d.close(); }, QDialog::Rejected},
    };
    for (const Case &c : cases) {
        COrvikDlg dlg;
        QVERIFY(Show(dlg));
        dlg.List()->setFocus();
        QSignalSpy finished(&dlg, &QDialog::finished);
        c.act(dlg);
        if (c.result < 0) {
            QCoreApplication::processEvents();
            QVERIFY2(finished.isEmpty(), c.name);
            QVERIFY2(dlg.isVisible(), c.name);
            continue;
        }
        QVERIFY2(finished.size() == 1, c.name);
        QCOMPARE(finished[0][0].toInt(), c.result);
        QVERIFY(!dlg.isVisible());
    }
}

void MainWindowTest::aboutBox()
{
    // In the UI language: caption and purpose; the version is the same in every one.
    struct Case
    {
        int language;
        QString title;
        QString purpose;
    };
    const Case cases[] = {
        {1, "About Orvik", "Browses the backups of a telephone call recorder."},
        {0, "关于 Orvik", "浏览电话录音仪的备份。"},
        {3, "Orvik Hakkında", "Bir telefon ses kayıt cihazının yedeklerine göz atar."},
    };
    for (const Case &c : cases) {
        MainWindowIn window(c.language, Open::Made);
        auto &[folder, setUp, desktop, dlg, list] = window;
        QVERIFY(setUp);
        QAction *about = MenuAction(dlg, "CmdAbout");
        QVERIFY(about);
        QCOMPARE(about->data().toInt(), int(Ids::CmdAbout));
        QString title, version, purpose;
        WindowWatcher<CAboutDlg> abouts([&](CAboutDlg *a) {
            title = a->windowTitle();
            version = a->findChild<QLabel *>("AboutVersion")->text();
            purpose = a->findChild<QLabel *>("AboutPurpose")->text();
            a->accept();
        });
        about->trigger();
        QCOMPARE(abouts.seen, 1);
        QCOMPARE(title, c.title);
        QCOMPARE(purpose, c.purpose);
        QCOMPARE(version, QStringLiteral("Orvik ") + kOrvikVersion); // the project() version of CMake
    }
}

void MainWindowTest::brokenLanguageFileIsNamedAtStart()
{
    // Every text would be empty, the delete question included: one message (in English, as
    // there are no texts) names the file and what is wrong with it.
    ProgramFolder folder;
    QVERIFY(folder.SetUp(1));
    const QString file = folder.Program() + "language/Menu_English.xml";
    QVERIFY(TestFiles::write(file, QByteArray("\x89PNG\r\n\x1a\n")));
    ScriptedDesktop desktop;
    COrvikDlg dlg;
    QCOMPARE(desktop.messages.size(), 1);
    QVERIFY(desktop.messages[0].text.contains(QDir::cleanPath(folder.Program()) + "/language/Menu_English.xml"));
    QVERIFY(desktop.messages[0].text.contains(" could not be read: it is "));
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Warning);
    QCOMPARE(dlg.windowTitle(), QString());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

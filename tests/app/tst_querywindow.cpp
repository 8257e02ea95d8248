// The query window on copies of the sample backups: its initial state, Find with the
// filters against the rows the result list's own fill gives, the columns, sorting and the
// status line, the date presets, the player pane following the list (keys, the splitter,
// playing on to the next call, playing in the pane when no media player is found or when
// asked), the detail panel beside it, playing and deleting from the row menu, Enter, the
// closing rules, and what it remembers between runs; the search over every backup closed
// while it runs.
#include "GuiTestSupport.h"
#include "ScriptedDesktop.h"
#include "app/CallDetailPanel.h"
#include "app/CallList.h"
#include "app/DlgProgress.h"
#include "app/DlgQuery.h"
#include "app/ListNarrower.h"
#include "app/QueryForm.h"
#include "app/SearchAllWindow.h"
#include "db/ado/AdoDb.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "lang/Ids.h"
#include "platform/FileLocks.h"
#include "platform/RandomAccessFile.h"
#include "query/BackupSearch.h"
#include "query/BuildStatement.h"
#include "query/CallListModel.h"
#include "query/CellFormat.h"
#include "query/ResultListModel.h"
#ifdef ORVIK_HAS_PLAYER
#include "app/PlayerPane.h"
#include "app/RecordingPlayer.h"
#include "app/WaveformStrip.h"
#endif
#include "app/CallHeatMap.h"
#include "app/ListStatistics.h"
#include "app/PeriodChart.h"
#include "app/StatisticsView.h"

#include <QTabBar>
#include <QTableWidget>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using namespace GuiTest;

namespace {

// Every cell of every row, as the list's model holds them.
QList<QStringList> AllCells(const ResultListModel &model)
{
    QList<QStringList> rows;
    for (int r = 0; r < model.RowCount(); ++r) {
        QStringList cells;
        for (int p = 0; p < ResultListModel::kCellCount; ++p)
            cells << model.CellText(r, p);
        rows << cells;
    }
    return rows;
}

int RowWithId(const ResultListModel &model, int id)
{
    for (int r = 0; r < model.RowCount(); ++r)
        if (model.CellText(r, ResultListModel::CellId) == QString::number(id))
            return r;
    return -1;
}

// The value a cell sorts by: seconds of a talk time, bytes of a size, the text otherwise.
QVariant SortValue(const CallListModel &model, int row, int cell)
{
    const QString text = model.CellText(row, cell);
    if (cell == ResultListModel::CellTalkTime)
        return text.section(':', 0, 0).toInt() * 60 + text.section(':', 1).toInt();
    if (cell == ResultListModel::CellSize) {
        const double unit = text.endsWith("MB") ? 1048576.0 : text.endsWith("KB") ? 1024.0 : 1.0;
        return text.isEmpty() ? -1.0 : text.section(' ', 0, 0).toDouble() * unit;
    }
    if (cell == ResultListModel::CellNumber || cell == ResultListModel::CellId)
        return text.toInt();
    return text;
}

// A click on the title of `cell`, as the user makes it.
// Clicks a column title and waits until the list shows the order (a sort runs on a worker).
void ClickTitle(QTableView *list, int cell)
{
    QHeaderView *header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(cell) + 5, header->height() / 2));
    const auto *calls = qobject_cast<const CallListModel *>(list->model());
    QTRY_VERIFY(!calls->IsSorting());
}

// A query window on `backup` at `size` when one is given, shown (Open::Shown) or shown with
// every row of the backup listed by Find (Open::Found), and the desktop that takes its
// messages, made before the window.
struct QueryWindowOn
{
    ScriptedDesktop desktop;
    QString dir;
    CDlgQuery dlg;

    QueryWindowOn(const QString &backup, Open open, QSize size = QSize()) : dir(backup), dlg(backup)
    {
        if (size.isValid())
            dlg.resize(size);
        if (open == Open::Found)
            ShowAndFind(dlg);
        else
            QVERIFY(Show(dlg));
    }
};

} // namespace

class QueryWindowTest : public QObject
{
    Q_OBJECT

    PrivateSoundServer m_sound;
    QTemporaryDir m_dir;
    QString m_backup; // a copy of Rec/2009-12, ending in "/"

    // A fresh copy of the December backup for each test.
    QString FreshBackup(const QString &name = QStringLiteral("2009-12"))
    {
        const QString dir = m_dir.path() + "/" + name + QString::number(++m_copies) + "/";
        if (!TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), dir))
            qFatal("cannot copy the sample backup");
        return dir;
    }
    int m_copies = 0;

private slots:
    void initTestCase();
    void initialState();
    void everyTextFitsAtTheMinimumSize_data();
    void everyTextFitsAtTheMinimumSize();
    void separatorAddedToTheBackupDir_data();
    void separatorAddedToTheBackupDir();
    void findGivesTheRowsOfTheStatement_data();
    void findGivesTheRowsOfTheStatement();
    void titlesStandOverTheirCells();
    void playFromTheList();
    void deleteRecordFromRowMenu();
    void enterRunsFindAndNeverCloses();
    void escapeClosesAtOnce();
    void escapeDuringExportWaitsForIt();
    void closingTheSearchWindowStopsItsSearch();
    void searchThatHelpsFindOneCall();
    void databaseThatDoesNotOpen();
    void refusedStatementAndDamagedDatabaseAreSaid();
    void largeResultArrivesInBatches();
    void sortAndTypeAheadKeepTheWindowFree();
    void sortingAndTheStatusLine();
    void narrowTheListAsYouType();
    void cutCellsShowTheirTextAsATooltip();
    void tabbingKeepsTheFocusInSight();
    void missingRecordingsAreMarked();
    void datePresetsSetThePickers();
    void playerPaneFollowsTheList();
    void listeningInThePane();
    void detailPanelShowsTheWholeRecord();
    void remembersSizeAndColumns();
    void rememberedSizeFitsTheScreen();
    void statisticsLeadBackToTheCalls();
};

void QueryWindowTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(LoadLanguage(1));
    ForgetWindows();
}

void QueryWindowTest::initialState()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(FreshBackup());
    QVERIFY(desktop.messages.isEmpty());

    QCOMPARE(dlg.windowTitle(), QString("Search Recordings"));
    QCOMPARE(Control<QLabel>(dlg, "IdcCallTypeLabel")->text(), QString("Call type:"));
    QCOMPARE(Control<QLabel>(dlg, "IdcToLabel")->text(), QString("To:"));
    QCOMPARE(Control<QLabel>(dlg, "IdcUserNameLabel")->text(), QString("User name:"));
    QCOMPARE(Control<QLabel>(dlg, "IdcNumberLabel")->text(), QString("Number:"));
    QCOMPARE(Control<QLabel>(dlg, "IdcRemarkLabel")->text(), QString("Remark:"));
    QCOMPARE(Control<QCheckBox>(dlg, "IdcFromCheck")->text(), QString("From:"));
    QCOMPARE(Control<QPushButton>(dlg, "IdcFind")->text(), QString("Find"));
    QCOMPARE(Control<QPushButton>(dlg, "IdcExport")->text(), QString("Export to Excel"));

    auto *callType = Control<QComboBox>(dlg, "IdcCallType");
    QCOMPARE(callType->count(), 4);
    const QStringList types{callType->itemText(0), callType->itemText(1), callType->itemText(2), callType->itemText(3)};
    QCOMPARE(types, (QStringList{"Incoming", "Outgoing", "All calls", "Missed"}));
    QCOMPARE(callType->currentIndex(), 2);
    QVERIFY(!callType->isEditable());

    auto *user = Control<QComboBox>(dlg, "IdcUserName");
    QVERIFY(user->isEditable());
    QCOMPARE(user->count(), 1);
    QCOMPARE(user->itemText(0), QString("All users"));
    QCOMPARE(user->currentText(), QString("All users"));

    auto *check = Control<QCheckBox>(dlg, "IdcFromCheck");
    auto *from = Control<QDateEdit>(dlg, "IdcDateFrom");
    auto *to = Control<QDateEdit>(dlg, "IdcDateTo");
    QVERIFY(!check->isChecked());
    for (QDateEdit *picker : {from, to}) {
        QVERIFY(!picker->isEnabled());
        QVERIFY(picker->calendarPopup());
        QCOMPARE(picker->date(), QDate::currentDate());
    }
    QVERIFY(Control<QLineEdit>(dlg, "IdcNumber")->text().isEmpty());
    QVERIFY(Control<QLineEdit>(dlg, "IdcRemark")->text().isEmpty());
    QVERIFY(Control<QPushButton>(dlg, "IdcFind")->isDefault());
    QCOMPARE(dlg.minimumSize(), QSize(900, 640));

    // The check box toggles both pickers, and only them: no search runs.
    QVERIFY(Show(dlg));
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(from->isEnabled() && to->isEnabled());
    QVERIFY(dlg.m_useDateRange);
    QCOMPARE(dlg.Model().RowCount(), 0);
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(!from->isEnabled() && !to->isEnabled());

    // The progress window exists, hidden, captioned with Ids::TxtProgressCaption.
    QVERIFY(dlg.Progress());
    QVERIFY(!dlg.Progress()->isVisible());
    QCOMPARE(dlg.Progress()->windowTitle(), QString("Exporting to Excel"));
    QCOMPARE(dlg.m_exportRunning.load(), 0);
    QCOMPARE(dlg.m_closeRequested.load(), 0);

    // The filter band keeps its 70 pixels; the list fills the rest at every size but for
    // the filter box over it, the row of the statistics' tabs between them (in a build
    // with them), the status line and, under it, the player pane with the detail panel
    // beside it (the panel alone in a build without the pane).
    auto *status = Control<QLabel>(dlg, "StatusLine");
    QCOMPARE(status->text(), QString("Calls: 0    Missed: 0    Talk time: 00:00:00"));
    const auto inWindow = [&dlg](const QWidget *w) { return QRect(w->mapTo(&dlg, QPoint(0, 0)), w->size()); };
    for (const QSize size : {QSize(900, 640), QSize(1300, 900)}) {
        dlg.resize(size);
        QTRY_COMPARE(dlg.size(), size);
        // The filter box that narrows the list stands on top of it.
        const QRect box = inWindow(Control<QLineEdit>(dlg, "NarrowBox"));
        QCOMPARE(box.topLeft(), QPoint(0, 70));
        QCOMPARE(box.width(), size.width());
        const QRect list = inWindow(dlg.List());
        const QWidget *tabs = dlg.findChild<QWidget *>("StatisticsTabs");
        if (tabs)
            QCOMPARE(inWindow(tabs).topLeft(), QPoint(0, box.bottom() + 1));
        QCOMPARE(list.topLeft(), QPoint(0, (tabs ? inWindow(tabs) : box).bottom() + 1));
        QCOMPARE(list.width(), size.width());
        QCOMPARE(inWindow(status), QRect(0, list.bottom() + 1, size.width(), status->height()));
        const QWidget *pane = dlg.findChild<QWidget *>("PlayerPane");
        const QWidget *below = pane ? pane : Control<QWidget>(dlg, "CallDetailPanel");
        QCOMPARE(inWindow(Control<QWidget>(dlg, "CallDetailPanel")).bottom(), size.height() - 1);
        QCOMPARE(inWindow(below).bottom(), size.height() - 1);
        QVERIFY(below == status || inWindow(below).top() > inWindow(status).bottom());
        QVERIFY(list.height() > size.height() / 2);
        const QRect band = Control<QWidget>(dlg, "FilterBand")->geometry();
        QCOMPARE(band.height(), 70);
        for (QWidget *control :
             Control<QWidget>(dlg, "FilterBand")->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(control->geometry().bottom() < 70, qPrintable(control->objectName()));
    }
    dlg.resize(300, 200);
    QCoreApplication::processEvents();
    QVERIFY(dlg.width() >= 900 && dlg.height() >= 640);
}

void QueryWindowTest::everyTextFitsAtTheMinimumSize_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("code");
    QTest::newRow("English") << 1 << "en";
    QTest::newRow("Chinese") << 0 << "zh";
    QTest::newRow("Turkish") << 3 << "tr";
}

void QueryWindowTest::everyTextFitsAtTheMinimumSize()
{
    // At 900 x 640, in each language, the controls of the filter band neither overlap nor
    // cut their texts, and no column title is cut; the date pickers show the list's form.
    // (With ORVIK_SCREENSHOT_DIR set, the pictures of docs/ are taken here: the query window
    // narrowed by its filter box, the search window with its failure panel, each at the
    // minimum size and maximised.)
#ifdef Q_OS_WIN
    QSKIP("Under Wine the offscreen platform measures texts with Wine's substitute fonts, "
          "wider than a Windows desktop's: the fit is checked on Linux");
#endif
    QFETCH(int, language);
    QFETCH(QString, code);
    QVERIFY(LoadLanguage(language));
    const auto english = qScopeGuard([] {
        LoadLanguage(1);
        ForgetWindows(); // the widths of this language's titles
    });
    ScriptedDesktop desktop;
    QTemporaryDir root;
    for (const char *name : {"2009-12", "2010-01"})
        QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + name, root.filePath(name)));
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), root.filePath("2009-11")));
    QVERIFY(TestFiles::write(root.filePath("2009-11/dbR.mdb"), QByteArray(8192, 'x')));
    CBackupArray catalogue(g_config);
    catalogue.AddDirectory(root.path());
    CDlgQuery query(root.filePath("2009-12") + "/");
    SearchAllWindow search(catalogue);
    for (QDialog *window : {static_cast<QDialog *>(&query), static_cast<QDialog *>(&search)}) {
        QVERIFY(Show(*window));
        window->resize(window->minimumSize());
        QTRY_COMPARE(window->size(), QSize(900, 640));
        Control<QPushButton>(*window, "IdcFind")->click();
        if (window == &query)
            WaitForFill(query);
        else
            QTRY_VERIFY_WITH_TIMEOUT(!search.IsSearching(), 20000);
        QCoreApplication::processEvents();
        auto *band = Control<QWidget>(*window, "FilterBand");
        const QStringList faults = BandFaults(band);
        QVERIFY2(faults.isEmpty(),
                 qPrintable(window->objectName()
                            + QStringLiteral(" (the band needs %1 pixels): ").arg(band->layout()->minimumSize().width())
                            + faults.join("; ")));
        // The band keeps the design's 70 pixels wherever the texts fit in them.
        QCOMPARE(band->height(), 70);
        auto *list = Control<QTableView>(*window, "IdcResultList");
        const QStringList titles = CutTitles(list->horizontalHeader());
        QVERIFY2(titles.isEmpty(), qPrintable(window->objectName() + ": " + titles.join("; ")));
        for (const char *name : {"IdcDateFrom", "IdcDateTo"})
            QCOMPARE(Control<QDateEdit>(*window, name)->text(), QDate::currentDate().toString("yyyy-MM-dd"));

        const QString picture = window == &query ? "query-window-narrowed" : "search-window-failures";
        if (window == &query)
            Control<QLineEdit>(*window, "NarrowBox")->setText(QStringLiteral("138"));
        else
            QCOMPARE(Control<QListWidget>(*window, "FailurePanel")->count(), 1);
        GuiTest::SaveScreenshot(window, QStringLiteral("%1-%2-minimum.png").arg(picture, code));
        if (!qEnvironmentVariableIsEmpty("ORVIK_SCREENSHOT_DIR")) {
            window->showMaximized();
            QTest::qWait(200);
            GuiTest::SaveScreenshot(window, QStringLiteral("%1-%2-maximised.png").arg(picture, code));
        }
        window->reject();
    }
}

void QueryWindowTest::separatorAddedToTheBackupDir_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("expectedEnding");
    QTest::newRow("slash") << "/"
                           << "/";
    QTest::newRow("none") << ""
                          << "/";
}

void QueryWindowTest::separatorAddedToTheBackupDir()
{
    QFETCH(QString, ending);
    QFETCH(QString, expectedEnding);
    ScriptedDesktop desktop;
    QString dir = FreshBackup();
    dir.chop(1);
    CDlgQuery dlg(dir + ending);
    QCOMPARE(dlg.BackupDir(), dir + expectedEnding);
    QVERIFY(desktop.messages.isEmpty()); // dbR.mdb was found below it
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 60);
    QCOMPARE(dlg.Model().CellText(0, ResultListModel::CellFile),
             QDir::toNativeSeparators(dir + "/voice/20091201000000_2_110.wav"));

    // A backslash counts as a separator ending too (the database is then not found here).
    CDlgQuery other(dir + "\\");
    QCOMPARE(other.BackupDir(), dir + "\\");
}

void QueryWindowTest::findGivesTheRowsOfTheStatement_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("user"); // "<all>": leave the all-users text
    QTest::addColumn<QString>("remark");
    QTest::addColumn<int>("callType");
    QTest::addColumn<QDate>("from"); // invalid: check box clear
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("expectedRows");

    struct Row
    {
        const char *tag, *number, *user, *remark;
        int callType;
        QDate from, to;
        int expectedRows;
    };
    const QDate none;
    const Row rows[] = {
        {"nothing set", "", "<all>", "", 2, none, none, 60},
        {"missed", "", "<all>", "", 3, none, none, 8},
        {"number, incoming", "138", "<all>", "", 0, none, none, 8},
        {"number overrides user", "138", "Li", "", 2, none, none, 11},
        {"user", "", "Li", "", 2, none, none, 11},
        {"remark", "", "<all>", "vip", 2, none, none, 9},
        {"date range", "", "<all>", "", 2, QDate(2009, 12, 10), QDate(2009, 12, 20), 22},
        {"everything", "", "Li", "vip", 3, QDate(2009, 12, 1), QDate(2009, 12, 29), 1},
        {"user emptied, outgoing", "", "", "", 1, none, none, 19},
        {"apostrophe", "", "O'Brien", "", 2, none, none, 4},
        {"from after to", "", "<all>", "", 2, QDate(2009, 12, 20), QDate(2009, 12, 10), 0},
    };
    for (const Row &row : rows)
        QTest::newRow(row.tag) << QString(row.number) << QString(row.user) << QString(row.remark) << row.callType
                               << row.from << row.to << row.expectedRows;
}

void QueryWindowTest::findGivesTheRowsOfTheStatement()
{
    QFETCH(QString, number);
    QFETCH(QString, user);
    QFETCH(QString, remark);
    QFETCH(int, callType);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, expectedRows);

    QueryWindowOn window(FreshBackup(), Open::Shown);
    auto &[desktop, dir, dlg] = window;

    QTest::keyClicks(Control<QLineEdit>(dlg, "IdcNumber"), number);
    QTest::keyClicks(Control<QLineEdit>(dlg, "IdcRemark"), remark);
    auto *userBox = Control<QComboBox>(dlg, "IdcUserName");
    if (user != "<all>") {
        userBox->lineEdit()->selectAll();
        QTest::keyClick(userBox->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(userBox->lineEdit(), user);
    }
    Control<QComboBox>(dlg, "IdcCallType")->setCurrentIndex(callType);
    const bool useRange = from.isValid();
    if (useRange) {
        QTest::mouseClick(Control<QCheckBox>(dlg, "IdcFromCheck"), Qt::LeftButton);
        Control<QDateEdit>(dlg, "IdcDateFrom")->setDate(from);
        Control<QDateEdit>(dlg, "IdcDateTo")->setDate(to);
    }
    QTest::mouseClick(Control<QPushButton>(dlg, "IdcFind"), Qt::LeftButton);
    WaitForFill(dlg);

    // The same statement run through the list's own fill on a second connection.
    const QString userText = user == "<all>" ? QString("All users") : user;
    const OleDate fromDate = OleDate::fromDateTime(QDateTime(useRange ? from : QDate::currentDate(), QTime(12, 0)));
    const OleDate toDate = OleDate::fromDateTime(QDateTime(useRange ? to : QDate::currentDate(), QTime(12, 0)));
    const QString statement =
        BuildStatement(number, userText, "All users", remark, callType, useRange, fromDate, toDate);
    CAdoDb referenceDb;
    QVERIFY(referenceDb.OpenAccessDatabase(dir + "dbR.mdb", QString()));
    ResultListModel reference;
    reference.SetBackupDir(dir);
    reference.FillResultList(referenceDb, statement);

    QCOMPARE(dlg.Model().RowCount(), expectedRows);
    QCOMPARE(AllCells(dlg.Model()), AllCells(reference));
    QCOMPARE(dlg.List()->model()->rowCount(), expectedRows);
    QCOMPARE(dlg.m_number, number);
    QCOMPARE(dlg.m_callType, callType);
    QCOMPARE(dlg.m_useDateRange, useRange);
    QVERIFY(desktop.messages.isEmpty());

    // Find again: the same rows once, numbered from 1.
    QTest::mouseClick(Control<QPushButton>(dlg, "IdcFind"), Qt::LeftButton);
    WaitForFill(dlg);
    QCOMPARE(AllCells(dlg.Model()), AllCells(reference));
    if (expectedRows > 0)
        QCOMPARE(dlg.Model().CellText(0, 0), QString("1"));
    GuiTest::SaveScreenshot(&dlg, QStringLiteral("query-%1.png").arg(QTest::currentDataTag()).replace(' ', '-'));
}

void QueryWindowTest::titlesStandOverTheirCells()
{
    QueryWindowOn window(FreshBackup(), Open::Found, QSize(1200, 700));
    auto &[desktop, dir, dlg] = window;

    QTableView *list = dlg.List();
    QCOMPARE(list->objectName(), QString("IdcResultList"));
    const QAbstractItemModel *model = list->model();
    QCOMPARE(model, static_cast<QAbstractItemModel *>(&dlg.Model()));
    QCOMPARE(model->columnCount(), 11);
    QStringList titles;
    for (int p = 0; p < 11; ++p)
        titles << model->headerData(p, Qt::Horizontal).toString();
    QCOMPARE(titles, (QStringList{"No.", "User Name", "Call Type", "Number", "Start Time", "Talk Time", "File Size",
                                  "Remark", "Recording File", "DID", "DTMFs"}));

    const QHeaderView *header = list->horizontalHeader();
    // The design's widths, wider only where a title would be cut; the last column shown
    // takes the rest of the window; the record id and the DTMF digits are hidden.
    const int widths[] = {60, 70, 80, 100, 250, 80, 80, 100, 200, 0, 0};
    int x = 0;
    for (int p = 0; p < 11; ++p) {
        const int width = widths[p] == 0 ? 0 : std::max(widths[p], QueryForm::TitleWidth(header, p));
        if (p == 8)
            QCOMPARE(header->sectionSize(p), list->viewport()->width() - x);
        else
            QCOMPARE(header->sectionSize(p), width);
        QCOMPARE(header->isSectionHidden(p), widths[p] == 0);
        QCOMPARE(header->visualIndex(p), p);
        QCOMPARE(header->sectionPosition(p), x);
        x += header->sectionSize(p);
    }
    QVERIFY(header->sectionSize(8) >= 200);
    QVERIFY(header->sectionsMovable());
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    QCOMPARE(header->sectionResizeMode(4), QHeaderView::Interactive);

    // Each title stands over its own cells: what the header's section at a cell's x shows
    // is the cell's kind.
    const QRegularExpression startTime("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
    const QRegularExpression talkTime("^\\d\\d+:\\d\\d$");
    const QRegularExpression size("^(\\d+ B|\\d+\\.\\d\\d KB|\\d+\\.\\d\\d MB)?$");
    for (int r = 0; r < model->rowCount(); ++r) {
        const QRect startCell = list->visualRect(model->index(r, 4));
        QCOMPARE(header->logicalIndexAt(startCell.center().x()), 4);
        QVERIFY(startTime.match(model->index(r, 4).data().toString()).hasMatch());
        QVERIFY(talkTime.match(model->index(r, 5).data().toString()).hasMatch());
        QVERIFY(size.match(model->index(r, 6).data().toString()).hasMatch());
        const QString file = model->index(r, 8).data().toString();
        QVERIFY(file.isEmpty() || file == "DEL"
                || file.startsWith(QDir::toNativeSeparators(dlg.BackupDir() + "voice/")));
        QCOMPARE(model->index(r, 9).data().toString(), dlg.Model().CellText(r, ResultListModel::CellId));
    }
    // The DTMF digits are kept in their (hidden) column.
    QCOMPARE(model->index(0, 10).data().toString(), QString("8001#"));
    QCOMPARE(model->index(0, 4).data().toString(), QString("2009-12-01 00:00:00"));
    GuiTest::SaveScreenshot(&dlg, "query-window.png");
}

void QueryWindowTest::playFromTheList()
{
    QueryWindowOn window(FreshBackup(), Open::Found);
    auto &[desktop, dir, dlg] = window;
    QTableView *list = dlg.List();
    const ResultListModel &model = dlg.Model();

    // A "DEL" record (id 11): Ids::TxtRecordingDeleted with the marker, nothing started.
    const int deleted = RowWithId(model, 11);
    QVERIFY(deleted >= 0);
    list->scrollTo(model.index(deleted, 1));
    DoubleClick(list, CellCentre(list, deleted));
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("The recording file of this call has been deleted (DEL)."));
    QCOMPARE(desktop.messages[0].caption, QString("Error"));
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Error);
    QVERIFY(desktop.starts.isEmpty() && desktop.openedFiles.isEmpty());

    // A record with its file, with the desktop's player (type 1): the file is opened.
    ProgramFolder program;
    QVERIFY(program.SetUp(1, "m_PlayerType=1\r\n"));
    const int first = RowWithId(model, 2);
    list->scrollTo(model.index(first, 1));
    DoubleClick(list, CellCentre(list, first));
    QCOMPARE(desktop.openedFiles, QStringList{QDir::toNativeSeparators(dir + "voice/20091201093713_4_0123456.wav")});

    // The row menu's Play does the same.
    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdPlayRecord); });
    RightClick(list, CellCentre(list, first));
    QCOMPARE(desktop.openedFiles.size(), 2);
#ifdef ORVIK_HAS_PLAYER
    QCOMPARE(popups.shown, (QList<QStringList>{{"&Play Record", "Play &Here", "-", "&Delete Record"}}));
#else
    QCOMPARE(popups.shown, (QList<QStringList>{{"&Play Record", "-", "&Delete Record"}}));
#endif

    // Below the last row: nothing.
    list->scrollToBottom();
    DoubleClick(list, BelowLastRow(list));
    RightClick(list, BelowLastRow(list));
    QCOMPARE(popups.shown.size(), 1);
    QCOMPARE(desktop.openedFiles.size(), 2);
    QCOMPARE(desktop.messages.size(), 1);
}

void QueryWindowTest::deleteRecordFromRowMenu()
{
    QueryWindowOn window(FreshBackup(), Open::Found);
    auto &[desktop, dir, dlg] = window;
    QTableView *list = dlg.List();
    const ResultListModel &model = dlg.Model();
    QCOMPARE(model.RowCount(), 60);

    const int row = RowWithId(model, 2);
    const QString file = model.CellText(row, ResultListModel::CellFile);
    QVERIFY(QFileInfo::exists(file));
    const QStringList next = AllCells(model).at(row + 1);
    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });

    // No: database, file and list unchanged.
    desktop.answers << Desktop::Answer::No;
    RightClick(list, CellCentre(list, row));
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("Are you sure you want to delete it?"));
    QCOMPARE(model.RowCount(), 60);
    QVERIFY(QFileInfo::exists(file));

    // Yes: the row and the file go (the database's part on a worker), the next row keeps
    // its number.
    desktop.answers << Desktop::Answer::Yes;
    RightClick(list, CellCentre(list, row));
    QCOMPARE(desktop.messages.size(), 2);
    QTRY_COMPARE(model.RowCount(), 59);
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(AllCells(model).at(row), next);
    QCOMPARE(RowWithId(model, 2), -1);

    // The Delete key on the list asks the same question: No keeps the row, Yes deletes it.
    const int third = RowWithId(model, 3);
    const QString thirdFile = model.CellText(third, ResultListModel::CellFile);
    list->setFocus();
    list->setCurrentIndex(model.index(third, 1));
    desktop.answers << Desktop::Answer::No;
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(desktop.messages.size(), 3);
    QCOMPARE(desktop.messages[2].text, QString("Are you sure you want to delete it?"));
    QCOMPARE(model.RowCount(), 59);
    desktop.answers << Desktop::Answer::Yes;
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(desktop.messages.size(), 4);
    QTRY_COMPARE(model.RowCount(), 58);
    QCOMPARE(RowWithId(model, 3), -1);
    QVERIFY(thirdFile.isEmpty() || !QFileInfo::exists(thirdFile));

    // The database lost exactly those records and stays sound.
    dlg.reject();
    QVERIFY(!dlg.isVisible());
    {
        jet::Database db;
        QString error;
        QVERIFY2(db.open(dir + "dbR.mdb", jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
        const QStringList problems = jet::Checker::checkDatabase(db);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }
    CDlgQuery again(dir);
    Control<QPushButton>(again, "IdcFind")->click();
    WaitForFill(again);
    QCOMPARE(again.Model().RowCount(), 58);
    QCOMPARE(RowWithId(again.Model(), 2), -1);
    QCOMPARE(RowWithId(again.Model(), 3), -1);
}

void QueryWindowTest::enterRunsFindAndNeverCloses()
{
    QueryWindowOn window(FreshBackup(), Open::Shown);
    auto &[desktop, dir, dlg] = window;
    QSignalSpy finished(&dlg, &QDialog::finished);

    auto *number = Control<QLineEdit>(dlg, "IdcNumber");
    number->setFocus();
    QTest::keyClicks(number, "138");
    QTest::keyClick(number, Qt::Key_Return);
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 11);

    // From the other fields as well; the user box keeps its one entry.
    number->clear();
    auto *user = Control<QComboBox>(dlg, "IdcUserName");
    user->lineEdit()->selectAll();
    QTest::keyClicks(user->lineEdit(), "Li");
    QTest::keyClick(user->lineEdit(), Qt::Key_Return);
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 11);
    QCOMPARE(user->count(), 1);

    auto *remark = Control<QLineEdit>(dlg, "IdcRemark");
    QTest::keyClicks(remark, "vip");
    QTest::keyClick(remark, Qt::Key_Enter, Qt::KeypadModifier);
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 1);

    QTest::mouseClick(Control<QCheckBox>(dlg, "IdcFromCheck"), Qt::LeftButton);
    auto *from = Control<QDateEdit>(dlg, "IdcDateFrom");
    from->setDate(QDate(2009, 12, 15));
    Control<QDateEdit>(dlg, "IdcDateTo")->setDate(QDate(2009, 12, 31));
    QTest::keyClick(from, Qt::Key_Return);
    WaitForFill(dlg);
    QVERIFY(dlg.m_useDateRange);
    QCOMPARE(dlg.Model().RowCount(), 0);

    QTest::keyClick(Control<QComboBox>(dlg, "IdcCallType"), Qt::Key_Return);
    dlg.accept();
    QCoreApplication::processEvents();
    QCOMPARE(finished.size(), 0);
    QVERIFY(dlg.isVisible());
}

void QueryWindowTest::escapeClosesAtOnce()
{
    QueryWindowOn window(FreshBackup(), Open::Shown);
    auto &[desktop, dir, dlg] = window;
    QSignalSpy finished(&dlg, &QDialog::finished);
    QTest::keyClick(Control<QLineEdit>(dlg, "IdcNumber"), Qt::Key_Escape);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), int(QDialog::Rejected));
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.m_closeRequested.load(), 1);

    CDlgQuery other(FreshBackup());
    QVERIFY(Show(other));
    QSignalSpy otherFinished(&other, &QDialog::finished);
    other.close(); // the close box
    QCOMPARE(otherFinished.size(), 1);
}

void QueryWindowTest::escapeDuringExportWaitsForIt()
{
    QueryWindowOn window(FreshBackup(), Open::Shown);
    auto &[desktop, dir, dlg] = window;
    QSignalSpy finished(&dlg, &QDialog::finished);
    auto *closeTimer = dlg.findChild<QTimer *>("CloseTimer");
    QVERIFY(closeTimer);
    QSignalSpy ticks(closeTimer, &QTimer::timeout);

    // A stand-in for a running export.
    dlg.m_exportRunning = 1;
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(Control<QLineEdit>(dlg, "IdcNumber"), Qt::Key_Escape);
    QCOMPARE(dlg.m_closeRequested.load(), 1);
    QVERIFY(closeTimer->isActive());
    QCOMPARE(closeTimer->interval(), 100);
    QTRY_VERIFY(ticks.size() >= 3);
    QVERIFY(dlg.isVisible());
    QCOMPARE(finished.size(), 0);

    // The export ends: the next tick closes the window, once.
    dlg.m_exportRunning = 0;
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toInt(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());
    QVERIFY(!closeTimer->isActive());
    QTest::qWait(0);
    QCOMPARE(finished.size(), 1);
}

void QueryWindowTest::closingTheSearchWindowStopsItsSearch()
{
    ScriptedDesktop desktop;
    QTemporaryDir root;
    for (int i = 0; i < 12; ++i)
        QVERIFY(
            TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), root.filePath(QString::number(i))));
    const QByteArray database = TestFiles::read(root.filePath("0/dbR.mdb"));
    CBackupArray catalogue(g_config);
    catalogue.AddDirectory(root.path());
    QCOMPARE(catalogue.GetCount(), 12);

    SearchAllWindow window(catalogue);
    QVERIFY(Show(window));
    QSignalSpy finished(&window, &QDialog::finished);
    // Find, and Find again before anything came in: the first search stops for the second.
    Control<QPushButton>(window, "IdcFind")->click();
    QVERIFY(window.IsSearching());
    Control<QPushButton>(window, "IdcFind")->click();
    QVERIFY(window.IsSearching());
    QVERIFY(!Control<QPushButton>(window, "IdcExport")->isEnabled());

    // Escape while the backups are being searched: the workers stop, the window closes at once.
    QTest::keyClick(Control<QLineEdit>(window, "IdcNumber"), Qt::Key_Escape);
    QCOMPARE(finished.size(), 1);
    QVERIFY(!window.isVisible());
    QVERIFY(!window.IsSearching());
    // What the stopped workers had found is dropped when it arrives; no message comes.
    const int rows = window.Model().RowCount();
    QTest::qWait(100);
    QCOMPARE(window.Model().RowCount(), rows);
    QVERIFY(desktop.messages.isEmpty());
    // Searching reads only.
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(TestFiles::read(root.filePath(QString::number(i) + "/dbR.mdb")), database);
        QVERIFY(!QFile::exists(root.filePath(QString::number(i) + "/dbR.mdb-journal")));
    }
}

void QueryWindowTest::searchThatHelpsFindOneCall()
{
    ScriptedDesktop desktop;
    QTemporaryDir root;
    const QString longName = QStringLiteral("a-backup-with-a-rather-long-name-2009-12");
    for (const QString &name : {QStringLiteral("good"), longName, QStringLiteral("broken"), QStringLiteral("gone")})
        QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), root.filePath(name)));
    QVERIFY(TestFiles::write(root.filePath("broken/dbR.mdb"), QByteArray(8192, 'x')));
    CBackupArray catalogue(g_config);
    catalogue.AddDirectory(root.path());
    QCOMPARE(catalogue.GetCount(), 4);
    QVERIFY(QFile::remove(root.filePath("gone/dbR.mdb")));

    SearchAllWindow window(catalogue);
    QVERIFY(Show(window));
    auto *panel = Control<QListWidget>(window, "FailurePanel");
    auto *stop = Control<QPushButton>(window, "StopSearch");
    auto *progress = Control<QProgressBar>(window, "SearchProgress");
    QVERIFY(!panel->isVisible() && !stop->isVisible());
    Control<QPushButton>(window, "IdcFind")->click();
    QVERIFY(stop->isVisible() && stop->isEnabled() && progress->isVisible());
    QCOMPARE(progress->maximum(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(!window.IsSearching(), 20000);
    QVERIFY(!stop->isVisible() && !progress->isVisible());

    // No message stops the user: the backups that could not be searched are lines of the
    // panel under the list, the reason in words, the database's text in the tooltip.
    QVERIFY(desktop.messages.isEmpty());
    QVERIFY(panel->isVisible());
    QMap<QString, QListWidgetItem *> lines;
    for (int i = 0; i < panel->count(); ++i)
        lines.insert(panel->item(i)->text(), panel->item(i));
    QCOMPARE(lines.keys(), (QStringList{"broken: damaged database", "gone: no database"}));
    QVERIFY2(lines.value("broken: damaged database")->toolTip().contains("Unrecognized database format"),
             qPrintable(lines.value("broken: damaged database")->toolTip()));
    QVERIFY(lines.value("gone: no database")->toolTip().contains("Could not find file"));
    QVERIFY(Control<QLabel>(window, "StatusLine")->text().startsWith("4 of 4 backups searched"));
    QCOMPARE(window.Model().RowCount(), 120);

    // The texts the database layer gives (JetConnection, CAdoDb) in a user's words.
    const QList<QPair<QString, int>> reasons = {
        {"Unrecognized database format '/b/dbR.mdb'. (no Jet header)", Ids::TxtFailureDamaged},
        {"The database '/b/dbR.mdb' needs to be repaired or isn't a database file. (page 7)", Ids::TxtFailureDamaged},
        {"Could not read; currently locked.", Ids::TxtFailureLocked},
        {"The Microsoft Jet database engine cannot open the file '/b/dbR.mdb'.  It is already opened exclusively by "
         "another user, or you need permission to view its data.",
         Ids::TxtFailureLocked},
        {"Not a valid password.", Ids::TxtFailurePassword},
        {"Could not find file '/b/dbR.mdb'.", Ids::TxtFailureNoDatabase},
        {"Syntax error in FROM clause.", Ids::TxtFailureUnreadable},
    };
    for (const auto &[text, id] : reasons)
        QVERIFY2(BackupSearch::FailureTextId(text) == id, qPrintable(text));

    // The backup column is wide enough for the longest name.
    QTableView *list = window.List();
    QVERIFY(list->horizontalHeader()->sectionSize(0) >= list->fontMetrics().horizontalAdvance(longName));

    // The row the user chose stays chosen while more rows arrive and the list is merged
    // again around it; a sort asked for meanwhile comes once the last rows are in.
    const QModelIndex chosen = window.Model().index(37, 3);
    list->setCurrentIndex(chosen);
    list->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const CallListModel::CallKey key = window.Model().KeyOf(37);
    window.Model().SetSearching(true);
    QHeaderView *header = list->horizontalHeader();
    const int talkColumn = window.Model().ColumnOfCell(ResultListModel::CellTalkTime);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(talkColumn) + 5, header->height() / 2));
    QVERIFY(window.Model().IsSorting());
    const BackupSearch::Target more{QStringLiteral("more"), root.filePath("good") + "/"};
    BackupSearch::Result result =
        BackupSearch::SearchOne(more, BuildStatement({}, {}, {}, {}, CallTypeAll, false, {}, {}));
    QVERIFY(result.failure.isEmpty());
    window.Model().AddBackup(9, more.name, more.dir, result.rows);
    QCOMPARE(window.Model().RowCount(), 180);
    QCOMPARE(window.Model().KeyOf(list->currentIndex().row()), key);
    QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(window.Model().KeyOf(list->selectionModel()->selectedRows().first().row()), key);
    window.Model().SetSearching(false);
    QTRY_VERIFY(!window.Model().IsSorting());
    for (int r = 1; r < window.Model().RowCount(); ++r)
        QVERIFY(SortValue(window.Model(), r - 1, ResultListModel::CellTalkTime).toInt()
                <= SortValue(window.Model(), r, ResultListModel::CellTalkTime).toInt());
    QCOMPARE(window.Model().KeyOf(list->currentIndex().row()), key);
    GuiTest::SaveScreenshot(&window, "search-window-failures.png");

    // Stop ends a search at once; the line under the list keeps how many were searched.
    QTemporaryDir many;
    for (int i = 0; i < 16; ++i)
        QVERIFY(
            TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), many.filePath(QString::number(i))));
    CBackupArray catalogue16(g_config);
    catalogue16.AddDirectory(many.path());
    SearchAllWindow window16(catalogue16);
    QVERIFY(Show(window16));
    Control<QPushButton>(window16, "IdcFind")->click();
    QVERIFY(window16.IsSearching());
    Control<QPushButton>(window16, "StopSearch")->click();
    QVERIFY(!window16.IsSearching());
    const int rows = window16.Model().RowCount();
    QTest::qWait(100);
    QCOMPARE(window16.Model().RowCount(), rows);
    QVERIFY(Control<QLabel>(window16, "StatusLine")->text().contains(" of 16 backups searched"));
    QVERIFY(!Control<QPushButton>(window16, "StopSearch")->isVisible());
    QVERIFY(desktop.messages.isEmpty());
}

void QueryWindowTest::databaseThatDoesNotOpen()
{
    ScriptedDesktop desktop;
    const QString dir = FreshBackup();
    QVERIFY(TestFiles::write(dir + "dbR.mdb", QByteArray(4096, 'x')));
    CDlgQuery dlg(dir);
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("The database of this backup could not be opened."));
    QCOMPARE(desktop.messages[0].caption, QString("Error"));
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Error);

    // Still usable: Find leaves the list empty, Export does nothing, Escape closes.
    QVERIFY(Show(dlg));
    QTest::mouseClick(Control<QPushButton>(dlg, "IdcFind"), Qt::LeftButton);
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 0);
    QTest::mouseClick(Control<QPushButton>(dlg, "IdcExport"), Qt::LeftButton);
    QCOMPARE(dlg.m_exportRunning.load(), 0);
    QVERIFY(Control<QPushButton>(dlg, "IdcFind")->isEnabled());
    QCOMPARE(desktop.messages.size(), 1);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());

    // No database at all: the same.
    const QString empty = m_dir.path() + "/empty";
    QVERIFY(QDir().mkpath(empty));
    CDlgQuery none(empty);
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[1].text, QString("The database of this backup could not be opened."));
}

void QueryWindowTest::refusedStatementAndDamagedDatabaseAreSaid()
{
    QueryWindowOn window(FreshBackup(), Open::Shown);
    auto &[desktop, dir, dlg] = window;
    auto *find = Control<QPushButton>(dlg, "IdcFind");
    // "[" is matched as typed: no number of the backup holds "[1]".
    QTest::keyClicks(Control<QLineEdit>(dlg, "IdcNumber"), "[1]");
    find->click();
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 0);
    QCOMPARE(desktop.messages.size(), 0);

    // While another program holds the database for a delete, Find is refused and says why.
    RandomAccessFile other;
    QCOMPARE(other.open(dir + "dbR.mdb", RandomAccessFile::Access::ReadWrite), RandomAccessFile::OpenResult::Opened);
    QVERIFY(FileLocks::lockStatement(other, true));
    find->click();
    WaitForFill(dlg);
    other.close();
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("Could not read; currently locked."));
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Error);

    // A database cut short lists what it can, then says how much is missing.
    const QString cut = m_dir.path() + "/cut/";
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), cut));
    QFile file(cut + "dbR.mdb");
    QVERIFY(file.resize(file.size() / 2 / 4096 * 4096));
    CDlgQuery damaged(cut);
    ShowAndFind(damaged);
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[1].text, QString("The database is damaged: %1 of 3,000 calls could be read.")
                                           .arg(QLocale(QLocale::English).toString(damaged.Model().RowCount())));
}

void QueryWindowTest::largeResultArrivesInBatches()
{
    ScriptedDesktop desktop;
    const QString dir = m_dir.path() + "/big/";
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), dir));
    CDlgQuery dlg(dir);
    QVERIFY(Show(dlg));
    auto *find = Control<QPushButton>(dlg, "IdcFind");
    auto *exportButton = Control<QPushButton>(dlg, "IdcExport");

    // The rows are read on a worker and arrive in batches, the first of them small. The list
    // is not exported half-filled.
    QSignalSpy batches(&dlg.Model(), &QAbstractItemModel::rowsInserted);
    find->click();
    QVERIFY(dlg.IsFilling());
    QVERIFY(!exportButton->isEnabled());
    QVERIFY(find->isEnabled());
    QTRY_VERIFY(dlg.Model().RowCount() > 0);

    // A row shown can be deleted while the others still arrive: the menu and the question
    // let more rows in, and the call chosen is the one deleted.
    const QString firstId = dlg.Model().CellText(0, ResultListModel::CellId);
    {
        PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });
        desktop.answers << Desktop::Answer::Yes;
        RightClick(dlg.List(), CellCentre(dlg.List(), 0));
        QCOMPARE(popups.shown.size(), 1);
    }
    WaitForFill(dlg);
    QVERIFY(batches.size() > 1);
    QVERIFY(batches.first().at(2).toInt() < 2999);
    QTRY_COMPARE(dlg.Model().RowCount(), 2999);
    QVERIFY(dlg.Model().CellText(0, ResultListModel::CellId) != firstId);
    QCOMPARE(dlg.Model().CellText(0, 0), QString("2"));
    QCOMPARE(dlg.Model().CellText(2998, 0), QString("3000"));
    desktop.messages.clear(); // the question, and the missing recording file

    // A new Find during the fill starts over.
    find->click();
    QVERIFY(dlg.IsFilling());
    find->click();
    WaitForFill(dlg);
    QCOMPARE(dlg.Model().RowCount(), 2999);
    for (int r = 0; r < 2999; r += 499)
        QCOMPARE(dlg.Model().CellText(r, 0), QString::number(r + 1));
    QVERIFY(RowWithId(dlg.Model(), firstId.toInt()) < 0);
    QVERIFY(exportButton->isEnabled());

    // A title clicked while rows arrive sorts once the last has come. A delete chosen from
    // the menu of a row clicked before then deletes the call that row showed, wherever the
    // sort has moved it while the menu was open.
    find->click();
    QTRY_VERIFY(dlg.Model().RowCount() > 0);
    QHeaderView *header = dlg.List()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(ResultListModel::CellTalkTime) + 5, header->height() / 2));
    const QString clickedId = dlg.Model().CellText(0, ResultListModel::CellId);
    QString movedTo;
    {
        PopupDriver popups([&](QMenu *menu) {
            while (dlg.Model().IsFilling() || dlg.Model().IsSorting())
                QTest::qWait(5);
            movedTo = dlg.Model().CellText(0, ResultListModel::CellId);
            return CommandAction(menu, Ids::CmdDelete);
        });
        desktop.answers << Desktop::Answer::Yes;
        RightClick(dlg.List(), CellCentre(dlg.List(), 0));
        QCOMPARE(popups.shown.size(), 1);
    }
    QVERIFY(movedTo != clickedId); // the row under the menu now shows another call
    QTRY_COMPARE(dlg.Model().RowCount(), 2998);
    QCOMPARE(RowWithId(dlg.Model(), clickedId.toInt()), -1);
    QVERIFY(RowWithId(dlg.Model(), movedTo.toInt()) >= 0);
    desktop.messages.clear();

    // Closing during a fill stops it.
    find->click();
    QVERIFY(dlg.IsFilling());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.IsFilling());
    QVERIFY(desktop.messages.isEmpty());

    jet::Database db;
    QString error;
    QVERIFY2(db.open(dir + "dbR.mdb", jet::PageFile::OpenMode::ReadOnly, &error), qPrintable(error));
    const QStringList problems = jet::Checker::checkDatabase(db);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

// On the 3,000-row backup: a click on a title leaves the rows as they are and the window
// free until the sort, made on a worker, is ready; typing letters in the list jumps to the
// next row whose cell in the current column starts with them.
void QueryWindowTest::sortAndTypeAheadKeepTheWindowFree()
{
    ScriptedDesktop desktop;
    const QString dir = m_dir.path() + "/typeahead/";
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), dir));
    CDlgQuery dlg(dir);
    ShowAndFind(dlg);
    ResultListModel &model = dlg.Model();
    QCOMPARE(model.RowCount(), 3000);
    QTableView *list = dlg.List();
    QHeaderView *header = list->horizontalHeader();
    const QList<QStringList> before = AllCells(model);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(ResultListModel::CellPhone) + 5, header->height() / 2));
    QVERIFY(model.IsSorting());
    QCOMPARE(AllCells(model), before); // nothing sorted on the window's thread
    QTRY_VERIFY(!model.IsSorting());
    QVERIFY(AllCells(model) != before);

    // Type-ahead in the number column: "1" goes to the next row starting with 1, "1" again
    // to the one after; "13" within the typing interval to the first starting with 13.
    list->setFocus();
    list->setCurrentIndex(model.index(0, ResultListModel::CellPhone));
    const auto startsWith = [&](int row, const QString &prefix) {
        return model.CellText(row, ResultListModel::CellPhone).startsWith(prefix);
    };
    int expected = 1;
    while (expected < 3000 && !startsWith(expected, "1"))
        ++expected;
    QVERIFY(expected < 3000);
    QTest::keyClick(list, Qt::Key_1);
    QTRY_COMPARE(list->currentIndex().row(), expected);
    QCOMPARE(list->currentIndex().column(), int(ResultListModel::CellPhone));
    int next = expected + 1;
    while (next < 3000 && !startsWith(next, "1"))
        ++next;
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    QTest::keyClick(list, Qt::Key_1);
    QTRY_COMPARE(list->currentIndex().row(), next % 3000);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    list->setCurrentIndex(model.index(0, ResultListModel::CellPhone));
    QTest::keyClicks(list, "13");
    int thirteen = 0;
    while (thirteen < 3000 && !startsWith(thirteen, "13"))
        ++thirteen;
    QVERIFY(thirteen < 3000);
    QTRY_COMPARE(list->currentIndex().row(), thirteen);
}

void QueryWindowTest::sortingAndTheStatusLine()
{
    QueryWindowOn window(FreshBackup(), Open::Found);
    auto &[desktop, dir, dlg] = window;
    QTableView *list = dlg.List();
    ResultListModel &model = dlg.Model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto *status = Control<QLabel>(dlg, "StatusLine");
    const auto statusOf = [&](int rows, int missed) {
        qint64 talk = 0;
        for (int r = 0; r < model.RowCount(); ++r)
            talk += SortValue(model, r, ResultListModel::CellTalkTime).toInt();
        return QString("Calls: %1    Missed: %2    Talk time: %3")
            .arg(rows)
            .arg(missed)
            .arg(CellFormat::TotalTalkTime(talk));
    };
    QCOMPARE(status->text(), statusOf(60, 8));
    const QList<QStringList> statementOrder = AllCells(model);
    QSet<QString> numberedRows; // "No." with the record id: a sort keeps each row's number
    for (const QStringList &cells : statementOrder)
        numberedRows << cells[0] + '/' + cells[9];

    // Each column by a click on its title, then the other way by a second click: numbers,
    // sizes and talk times by value, start times by time, equal cells in the statement's order.
    QHeaderView *header = list->horizontalHeader();
    for (const int cell : {ResultListModel::CellTalkTime, ResultListModel::CellSize, ResultListModel::CellStart,
                           ResultListModel::CellNumber, ResultListModel::CellPhone}) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            // The current call stays current wherever the sort puts it (the last row goes
            // first when the order turns).
            const auto callAt = [&model](int row) { return model.CellText(row, 0) + '/' + model.CellText(row, 9); };
            list->setCurrentIndex(model.index(model.RowCount() - 1, 0));
            const QString current = callAt(model.RowCount() - 1);
            ClickTitle(list, cell);
            QCOMPARE(header->sortIndicatorSection(), cell);
            QCOMPARE(header->sortIndicatorOrder(), order);
            QCOMPARE(callAt(list->currentIndex().row()), current);
            QSet<QString> seen;
            for (int r = 0; r < model.RowCount(); ++r)
                seen << model.CellText(r, 0) + '/' + model.CellText(r, 9);
            QCOMPARE(seen, numberedRows);
            for (int r = 1; r < model.RowCount(); ++r) {
                QVariant a = SortValue(model, r - 1, cell);
                QVariant b = SortValue(model, r, cell);
                if (order == Qt::DescendingOrder)
                    std::swap(a, b);
                const QString where = QString("column %1, rows %2 and %3").arg(cell).arg(r - 1).arg(r);
                if (cell == ResultListModel::CellPhone)
                    continue; // below
                QVERIFY2(QVariant::compare(a, b) != QPartialOrdering::Greater, qPrintable(where));
                // Sizes are compared as bytes, not as the rounded text.
                if (cell != ResultListModel::CellSize && QVariant::compare(a, b) == QPartialOrdering::Equivalent)
                    QVERIFY2(model.CellText(r - 1, 0).toInt() < model.CellText(r, 0).toInt(), qPrintable(where));
            }
            QCOMPARE(status->text(), statusOf(60, 8));
        }
    }
    // Numbers go by the value of their digits: 110 before 0123456 before 4008208820.
    QStringList numbers;
    for (int r = 0; r < model.RowCount(); ++r)
        if (numbers.isEmpty() || numbers.last() != model.CellText(r, ResultListModel::CellPhone))
            numbers << model.CellText(r, ResultListModel::CellPhone);
    std::reverse(numbers.begin(), numbers.end()); // the last click sorted them descending
    QCOMPARE(numbers, (QStringList{"", "+8613912345678", "110", "0123456", "02087654321", "4008208820", "13812345678",
                                   "13900001111", "075512345678"}));

    // A delete in the sorted list takes the row shown, and the status line follows.
    list->sortByColumn(ResultListModel::CellTalkTime, Qt::DescendingOrder);
    QTRY_VERIFY(!model.IsSorting());
    const QString longest = model.CellText(0, ResultListModel::CellId);
    const int missed = model.MissedCount();
    desktop.answers << Desktop::Answer::Yes;
    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });
    RightClick(list, CellCentre(list, 0));
    QTRY_COMPARE(model.RowCount(), 59);
    QCOMPARE(RowWithId(model, longest.toInt()), -1);
    QCOMPARE(status->text(), statusOf(59, missed));
    for (int r = 1; r < model.RowCount(); ++r)
        QVERIFY(SortValue(model, r - 1, 5).toInt() >= SortValue(model, r, 5).toInt());

    // A recording listed but missing shows no size and a marked row (a readable red, in
    // italics); others keep the list's colours.
    const QVariant muted = model.data(model.index(RowWithId(model, 42), 1), Qt::ForegroundRole);
    const bool darkGround = list->palette().color(QPalette::Base).lightness() < 128;
    QCOMPARE(muted.value<QBrush>().color(), CallList::MissingRecordingColour(darkGround));
    QVERIFY(model.data(model.index(RowWithId(model, 42), 1), Qt::FontRole).value<QFont>().italic());
    QCOMPARE(model.CellText(RowWithId(model, 42), ResultListModel::CellSize), QString());
    QVERIFY(!model.data(model.index(RowWithId(model, 2), 1), Qt::ForegroundRole).isValid());

    // Find again: the statement's order, no sort shown.
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QCOMPARE(header->sortIndicatorSection(), -1);
    QList<QStringList> expected = statementOrder;
    expected.removeIf([&](const QStringList &cells) { return cells[9] == longest; });
    QCOMPARE(AllCells(model).mid(0, 3), expected.mid(0, 3));
    QCOMPARE(AllCells(model).size(), 59);
    QCOMPARE(model.CellText(0, 0), QString("1"));
    QCOMPARE(status->text(), statusOf(59, missed));
}

void QueryWindowTest::narrowTheListAsYouType()
{
    QueryWindowOn window(FreshBackup(), Open::Found);
    auto &[desktop, dir, dlg] = window;
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    const ResultListModel &model = dlg.Model();
    QCOMPARE(model.RowCount(), 60);
    auto *box = Control<QLineEdit>(dlg, "NarrowBox");
    QCOMPARE(box->placeholderText(), QString("Narrow the list (Ctrl+F)"));

    // What the rows hold, to tell which must stay for a text.
    struct Texts
    {
        QString name, phone, remark, file;
    };
    QList<Texts> all;
    for (int r = 0; r < model.RowCount(); ++r) {
        const QString path = model.CellText(r, ResultListModel::CellFile);
        all << Texts{model.CellText(r, ResultListModel::CellName), model.CellText(r, ResultListModel::CellPhone),
                     model.CellText(r, ResultListModel::CellRemark),
                     QFileInfo(QDir::fromNativeSeparators(path)).fileName()};
    }
    const auto expected = [&all](const QString &text) {
        int n = 0;
        for (const Texts &t : all)
            n += (t.name.contains(text, Qt::CaseInsensitive) || t.phone.contains(text, Qt::CaseInsensitive)
                  || t.remark.contains(text, Qt::CaseInsensitive) || t.file.contains(text, Qt::CaseInsensitive))
                     ? 1
                     : 0;
        return n;
    };

    // Ctrl+F goes to the box; each letter narrows the rows listed, no statement runs.
    dlg.List()->setFocus();
    QTest::keyClick(dlg.List(), Qt::Key_F, Qt::ControlModifier);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(box));
    QSignalSpy resets(&dlg.Model(), &QAbstractItemModel::modelReset);
    const QString phone = all.at(5).phone;
    QVERIFY(phone.size() >= 4);
    const QString part = phone.mid(1, 3);
    QTest::keyClicks(box, part);
    QCOMPARE(model.RowCount(), expected(part));
    QVERIFY(model.RowCount() >= 1 && model.RowCount() < 60);
    for (int r = 0; r < model.RowCount(); ++r) {
        const QString p = model.CellText(r, ResultListModel::CellPhone);
        const QString n = model.CellText(r, ResultListModel::CellName);
        const QString m = model.CellText(r, ResultListModel::CellRemark);
        const QString f = model.CellText(r, ResultListModel::CellFile);
        QVERIFY(p.contains(part) || n.contains(part) || m.contains(part) || f.contains(part));
    }
    // Letters taken back and typed again (the rows of recent texts are kept).
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(model.RowCount(), expected(part.left(2)));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(model.RowCount(), expected(part.left(1)));
        QTest::keyClicks(box, part.mid(1));
        QCOMPARE(model.RowCount(), expected(part));
    }
    // Digits that end a number or a recording's name count as much as those inside it.
    for (int r = 0; r < 12; ++r) {
        const QString &file = all.at(r).file;
        const QString fileTail = file.endsWith(".wav") ? file.chopped(4).right(3) : QString();
        for (const QString &tail : {all.at(r).phone.right(2), fileTail}) {
            if (tail.isEmpty())
                continue;
            box->setText(tail);
            QVERIFY2(model.RowCount() == expected(tail), qPrintable(tail));
        }
    }
    box->setText(part);
    QCOMPARE(model.RowCount(), expected(part));
    QCOMPARE(resets.size(), 0);
    QVERIFY(!dlg.IsFilling());
    QVERIFY(Control<QLabel>(dlg, "StatusLine")->text().startsWith(QStringLiteral("Calls: %1 ").arg(model.RowCount())));
    // The match is marked in the cells.
    auto *marks = qobject_cast<MatchDelegate *>(dlg.List()->itemDelegate());
    QVERIFY(marks);
    int marked = 0;
    for (int r = 0; r < model.RowCount(); ++r) {
        const auto [at, length] = marks->MatchIn(model.index(r, ResultListModel::CellPhone));
        if (at >= 0) {
            QCOMPARE(model.CellText(r, ResultListModel::CellPhone).mid(at, length), part);
            ++marked;
        }
    }
    QVERIFY(marked >= 1);
    QCOMPARE(marks->MatchIn(model.index(0, ResultListModel::CellStart)).first, qsizetype(-1));

    // Letter case aside, in user names too.
    QString user;
    for (const Texts &t : all)
        if (t.name.size() >= 2 && t.name.toUpper() != t.name.toLower())
            user = t.name;
    if (!user.isEmpty()) {
        box->setText(user.toUpper());
        QCOMPARE(model.RowCount(), expected(user));
        box->setText(user.toLower());
        QCOMPARE(model.RowCount(), expected(user));
    }

    // The recording's name counts whole: its start time and line too (a name the recorder
    // gave is kept as a flag and made again for the look).
    QString named;
    for (const Texts &t : all)
        if (t.file.size() > 20 && t.file.at(14) == u'_')
            named = t.file;
    QVERIFY(!named.isEmpty());
    for (const QString &piece : {named.left(12), named.mid(8, 9), named.right(8)}) {
        box->setText(piece);
        QCOMPARE(model.RowCount(), expected(piece));
        QVERIFY(model.RowCount() >= 1);
    }

    // Escape clears it and every row comes back; the window stays.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(box->text().isEmpty());
    QCOMPARE(model.RowCount(), 60);
    QVERIFY(dlg.isVisible());
    GuiTest::SaveScreenshot(&dlg, "query-window-narrowed.png");
    // A new Find keeps the narrowing for the rows it brings.
    box->setText(part);
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QCOMPARE(model.RowCount(), expected(part));
}

void QueryWindowTest::cutCellsShowTheirTextAsATooltip()
{
    QueryWindowOn window(FreshBackup(), Open::Found, QSize(1200, 700));
    auto &[desktop, dir, dlg] = window;
    QTableView *list = dlg.List();
    const int fileColumn = dlg.Model().ColumnOfCell(ResultListModel::CellFile);
    const int row = RowWithId(dlg.Model(), 2);
    const QString path = dlg.Model().CellText(row, ResultListModel::CellFile);
    QVERIFY(!path.isEmpty());
    const auto hover = [list](const QModelIndex &index) {
        const QPoint at = list->visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
    };
    // A recording path cut off by its column: the tooltip shows it whole.
    list->horizontalHeader()->moveSection(list->horizontalHeader()->visualIndex(fileColumn), 2);
    list->horizontalHeader()->resizeSection(fileColumn, 60);
    hover(dlg.Model().index(row, fileColumn));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), path);
    // A cell whose text fits has none.
    hover(dlg.Model().index(row, dlg.Model().ColumnOfCell(ResultListModel::CellNumber)));
    QTRY_VERIFY(!QToolTip::isVisible());
}

void QueryWindowTest::tabbingKeepsTheFocusInSight()
{
    // Tab goes from control to control of the filter, then to the filter box and the list:
    // every one it stops at is shown, inside the window, and says it has the focus.
    QueryWindowOn window(FreshBackup(), Open::Found);
    auto &[desktop, dir, dlg] = window;
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    Control<QCheckBox>(dlg, "IdcFromCheck")->setFocus(Qt::TabFocusReason);
    QStringList path;
    for (int i = 0; i < 14; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QVERIFY2(focus->isVisible() && focus->window() == &dlg, qPrintable(focus->objectName()));
        QVERIFY2(dlg.rect().intersects(QRect(focus->mapTo(&dlg, QPoint(0, 0)), focus->size())),
                 qPrintable(focus->objectName()));
        QVERIFY(focus->hasFocus());
        path << (focus->objectName().isEmpty() ? QString::fromLatin1(focus->metaObject()->className())
                                               : focus->objectName());
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The filter's order, then the filter box, then the list.
    const QStringList order{"IdcFromCheck", "DatePresets", "IdcCallType", "IdcUserName", "IdcNumber",
                            "IdcRemark",    "IdcFind",     "IdcExport",   "NarrowBox",   "IdcResultList"};
    for (int i = 1; i < order.size(); ++i) {
        const qsizetype a = path.indexOf(order[i - 1]);
        const qsizetype b = path.indexOf(order[i]);
        QVERIFY2(a >= 0 && b > a, qPrintable(path.join(", ")));
    }
}

void QueryWindowTest::missingRecordingsAreMarked()
{
    // A voice folder emptied, or gone: every row whose recording is named is marked, in a
    // colour that reads on the list's ground (light or dark) and in italics.
    ScriptedDesktop desktop;
    for (const bool gone : {false, true}) {
        const QString dir = FreshBackup();
        QDir voice(dir + "voice");
        if (gone)
            QVERIFY(voice.removeRecursively());
        else
            for (const QString &f : voice.entryList(QDir::Files))
                QVERIFY(voice.remove(f));
        CDlgQuery dlg(dir);
        ShowAndFind(dlg);
        const ResultListModel &model = dlg.Model();
        int marked = 0;
        for (int r = 0; r < model.RowCount(); ++r) {
            const QString file = model.CellText(r, ResultListModel::CellFile);
            const bool named = !file.isEmpty() && file != "DEL";
            const QModelIndex cell = model.index(r, 1);
            QCOMPARE(cell.data(Qt::ForegroundRole).isValid(), named);
            QCOMPARE(cell.data(Qt::FontRole).value<QFont>().italic(), named);
            marked += named ? 1 : 0;
        }
        QVERIFY(marked > 40);
    }
    // Readable: a contrast of at least 4.5 to the ground in either palette.
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const auto contrast = [&](const QColor &a, const QColor &b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Base, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    for (const QPalette &palette : {original, dark}) {
        QApplication::setPalette(palette);
        const QString dir = FreshBackup();
        QVERIFY(QDir(dir + "voice").removeRecursively());
        CDlgQuery dlg(dir);
        ShowAndFind(dlg);
        const QColor mark = dlg.Model().index(0, 1).data(Qt::ForegroundRole).value<QBrush>().color();
        const QColor ground = dlg.List()->palette().color(QPalette::Base);
        QVERIFY2(contrast(mark, ground) >= 4.5, qPrintable(mark.name() + " on " + ground.name()));
        QVERIFY(mark != dlg.List()->palette().color(QPalette::Text));
    }
    QApplication::setPalette(original);
}

void QueryWindowTest::datePresetsSetThePickers()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(FreshBackup());
    dlg.SetToday(QDate(2009, 12, 16)); // a Wednesday
    QVERIFY(Show(dlg));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); // weeks begin on Monday
    auto *presets = Control<QComboBox>(dlg, "DatePresets");
    QStringList texts;
    for (int i = 0; i < presets->count(); ++i)
        texts << presets->itemText(i);
    QCOMPARE(texts, (QStringList{"Today", "Yesterday", "This week", "Last week", "This month", "Last month"}));
    QCOMPARE(presets->placeholderText(), QString("Dates..."));
    QCOMPARE(presets->currentIndex(), -1);

    auto *check = Control<QCheckBox>(dlg, "IdcFromCheck");
    auto *from = Control<QDateEdit>(dlg, "IdcDateFrom");
    auto *to = Control<QDateEdit>(dlg, "IdcDateTo");
    QVERIFY(!check->isChecked());
    // Chosen as the user does: the list's popup, then a row of it.
    presets->setFocus();
    QTest::keyClick(presets, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(presets->view()->isVisible());
    QTest::keyClick(presets->view(), Qt::Key_Down);
    QTest::keyClick(presets->view(), Qt::Key_Down);
    QTest::keyClick(presets->view(), Qt::Key_Down);
    QTest::keyClick(presets->view(), Qt::Key_Return);
    QTRY_COMPARE(from->date(), QDate(2009, 12, 7));
    QCOMPARE(to->date(), QDate(2009, 12, 13));
    QVERIFY(check->isChecked() && from->isEnabled() && to->isEnabled());
    QCOMPARE(presets->currentIndex(), -1);

    emit presets->activated(0);
    QCOMPARE(from->date(), QDate(2009, 12, 16));
    QCOMPARE(to->date(), QDate(2009, 12, 16));
    emit presets->activated(5);
    QCOMPARE(from->date(), QDate(2009, 11, 1));
    QCOMPARE(to->date(), QDate(2009, 11, 30));
    QLocale::setDefault(QLocale::system());
}

void QueryWindowTest::playerPaneFollowsTheList()
{
#ifndef ORVIK_HAS_PLAYER
    QSKIP("built without the player pane (ORVIK_PLAYER=OFF)");
#else
    QueryWindowOn window(FreshBackup(), Open::Found, QSize(1100, 700));
    auto &[desktop, dir, dlg] = window;
    PlayerPane *pane = dlg.Player();
    QVERIFY(pane);
    QTableView *list = dlg.List();
    const ResultListModel &model = dlg.Model();
    QCOMPARE(pane->state(), PlayerPane::State::Idle);

    // Choosing a row loads its recording; nothing plays and no player starts.
    const int playable = RowWithId(model, 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(list, playable));
    QCOMPARE(pane->recordingPath(), QDir::toNativeSeparators(dir + "voice/20091201093713_4_0123456.wav"));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    QVERIFY(desktop.starts.isEmpty() && desktop.openedFiles.isEmpty());
    GuiTest::SaveScreenshot(&dlg, "query-window-player.png");

    // Space in the list works the Play button.
    auto *play = Control<QPushButton>(*pane, "PlayerPlay");
    QSignalSpy clicked(play, &QPushButton::clicked);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(clicked.size(), 1);
    if (play->text() == "Pause")
        play->click();

    // A "DEL" row and a missing file: a line instead of the controls.
    list->setCurrentIndex(model.index(RowWithId(model, 11), 1));
    QCOMPARE(pane->state(), PlayerPane::State::Unplayable);
    QCOMPARE(Control<QLabel>(*pane, "PlayerLine")->text(),
             QString("The recording file of this call has been deleted."));
    list->setCurrentIndex(model.index(RowWithId(model, 42), 1));
    QVERIFY(Control<QLabel>(*pane, "PlayerLine")->text().startsWith("The recording file was not found: "));

    // A sort keeps the row and its recording; a new Find empties the pane.
    list->setCurrentIndex(model.index(playable, 1));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    list->sortByColumn(ResultListModel::CellStart, Qt::DescendingOrder);
    QCOMPARE(model.CellText(list->currentIndex().row(), ResultListModel::CellId), QString("2"));
    QCOMPARE(pane->state(), PlayerPane::State::Ready);
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QCOMPARE(pane->state(), PlayerPane::State::Idle);
#endif
}

void QueryWindowTest::listeningInThePane()
{
#ifndef ORVIK_HAS_PLAYER
    QSKIP("built without the player pane (ORVIK_PLAYER=OFF)");
#else
    ScriptedDesktop desktop;
    const QString dir = FreshBackup();
    // The system's media player is wanted (type 0) and none is found in PATH.
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    ProgramFolder program;
    QVERIFY(program.SetUp(1, "m_PlayerType=0\r\n"));
    // Nor on a system drive (Windows looks for Windows Media Player there).
    g_config.m_sysDriveRoot = bin.path() + "/";
    const bool device = RecordingPlayer::hasOutputDevice();

    CDlgQuery dlg(dir);
    dlg.resize(1100, 700);
    ShowAndFind(dlg);
    PlayerPane *pane = dlg.Player();
    QTableView *list = dlg.List();
    const ResultListModel &model = dlg.Model();
    auto *status = Control<QLabel>(dlg, "StatusLine");
    auto *play = Control<QPushButton>(*pane, "PlayerPlay");
    const QString note = "No media player was found: the call plays in the pane under the list.";

    // A double-click plays the call in the pane instead of saying that there is no player,
    // and the status line says so.
    const int first = RowWithId(model, 2);
    DoubleClick(list, CellCentre(list, first));
    QVERIFY(desktop.messages.isEmpty() && desktop.starts.isEmpty());
    QCOMPARE(pane->recordingPath(), QDir::toNativeSeparators(dir + "voice/20091201093713_4_0123456.wav"));
    QVERIFY2(status->text().endsWith("    " + note), qPrintable(status->text()));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    QCOMPARE(pane->isPlaying(), device);
    // The call is named above the waveform.
    QCOMPARE(Control<QLabel>(*pane, "PlayerCaption")->text(),
             QString("0123456  ·  2009-12-01 09:37:13  ·  Front Desk"));
    if (pane->isPlaying())
        play->click();

    // Right and Left in the list move 5 seconds (here: to the end and back to the start).
    auto *time = Control<QLabel>(*pane, "PlayerTime");
    const QString length = time->text().section(" / ", 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(time->text(), length + " / " + length);
    QTest::keyClick(list, Qt::Key_Left);
    QCOMPARE(time->text(), "0:00 / " + length);
    QCOMPARE(list->currentIndex().row(), first);

    // Said once: a new Find ends the note, and the next double-click does not bring it back.
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QVERIFY(!status->text().contains(note));
    const int second = RowWithId(model, 4);
    DoubleClick(list, CellCentre(list, second));
    QCOMPARE(pane->recordingPath(), QDir::toNativeSeparators(dir + "voice/20091202140351_2_4008208820.wav"));
    QVERIFY(!status->text().contains(note));
    QVERIFY(desktop.messages.isEmpty() && desktop.starts.isEmpty());
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    if (pane->isPlaying())
        play->click();

        // With a media player found, a double-click starts it as always; "Play here" in the row
        // menu plays in the pane all the same.
#ifdef Q_OS_WIN
    const QString player = bin.filePath("Program Files/Windows Media Player/wmplayer.exe");
    QVERIFY(QDir().mkpath(QFileInfo(player).path()));
    QVERIFY(TestFiles::write(player, "MZ"));
#else
    const QString player = bin.filePath("vlc");
    QVERIFY(TestFiles::write(player, "#!/bin/sh\n"));
    QVERIFY(QFile::setPermissions(player, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
#endif
    DoubleClick(list, CellCentre(list, first));
    QCOMPARE(desktop.starts.size(), 1);
    QCOMPARE(desktop.starts[0].program, QDir::toNativeSeparators(player));
    const int third = RowWithId(model, 6);
    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdPlayHere); });
    RightClick(list, CellCentre(list, third));
    QCOMPARE(popups.shown.size(), 1);
    QCOMPARE(desktop.starts.size(), 1);
    QCOMPARE(list->currentIndex().row(), third);
    QCOMPARE(pane->recordingPath(), QDir::toNativeSeparators(dir + "voice/20091202181410_4_075512345678.wav"));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    QCOMPARE(pane->isPlaying(), device);
    if (pane->isPlaying())
        play->click();
    qputenv("PATH", path);

    // The pane is as tall as the splitter makes it, and the waveform takes the height.
    auto *splitter = Control<QSplitter>(dlg, "ListSplitter");
    auto *waveform = Control<WaveformStrip>(*pane, "PlayerWaveform");
    const int low = waveform->height();
    const QList<int> sizes = splitter->sizes();
    QCOMPARE(sizes.size(), 2);
    splitter->setSizes({sizes[0] - 150, sizes[1] + 150});
    QTRY_VERIFY2(waveform->height() >= low + 140, qPrintable(QString("%1 %2").arg(low).arg(waveform->height())));

    // Played to its end with "Continuous" on, a call is followed by the next row's, and that
    // by the next.
    if (!device)
        return;
    auto *continuous = Control<QToolButton>(*pane, "PlayerContinuous");
    continuous->setChecked(true);
    list->setCurrentIndex(model.index(first, 1));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    play->click();
    QTRY_VERIFY_WITH_TIMEOUT(list->currentIndex().row() >= first + 2, 10000);
    QTRY_VERIFY(pane->isPlaying() || pane->state() == PlayerPane::State::Unplayable);
    continuous->setChecked(false);
    if (pane->isPlaying())
        play->click();
    // Without it, the end of a call is the end.
    const int row = list->currentIndex().row();
    list->setCurrentIndex(model.index(first, 1));
    QTRY_COMPARE(pane->state(), PlayerPane::State::Ready);
    play->click();
    QTRY_VERIFY_WITH_TIMEOUT(!pane->isPlaying(), 5000);
    QTest::qWait(300);
    QCOMPARE(list->currentIndex().row(), first);
    Q_UNUSED(row);
#endif
}

void QueryWindowTest::detailPanelShowsTheWholeRecord()
{
    QueryWindowOn window(FreshBackup(), Open::Found, QSize(1100, 700));
    auto &[desktop, dir, dlg] = window;
    QTableView *list = dlg.List();
    const ResultListModel &model = dlg.Model();
    auto *panel = Control<CallDetailPanel>(dlg, "CallDetailPanel");
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->state(), CallDetailPanel::State::Idle);
    QCOMPARE(Control<QLabel>(*panel, "DetailLine")->text(), QString("Select a call to see its whole record."));

    // The whole record is read by its id on a worker: every column of the table, then the
    // recording's path.
    const int row = RowWithId(model, 7);
    list->setCurrentIndex(model.index(row, 1));
    QCOMPARE(panel->state(), CallDetailPanel::State::Loading);
    QTRY_COMPARE(panel->state(), CallDetailPanel::State::Shown);
    const QString recording = dir + "voice/20091204124423_2_13812345678.wav";
    CAdoDb db;
    QVERIFY(db.OpenForReading(dir + "dbR.mdb", QString()));
    std::shared_ptr<JetRecordset> cursor;
    QVERIFY(db.SqlExecute(cursor, "select * from record where id = 7"));
    const QStringList columns = cursor->columnNames();
    const QList<QPair<QString, QString>> fields = panel->fields();
    QCOMPARE(fields.size(), columns.size() + 2);
    QCOMPARE(fields.first(), qMakePair(QString("Backup"), QDir::toNativeSeparators(QDir::cleanPath(dir))));
    QCOMPARE(fields.last(), qMakePair(QString("Recording path"), QDir::toNativeSeparators(recording)));
    QMap<QString, QString> byLabel;
    for (const auto &field : fields)
        byLabel.insert(field.first, field.second);
    QCOMPARE(byLabel.value("Record ID"), QString("7"));
    QCOMPARE(byLabel.value("Line"), QString("2"));
    QCOMPARE(byLabel.value("Number"), QString("13812345678"));
    QCOMPARE(byLabel.value("DTMF"), QString("1"));
    QCOMPARE(byLabel.value("User name"), QString("王芳"));
    QCOMPARE(byLabel.value("Address"), QString("12 Main St, Springfield"));
    QCOMPARE(byLabel.value("Start time"), QString("2009-12-04 12:44:23"));
    QCOMPARE(byLabel.value("End time"), QString("2009-12-04 12:51:24"));
    QCOMPARE(byLabel.value("Call direction"), QString("Outgoing"));
    QCOMPARE(byLabel.value("Recording file"), QString("20091204124423_2_13812345678.wav"));
    // The whole remark, which the list shows cut.
    QCOMPARE(byLabel.value("Remark"), model.CellText(row, ResultListModel::CellRemark));
    QVERIFY(byLabel.value("Remark").size() > 200);

    // Copy number, copy path, show in folder.
    Control<QPushButton>(*panel, "DetailCopyNumber")->click();
    Control<QPushButton>(*panel, "DetailCopyPath")->click();
    QCOMPARE(desktop.copiedTexts, (QStringList{"13812345678", QDir::toNativeSeparators(recording)}));
    Control<QPushButton>(*panel, "DetailShowInFolder")->click();
    QCOMPARE(desktop.shownInFolder, QStringList{QDir::toNativeSeparators(recording)});

    // Save recording as: a copy where the user says; the recording stays where it is.
    QTemporaryDir out;
    auto *saveAs = Control<QPushButton>(*panel, "DetailSaveAs");
    saveAs->click(); // cancelled
    QCOMPARE(desktop.saveRequests.size(), 1);
    QCOMPARE(desktop.saveRequests[0].title, QString("Save a copy of the recording"));
    QVERIFY(desktop.saveRequests[0].suggestedPath.endsWith("20091204124423_2_13812345678.wav"));
    desktop.savePaths << out.filePath("copy.wav");
    saveAs->click();
    QTRY_VERIFY(!panel->isSaving());
    QVERIFY(desktop.messages.isEmpty());
    QCOMPARE(TestFiles::read(out.filePath("copy.wav")), TestFiles::read(recording));
    QVERIFY(QFileInfo(recording).isFile());
    QCOMPARE(Control<QLabel>(*panel, "DetailLine")->text(),
             "Saved a copy as " + QDir::toNativeSeparators(out.filePath("copy.wav")));

    // A recording that became a link out of the voice folder is never copied. (On Windows
    // QFile::link makes a shortcut file, not a link.)
#ifndef Q_OS_WIN
    QVERIFY(TestFiles::write(out.filePath("secret.wav"), "not a recording of this backup"));
    QVERIFY(QFile::remove(recording));
    QVERIFY(QFile::link(out.filePath("secret.wav"), recording));
    desktop.savePaths << out.filePath("leak.wav");
    saveAs->click();
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("Only a recording file inside the backup's voice folder can be saved."));
    QVERIFY(!QFileInfo::exists(out.filePath("leak.wav")));
    QVERIFY(!saveAs->isEnabled());
    QVERIFY(!Control<QPushButton>(*panel, "DetailShowInFolder")->isEnabled());
#endif

    // A "DEL" row has no path to copy; another call replaces the fields.
    list->setCurrentIndex(model.index(RowWithId(model, 11), 1));
    QTRY_COMPARE(panel->state(), CallDetailPanel::State::Shown);
    QCOMPARE(panel->call().id, 11);
    QVERIFY(!Control<QPushButton>(*panel, "DetailCopyPath")->isEnabled());
    QVERIFY(!saveAs->isEnabled());
    QVERIFY(Control<QPushButton>(*panel, "DetailCopyNumber")->isEnabled());
    GuiTest::SaveScreenshot(&dlg, "query-window-details.png");

    // No row: the panel empties.
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
    QCOMPARE(panel->state(), CallDetailPanel::State::Idle);
    QVERIFY(panel->fields().isEmpty());
}

void QueryWindowTest::remembersSizeAndColumns()
{
    ScriptedDesktop desktop;
    const QString dir = FreshBackup();
    const QString configIni = g_config.m_appDir + "config.ini";
    const bool hadConfig = QFileInfo::exists(configIni);
    const QByteArray config = TestFiles::read(configIni);
    {
        CDlgQuery dlg(dir);
        QVERIFY(Show(dlg));
        dlg.resize(1000, 720);
        QTRY_COMPARE(dlg.size(), QSize(1000, 720));
        dlg.List()->horizontalHeader()->resizeSection(ResultListModel::CellRemark, 180);
        dlg.List()->horizontalHeader()->moveSection(3, 1);
        dlg.List()->sortByColumn(ResultListModel::CellTalkTime, Qt::AscendingOrder);
        dlg.reject();
    }
    // In the user's configuration folder, never in config.ini.
    const QString file = WindowMemory::settings()->fileName();
    QVERIFY2(file.endsWith("/orvik/windows.ini"), qPrintable(file));
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(QFileInfo::exists(configIni), hadConfig);
    QCOMPARE(TestFiles::read(configIni), config);

    CDlgQuery again(dir);
    QVERIFY(Show(again));
    QCOMPARE(again.size(), QSize(1000, 720));
    const QHeaderView *header = again.List()->horizontalHeader();
    QCOMPARE(header->sectionSize(ResultListModel::CellRemark), 180);
    QCOMPARE(header->visualIndex(3), 1);
    QCOMPARE(header->sortIndicatorSection(), -1); // the sort is not kept
    again.reject();
    ForgetWindows();
}

void QueryWindowTest::rememberedSizeFitsTheScreen()
{
    // Remembered on a larger screen (here: larger than the test's screen, and partly off
    // it), the window comes back on this screen's free area whole: its status line and its
    // pane in sight, no smaller than its minimum.
    ScriptedDesktop desktop;
    const QString dir = FreshBackup();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        CDlgQuery dlg(dir);
        QVERIFY(Show(dlg));
        dlg.setGeometry(screen.left() + 200, screen.top() + 120, screen.width() + 220, screen.height() + 160);
        QTRY_COMPARE(dlg.width(), screen.width() + 220);
        dlg.reject();
    }
    CDlgQuery again(dir);
    QVERIFY(Show(again));
    QVERIFY2(screen.contains(again.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 on a screen of %5x%6")
                                                                    .arg(again.frameGeometry().x())
                                                                    .arg(again.frameGeometry().y())
                                                                    .arg(again.frameGeometry().width())
                                                                    .arg(again.frameGeometry().height())
                                                                    .arg(screen.width())
                                                                    .arg(screen.height())));
    QVERIFY(again.width() >= 900 && again.height() >= 640);
    const QWidget *status = Control<QLabel>(again, "StatusLine");
    QVERIFY(screen.contains(QRect(status->mapToGlobal(QPoint(0, 0)), status->size())));
    if (const QWidget *pane = again.findChild<QWidget *>("PlayerPane"))
        QVERIFY(screen.contains(QRect(pane->mapToGlobal(QPoint(0, 0)), pane->size())));
    again.reject();
    ForgetWindows();
}

void QueryWindowTest::statisticsLeadBackToTheCalls()
{
    QueryWindowOn window(FreshBackup(), Open::Found, QSize(1100, 900));
    auto &[desktop, dir, dlg] = window;
    ResultListModel &model = dlg.Model();
    auto *statistics = dlg.findChild<ListStatistics *>();
    QVERIFY(statistics);
    StatisticsView *view = statistics->view();
    QTabBar *tabs = statistics->tabs();
    auto *status = Control<QLabel>(dlg, "StatusLine");
    auto *narrowed = Control<QLabel>(dlg, "NarrowedLine");
    auto *showAll = Control<QPushButton>(dlg, "ShowAllCalls");
    QVERIFY(!view->isVisible());
    QCOMPARE(tabs->tabText(0), QString("Calls"));
    QCOMPARE(tabs->tabText(1), QString("Statistics"));
    const auto showStatistics = [&] {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QVERIFY(view->isVisible());
        QVERIFY(!dlg.List()->isVisible());
        QTRY_VERIFY(statistics->isCurrent());
        QVERIFY(view->statistics());
    };
    const auto total = [view](int i) { return view->findChild<QLabel *>(QString("Total%1").arg(i))->text(); };

    // The 60 calls listed (hand-checked in tst_resultlistmodel): 8 missed, 4:37:44 talked.
    showStatistics();
    QCOMPARE(total(0), QString("60"));
    QCOMPARE(total(1), QString("8"));
    QCOMPARE(total(2), QString("13.3 %"));
    QCOMPARE(total(3), QString("52"));
    QCOMPARE(total(4), QString("04:37:44"));
    QCOMPARE(total(5), QString("00:05:20"));
    QCOMPARE(total(6), QString("00:05:40"));
    QCOMPARE(total(7), QString("00:10:03"));
    // A bar for each day of December, those without calls too; the 5th has one missed call
    // on top of two outgoing ones.
    // (A chart with Qt Charts, a table without it.)
    PeriodChart *periods = view->periodChart();
    QCOMPARE(periods->bars().size(), std::size_t(31));
    QCOMPARE(periods->bars()[4].fromDay, periods->bars()[4].toDay);
    QCOMPARE(periods->shownCount(0, 0), 2.0);
    QCOMPARE(periods->shownCount(4, 1), 2.0);
    QCOMPARE(periods->shownCount(4, 2), 1.0);
    QCOMPARE(periods->shownCount(2, 2), 0.0);

    // A click on that missed call lists the call behind it, and the list shows again.
    QTRY_VERIFY(!periods->pointOf(4, 2).isNull() && periods->clickTarget()->rect().contains(periods->pointOf(4, 2)));
    QTest::mouseClick(periods->clickTarget(), Qt::LeftButton, {}, periods->pointOf(4, 2));
    QCOMPARE(model.RowCount(), 1);
    QCOMPARE(model.CellText(0, ResultListModel::CellId), QString("10"));
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(dlg.List()->isVisible());
    QVERIFY(narrowed->isVisible());
    QCOMPARE(narrowed->text(), QString("Showing only: 2009-12-05, Missed"));
    QVERIFY(status->text().startsWith("Calls: 1    Missed: 1"));
    // The figures follow the list as it is narrowed.
    showStatistics();
    QCOMPARE(total(0), QString("1"));
    QTest::mouseClick(showAll, Qt::LeftButton);
    QCOMPARE(model.RowCount(), 60);
    QVERIFY(!narrowed->isVisible());
    QTRY_VERIFY(statistics->isCurrent());
    QCOMPARE(total(0), QString("60"));

    // A square of the grid: Friday at 14 o'clock, three calls.
    CallHeatMap *grid = view->heatMap();
    QCOMPARE(grid->count(4, 14), 3);
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->squareRect(4, 14).center());
    QCOMPARE(model.RowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        const QDateTime start =
            QDateTime::fromString(model.CellText(r, ResultListModel::CellStart), "yyyy-MM-dd HH:mm:ss");
        QCOMPARE(start.date().dayOfWeek(), 5);
        QCOMPARE(start.time().hour(), 14);
    }
    QCOMPARE(narrowed->text(), QString("Showing only: Fri 14:00–14:59"));
    QTest::mouseClick(showAll, Qt::LeftButton);

    // A row of the users' table: Li's eleven calls.
    showStatistics();
    QTableWidget *users = view->userTable();
    int li = -1;
    for (int r = 0; r < users->rowCount(); ++r)
        if (users->item(r, 0)->text() == "Li")
            li = r;
    QVERIFY(li >= 0);
    QCOMPARE(users->item(li, 1)->text(), QString("11"));
    QTest::mouseClick(users->viewport(), Qt::LeftButton, {}, users->visualItemRect(users->item(li, 1)).center());
    QCOMPARE(model.RowCount(), 11);
    for (int r = 0; r < 11; ++r)
        QCOMPARE(model.CellText(r, ResultListModel::CellName), QString("Li"));
    QCOMPARE(narrowed->text(), QString("Showing only: User: Li"));

    // A delete from the narrowed list: the figures lose the call.
    desktop.answers << Desktop::Answer::Yes;
    PopupDriver popups([](QMenu *menu) { return CommandAction(menu, Ids::CmdDelete); });
    RightClick(dlg.List(), CellCentre(dlg.List(), 0));
    QTRY_COMPARE(model.RowCount(), 10);
    QTest::mouseClick(showAll, Qt::LeftButton);
    showStatistics();
    QCOMPARE(total(0), QString("59"));

    // The search over every backup has the same view, counting the calls of all of them.
    QTemporaryDir root;
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), root.filePath("a")));
    QVERIFY(TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2010-01"), root.filePath("b")));
    CBackupArray catalogue(g_config);
    catalogue.AddDirectory(root.path());
    SearchAllWindow search(catalogue);
    QVERIFY(Show(search));
    auto *all = search.findChild<ListStatistics *>();
    QVERIFY(all);
    QTest::mouseClick(all->tabs(), Qt::LeftButton, {}, all->tabs()->tabRect(1).center());
    Control<QPushButton>(search, "IdcFind")->click();
    QTRY_VERIFY(!search.IsSearching());
    QTRY_VERIFY(all->isCurrent());
    QCOMPARE(all->view()->findChild<QLabel *>("Total0")->text(), QString("80"));
}

QTEST_MAIN(QueryWindowTest)
#include "tst_querywindow.moc"

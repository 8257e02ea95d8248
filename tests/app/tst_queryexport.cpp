// The export road of the query window, end to end: the worker and its snapshot of the rows,
// the progress window, the buttons, the workbook written (read back with openpyxl), the file
// handed to the desktop, and the ways it ends early (a close request, rows deleted, no
// application, no template).
#include "GuiTestSupport.h"
#include "PythonChecks.h"
#include "ScriptedDesktop.h"
#include "WindowsUserFolder.h"
#include "app/DlgProgress.h"
#include "app/DlgQuery.h"
#include "query/ResultListModel.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>

using namespace GuiTest;

namespace {

// The variable that names the temporary folder.
#ifdef _WIN32
const char kTempVariable[] = "TMP";
#else
const char kTempVariable[] = "TMPDIR";
#endif

// Cells with a value, by row and column letter, of the first worksheet's rows 1..lastRow
// (or of the sheet named `sheet`); `sheets`, when given, receives the names of all sheets.
using SheetRows = QMap<int, QMap<QString, QJsonValue>>;

SheetRows ReadRows(const QString &path, int lastRow, QString *error, const QString &sheet = QString(),
                   QStringList *sheets = nullptr)
{
    QStringList rows;
    for (int r = 1; r <= lastRow; ++r)
        rows << QString::number(r);
    QProcess reader;
    reader.start(QStringLiteral(ORVIK_TEST_PYTHON),
                 {QStringLiteral(ORVIK_WORKBOOK_READER), path, "--rows", rows.join(',')});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        *error = "openpyxl could not read " + path + ": " + QString::fromUtf8(reader.readAllStandardError());
        return {};
    }
    const QJsonObject book = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    const QJsonObject worksheets = book.value("worksheets").toObject();
    if (book.value("sheets").toArray().isEmpty()) {
        *error = "no worksheet in " + path;
        return {};
    }
    if (sheets) {
        sheets->clear();
        for (const QJsonValue &name : book.value("sheets").toArray())
            *sheets << name.toString();
    }
    const QString first = sheet.isEmpty() ? book.value("sheets").toArray().at(0).toString() : sheet;
    const QJsonObject cells = worksheets.value(first).toObject().value("cells").toObject();
    SheetRows out;
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        const QString ref = it.key();
        const qsizetype digit = ref.indexOf(QRegularExpression("\\d"));
        out[ref.mid(digit).toInt()][ref.left(digit)] = it.value().toObject().value("value");
    }
    return out;
}

// Counts the Show and Hide events of a window.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QWidget *w) { w->installEventFilter(this); }
    int shown = 0;
    int hidden = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show)
            ++shown;
        else if (e->type() == QEvent::Hide)
            ++hidden;
        return false;
    }
};

// Runs `action` once, when a window is shown: the export's worker shows the progress window
// through a call that waits for the window's thread, so the action runs before the worker
// writes its first row.
class WhenShown : public QObject
{
public:
    WhenShown(QWidget *w, std::function<void()> action) : m_action(std::move(action)) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Show && m_action) {
            const auto action = std::move(m_action);
            m_action = nullptr;
            action();
        }
        return false;
    }

private:
    std::function<void()> m_action;
};

QStringList ExportedFiles(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, {"orvik-*.xlsx"}, QDir::Files);
    while (it.hasNext())
        files << it.next();
    return files;
}

} // namespace

class QueryExportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ProgramFolder *m_program = nullptr;
    QByteArray m_savedTmp;
    QString m_dataDir;

    QString Backup(const QString &from, const QString &name)
    {
        const QString dir = m_dir.path() + "/backups/" + name + "/";
        QDir().mkpath(m_dir.path() + "/backups");
        if (!QFileInfo::exists(dir) && !TestFiles::copyTree(from, dir))
            qFatal("cannot copy %s", qPrintable(from));
        return dir;
    }
    QString December() { return Backup(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), "2009-12"); }
    QString Big() { return Backup(QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000"), "big"); }
    QString OutputDir() const { return m_dir.path() + "/out"; }
    QString DataDir() const { return m_dataDir; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(LoadLanguage(1));
        // The exported workbooks land in the temporary folder: one of the test's own.
        QVERIFY(QDir().mkpath(OutputDir()));
        m_savedTmp = qgetenv(kTempVariable);
        qputenv(kTempVariable, OutputDir().toUtf8());
        // The user's copy of the template is made in a data folder of the test's own.
#ifdef _WIN32
        m_dataDir = TestUserFolder(); // Windows names the user's folders itself
#else
        m_dataDir = m_dir.path() + "/data";
        qputenv("XDG_DATA_HOME", QFile::encodeName(DataDir()));
#endif
        m_program = new ProgramFolder;
        QVERIFY(m_program->SetUp(1));
    }
    void cleanupTestCase()
    {
        delete m_program;
        qputenv(kTempVariable, m_savedTmp);
    }
    void cleanup()
    {
        for (const QString &f : ExportedFiles(OutputDir()))
            QFile::remove(f);
    }

    void progressWindowIgnoresEnterEscapeAndClose();
    void exportWritesTheListIntoAWorkbook();
    void escapeDuringALargeExport();
    void rowsDeletedDuringTheExport();
    void rowDeletedAboveTheRowsStillToWrite();
    void noApplicationToOpenTheWorkbook();
    void noTemplateCanBeMade();
};

void QueryExportTest::progressWindowIgnoresEnterEscapeAndClose()
{
    QWidget owner;
    CDlgProgress progress(&owner);
    QCOMPARE(progress.windowTitle(), QString("Exporting to Excel"));
    QCOMPARE(progress.ProgressBar()->objectName(), QString("IdcProgress"));
    progress.show();
    QVERIFY(QTest::qWaitForWindowExposed(&progress));
    QSignalSpy finished(&progress, &QDialog::finished);
    QTest::keyClick(&progress, Qt::Key_Escape);
    QTest::keyClick(&progress, Qt::Key_Return);
    QTest::keyClick(&progress, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!progress.close());
    QVERIFY(progress.isVisible());
    QCOMPARE(finished.size(), 0);
    progress.hide(); // only the export hides it
    QVERIFY(!progress.isVisible());
}

void QueryExportTest::exportWritesTheListIntoAWorkbook()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(December());
    ShowAndFind(dlg);
    const ResultListModel &model = dlg.Model();
    QCOMPARE(model.RowCount(), 60);
    ShowCounter progress(dlg.Progress());

    Control<QPushButton>(dlg, "IdcExport")->click();
    QCOMPARE(dlg.m_exportRunning.load(), 1);
    QCOMPARE(dlg.m_closeRequested.load(), 0);
    QVERIFY(!Control<QPushButton>(dlg, "IdcFind")->isEnabled());
    QVERIFY(!Control<QPushButton>(dlg, "IdcExport")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_exportRunning.load(), 0, 30000);

    QCOMPARE(progress.shown, 1);
    QCOMPARE(progress.hidden, 1);
    QVERIFY(!dlg.Progress()->isVisible());
    QCOMPARE(dlg.Progress()->ProgressBar()->maximum(), 60);
    QCOMPARE(dlg.Progress()->ProgressBar()->value(), 60);
    QVERIFY(Control<QPushButton>(dlg, "IdcFind")->isEnabled());
    QVERIFY(Control<QPushButton>(dlg, "IdcExport")->isEnabled());
    QVERIFY(desktop.messages.isEmpty());

    // The workbook is handed to the desktop; the template was made in the user's folder, not
    // beside the program.
    QCOMPARE(desktop.openedFiles.size(), 1);
    const QString path = desktop.openedFiles[0];
    QCOMPARE(ExportedFiles(OutputDir()), QStringList{path});
    QVERIFY(QFileInfo(path).fileName().contains("2009-12"));
    QVERIFY(QFileInfo::exists(DataDir() + "/orvik/sample.xlsx"));
    QVERIFY(!QFileInfo::exists(m_program->Program() + "sample.xlsx"));

    QString error;
    SKIP_PYTHON_CHECKS();
    QStringList sheets;
    const SheetRows rows = ReadRows(path, 70, &error, QString(), &sheets);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(sheets, QStringList{"Sheet1"}); // the option under Export is off at first
    QCOMPARE(rows.size(), 61);
    const QStringList columns{"A", "B", "C", "D", "E", "F", "G"};
    QStringList header;
    for (const QString &c : columns)
        header << rows[1][c].toString();
    QCOMPARE(header, (QStringList{"No.", "User Name", "Call Type", "Number", "Start Time", "Talk Time", "Remark"}));
    const int cells[] = {0, 1, 2, 3, 4, 5, 7};
    for (int r = 0; r < 60; ++r) {
        const QMap<QString, QJsonValue> &row = rows[r + 2];
        QCOMPARE(row["A"].toDouble(), double(r + 1));
        for (int k : {1, 2, 3, 5, 6}) {
            const QString expected = model.CellText(r, cells[k]);
            // openpyxl shows a carriage return as the workbook stores it, "_x000D_".
            const QString got = row.value(columns[k]).toString().replace("_x000D_", "\r");
            QVERIFY2(got == expected,
                     qPrintable(QString("row %1 column %2: %3 / %4").arg(r).arg(columns[k], got, expected)));
        }
        // The start time is read as a date, as typing it would be.
        QCOMPARE(row["E"].toString(), model.CellText(r, 4).replace(' ', 'T'));
    }
    // Numbers and talk times stay texts: 0123456 keeps its zero, 02:30 is no time of day.
    QCOMPARE(rows[3]["D"].toString(), QString("0123456"));
    QCOMPARE(rows[3]["F"].toString(), QString("02:30"));

    // A second export of the list sorted by talk time, longest first, asked for before the
    // sort (on a worker) is shown: it waits for the sort and gets a file of its own with the
    // rows in that order. No sort can start while the export runs. This time with the
    // option under Export ticked: the sheet of statistics follows the list's.
    auto *withStatistics = Control<QCheckBox>(dlg, "ExportStatistics");
    QCOMPARE(withStatistics->text(), QString("Add statistics"));
    QVERIFY(!withStatistics->isChecked());
    QTest::mouseClick(withStatistics, Qt::LeftButton);
    QVERIFY(withStatistics->isChecked());
    dlg.List()->sortByColumn(ResultListModel::CellTalkTime, Qt::DescendingOrder);
    bool titlesClickable = true;
    WhenShown whileExporting(dlg.Progress(),
                             [&] { titlesClickable = dlg.List()->horizontalHeader()->sectionsClickable(); });
    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(desktop.openedFiles.size(), 2, 30000);
    QTRY_COMPARE(dlg.m_exportRunning.load(), 0);
    QVERIFY(!titlesClickable);
    QVERIFY(dlg.List()->horizontalHeader()->sectionsClickable());
    QVERIFY(desktop.openedFiles[1] != path);
    const SheetRows sorted = ReadRows(desktop.openedFiles[1], 70, &error, QString(), &sheets);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(sheets, (QStringList{"Sheet1", "Statistics"}));
    const SheetRows statistics = ReadRows(desktop.openedFiles[1], 3, &error, "Statistics");
    QCOMPARE(statistics[1]["A"].toString(), QString("Totals"));
    QCOMPARE(statistics[3]["A"].toDouble(), 60.0);
    QCOMPARE(statistics[3]["D"].toDouble(), 8.0);
    for (int r = 0; r < 60; ++r) {
        QCOMPARE(sorted[r + 2]["A"].toDouble(), model.CellText(r, 0).toDouble());
        QCOMPARE(sorted[r + 2]["F"].toString(), model.CellText(r, ResultListModel::CellTalkTime));
    }
    QCOMPARE(sorted[2]["F"].toString(), QString("10:03"));

    // The option is remembered for the next window.
    CDlgQuery next(December());
    QVERIFY(Control<QCheckBox>(next, "ExportStatistics")->isChecked());
    Control<QCheckBox>(next, "ExportStatistics")->setChecked(false);
}

void QueryExportTest::escapeDuringALargeExport()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(Big());
    ShowAndFind(dlg);
    QCOMPARE(dlg.Model().RowCount(), 3000);

    // Escape as the progress window appears: the worker waits for the window's thread
    // there, so the request is made before it writes its first row. It stops after the row
    // in hand, and the window closes only once it has ended.
    int runningAtClose = -1;
    WhenShown escape(dlg.Progress(), [&] {
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    connect(&dlg, &QDialog::finished, &dlg, [&] { runningAtClose = dlg.m_exportRunning.load(); });
    QSignalSpy finished(&dlg, &QDialog::finished);

    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
    QCOMPARE(runningAtClose, 0); // closed only after the worker had ended
    QCOMPARE(finished[0][0].toInt(), int(QDialog::Accepted));
    QVERIFY(!dlg.Progress()->isVisible());
    QCOMPARE(dlg.Progress()->ProgressBar()->value(), 1);

    // The row written is kept and opened.
    QCOMPARE(desktop.openedFiles.size(), 1);
    QString error;
    SKIP_PYTHON_CHECKS();
    const SheetRows rows = ReadRows(desktop.openedFiles[0], 200, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[2]["A"].toDouble(), 1.0);
    QCOMPARE(finished.size(), 1);
}

void QueryExportTest::rowsDeletedDuringTheExport()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(Big());
    ShowAndFind(dlg);
    ResultListModel &model = dlg.Model();

    // Once the export has taken its rows, all but the first 15 leave the list: the worker
    // writes only those 15, and the bar counts the rows written.
    QProgressBar *bar = dlg.Progress()->ProgressBar();
    WhenShown remove(dlg.Progress(), [&] {
        while (model.RowCount() > 15)
            model.RemoveRow(model.RowCount() - 1);
    });
    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_exportRunning.load(), 0, 30000);
    QCOMPARE(bar->maximum(), 3000);
    QCOMPARE(bar->value(), 15);

    QCOMPARE(desktop.openedFiles.size(), 1);
    QString error;
    SKIP_PYTHON_CHECKS();
    const SheetRows rows = ReadRows(desktop.openedFiles[0], 40, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), 16);
    for (int r = 0; r < 15; ++r)
        QCOMPARE(rows[r + 2]["D"].toString(), model.CellText(r, ResultListModel::CellPhone));
    QVERIFY(desktop.messages.isEmpty());
}

void QueryExportTest::rowDeletedAboveTheRowsStillToWrite()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(December());
    ShowAndFind(dlg);
    ResultListModel &model = dlg.Model();
    QCOMPARE(model.RowCount(), 60);

    // Once the export has taken its rows the user deletes the third one. It is left out, and
    // every row after it follows all the same: none may be skipped because the rows below
    // moved up by one.
    QStringList numbers;
    QProgressBar *bar = dlg.Progress()->ProgressBar();
    WhenShown remove(dlg.Progress(), [&] { model.RemoveRow(2); });
    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_exportRunning.load(), 0, 30000);
    QCOMPARE(model.RowCount(), 59);
    QCOMPARE(bar->value(), 59);

    QCOMPARE(desktop.openedFiles.size(), 1);
    QString error;
    SKIP_PYTHON_CHECKS();
    const SheetRows rows = ReadRows(desktop.openedFiles[0], 70, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(rows.size(), 60);
    for (int r = 0; r < 59; ++r)
        numbers << QString::number(rows[r + 2]["A"].toDouble());
    QStringList expected;
    for (int n = 1; n <= 60; ++n) {
        if (n != 3)
            expected << QString::number(n);
    }
    QCOMPARE(numbers, expected);
    QVERIFY(desktop.messages.isEmpty());
}

void QueryExportTest::noApplicationToOpenTheWorkbook()
{
    ScriptedDesktop desktop;
    desktop.openSucceeds = false;
    CDlgQuery dlg(December());
    // The progress window (at 100 %) is gone before the message shows: it never stands
    // over it or behind it.
    QStringList shownWithTheMessage;
    desktop.onMessage = [&](const ScriptedDesktop::Message &) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != &dlg)
                shownWithTheMessage << w->metaObject()->className();
        if (dlg.Progress()->isVisible())
            shownWithTheMessage << QStringLiteral("the progress window");
    };
    ShowAndFind(dlg);
    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_exportRunning.load(), 0, 30000);

    QCOMPARE(desktop.openedFiles.size(), 1);
    const QString path = desktop.openedFiles[0];
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Error);
    QCOMPARE(desktop.messages[0].text, "Please Install Excel First\n" + path);
    QCOMPARE(shownWithTheMessage, QStringList());
    // Nothing is lost: the workbook is there.
    QString error;
    SKIP_PYTHON_CHECKS();
    QCOMPARE(ReadRows(path, 70, &error).size(), 61);
    QVERIFY(Control<QPushButton>(dlg, "IdcFind")->isEnabled() && Control<QPushButton>(dlg, "IdcExport")->isEnabled());
    QVERIFY(!dlg.Progress()->isVisible());
}

void QueryExportTest::noTemplateCanBeMade()
{
    ScriptedDesktop desktop;
    CDlgQuery dlg(December());
    ShowAndFind(dlg);
    ShowCounter progress(dlg.Progress());

    // Neither the user's data folder nor the temporary folder can take a file, for root too:
    // the data folder lies below a plain file, the temporary folder is /proc.
#ifdef _WIN32
    QSKIP("the user's data folder cannot be moved below a plain file on Windows");
#endif
    if (!QFileInfo(QStringLiteral("/proc/self")).isDir())
        QSKIP("No /proc here: no folder that refuses every file for the temporary folder");
    const QString plainFile = m_dir.path() + "/plain";
    QVERIFY(TestFiles::write(plainFile, "x"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(plainFile + "/data"));
    qputenv(kTempVariable, "/proc");
    Control<QPushButton>(dlg, "IdcExport")->click();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_exportRunning.load(), 0, 30000);
    qputenv(kTempVariable, OutputDir().toUtf8());
    qputenv("XDG_DATA_HOME", QFile::encodeName(DataDir()));

    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, QString("Open File Error"));
    QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Error);
    QVERIFY(desktop.openedFiles.isEmpty());
    QCOMPARE(progress.shown, 0);
    QVERIFY(!dlg.Progress()->isVisible());
    QVERIFY(Control<QPushButton>(dlg, "IdcFind")->isEnabled() && Control<QPushButton>(dlg, "IdcExport")->isEnabled());
    QVERIFY(ExportedFiles(OutputDir()).isEmpty());
}

QTEST_MAIN(QueryExportTest)
#include "tst_queryexport.moc"

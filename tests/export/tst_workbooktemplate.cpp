// The template workbook: what the built-in template holds, and where the export finds or
// writes its file.

#include "WorkbookTestSupport.h"
#include "common/TestFiles.h"

#include "export/WorkbookTemplate.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace WorkbookTest;

namespace {

QString FallbackName()
{
    return QStringLiteral("orvik-%1-sample.xlsx").arg(qulonglong(::getuid()));
}

} // namespace

class TestWorkbookTemplate : public QObject
{
    Q_OBJECT

private slots:
    void builtInTemplateHasTheDescribedLayout();
    void missingFileIsWrittenFromTheBuiltInTemplate();
    void existingFileIsTheTemplateAndStaysUnchanged();
    void unwritableProgramFolderFallsBackToTheTemporaryFolder();
    void nothingWritableIsAFailure();
};

void TestWorkbookTemplate::builtInTemplateHasTheDescribedLayout()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sample.xlsx"));
    QVERIFY(TestFiles::write(path, EmbeddedTemplateWorkbook()));

    QString error;
    const QJsonObject book = Read(path, &error);
    QVERIFY2(!book.isEmpty(), qPrintable(error));
    QCOMPARE(book.value("sheets").toArray(), QJsonArray({"Sheet1"}));
    QVERIFY(!book.value("date1904").toBool());
    const QJsonObject sheet = Sheet(book, "Sheet1");

    // Every column 14.6 characters wide.
    const QJsonArray columns = sheet.value("columns").toArray();
    QCOMPARE(columns.size(), 1);
    QCOMPARE(columns[0].toObject().value("min").toInt(), 1);
    QCOMPARE(columns[0].toObject().value("max").toInt(), 16384);
    QCOMPARE(columns[0].toObject().value("width").toDouble(), 14.6);
    QVERIFY(columns[0].toObject().value("customWidth").toBool());

    // The first row in bold, as a row format that cells written there take.
    const QJsonObject row1 = sheet.value("rows").toObject().value("1").toObject();
    QVERIFY(row1.value("customFormat").toBool());
    QVERIFY(row1.value("bold").toBool());

    // Framed blank cells in rows 2 to 6, nothing else, no values anywhere.
    const QJsonObject cells = sheet.value("cells").toObject();
    QCOMPARE(cells.size(), 5 * 7);
    for (int r = 2; r <= 6; ++r) {
        for (char c = 'A'; c <= 'G'; ++c) {
            const QJsonObject cell = Cell(sheet, QStringLiteral("%1%2").arg(QLatin1Char(c)).arg(r));
            QVERIFY2(cell.value("value").isNull(), qPrintable(QStringLiteral("%1%2").arg(QLatin1Char(c)).arg(r)));
            QCOMPARE(cell.value("border").toString(), QStringLiteral("thin"));
            QCOMPARE(cell.value("size").toDouble(), 11.0);
            QVERIFY(!cell.value("bold").toBool());
        }
    }
    QCOMPARE(Cell(sheet, "A2").value("fill").toString(), QStringLiteral("solid"));
    QVERIFY(Cell(sheet, "B2").value("fill").isNull());
    QCOMPARE(sheet.value("dimension").toString(), QStringLiteral("A1:G6"));
}

void TestWorkbookTemplate::missingFileIsWrittenFromTheBuiltInTemplate()
{
    QTemporaryDir program, temp;
    QVERIFY(program.isValid() && temp.isValid());
    QString error;
    // The program folder is given with a trailing separator, as the settings hold it.
    const QString path = EnsureTemplateWorkbook(program.path() + QLatin1Char('/'), temp.path(), &error);
    QCOMPARE(path, program.filePath(QStringLiteral("sample.xlsx")));
    QCOMPARE(TestFiles::read(path), EmbeddedTemplateWorkbook());
    QVERIFY(Listing(temp.path()).isEmpty());
    QCOMPARE(Listing(program.path()), QStringList({"sample.xlsx"}));
}

void TestWorkbookTemplate::existingFileIsTheTemplateAndStaysUnchanged()
{
    QTemporaryDir program, temp;
    QVERIFY(program.isValid() && temp.isValid());
    const QString path = program.filePath(QStringLiteral("sample.xlsx"));
    // Whatever the user left there is the template, even a file that is not a workbook.
    const QByteArray edited = "the user's own template";
    QVERIFY(TestFiles::write(path, edited));
    QFile file(path);
    const QDateTime old = QDateTime::currentDateTime().addDays(-30);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
    file.close();

    QString error;
    QCOMPARE(EnsureTemplateWorkbook(program.path(), temp.path(), &error), path);
    QCOMPARE(TestFiles::read(path), edited);
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
    QVERIFY(Listing(temp.path()).isEmpty());
}

void TestWorkbookTemplate::unwritableProgramFolderFallsBackToTheTemporaryFolder()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // The tests run as root, for whom permission bits do not stop writing; a folder below a
    // regular file cannot be created or written by anyone.
    const QString blocker = root.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(TestFiles::write(blocker, "x"));
    const QString program = blocker + QStringLiteral("/program");
    const QString temp = root.filePath(QStringLiteral("temp"));
    QVERIFY(QDir().mkpath(temp));

    QString error;
    const QString fallback = QDir(temp).filePath(FallbackName());
    QCOMPARE(EnsureTemplateWorkbook(program, temp, &error), fallback);
    QCOMPARE(TestFiles::read(fallback), EmbeddedTemplateWorkbook());
    QCOMPARE(Listing(temp), QStringList({FallbackName()}));

    // Every export that falls back writes the file anew.
    QVERIFY(TestFiles::write(fallback, "left over by an earlier export"));
    QCOMPARE(EnsureTemplateWorkbook(program, temp, &error), fallback);
    QCOMPARE(TestFiles::read(fallback), EmbeddedTemplateWorkbook());
    QCOMPARE(Listing(temp), QStringList({FallbackName()}));
}

void TestWorkbookTemplate::nothingWritableIsAFailure()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString blocker = root.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(TestFiles::write(blocker, "x"));

    QString error;
    QCOMPARE(EnsureTemplateWorkbook(blocker + QStringLiteral("/program"), blocker + QStringLiteral("/temp"), &error),
             QString());
    QVERIFY(error.contains(blocker + QStringLiteral("/program/sample.xlsx")));
    QVERIFY(error.contains(blocker + QStringLiteral("/temp/")));
    QCOMPARE(Listing(root.path()), QStringList({"not-a-folder"}));
}

QTEST_GUILESS_MAIN(TestWorkbookTemplate)
#include "tst_workbooktemplate.moc"

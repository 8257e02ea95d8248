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

    // Column widths for what goes there, the start time wide enough; A to G framed as column formats,
    // so that every row written takes the frame.
    QStringList columns;
    for (const QJsonValue &c : sheet.value("columns").toArray()) {
        const QJsonObject column = c.toObject();
        QVERIFY(column.value("customWidth").toBool());
        columns << QStringLiteral("%1-%2 %3 %4")
                       .arg(column.value("min").toInt())
                       .arg(column.value("max").toInt())
                       .arg(column.value("width").toDouble())
                       .arg(column.value("border").toString());
    }
    QCOMPARE(columns, (QStringList{"1-1 8 thin", "2-2 14.6 thin", "3-3 11 thin", "4-4 14.6 thin", "5-5 20.7 thin",
                                   "6-6 10 thin", "7-7 14.6 thin", "8-16384 14.6 "}));

    // The first row bold and framed, as a row format that cells written there take; frozen,
    // with an autofilter on it.
    const QJsonObject row1 = sheet.value("rows").toObject().value("1").toObject();
    QVERIFY(row1.value("customFormat").toBool());
    QVERIFY(row1.value("bold").toBool());
    QCOMPARE(row1.value("fill").toString(), QStringLiteral("solid"));
    QCOMPARE(sheet.value("freeze").toString(), QStringLiteral("A2"));
    QCOMPARE(sheet.value("autoFilter").toString(), QStringLiteral("A1:G1"));
    QVERIFY(sheet.value("cells").toObject().isEmpty());
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

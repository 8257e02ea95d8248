// The template workbook: what the built-in template holds, and where the export finds or
// writes its file (beside the program, the user's copy, the installation's, the fallback).

#include "WorkbookTestSupport.h"
#include "common/TestFiles.h"
#include "common/WindowsUserFolder.h"

#include "platform/HostSystem.h"
#include "export/WorkbookTemplate.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace WorkbookTest;

namespace {

QString FallbackName()
{
    return QStringLiteral("orvik-%1-sample.xlsx").arg(HostSystem::userKey());
}

// Points the user's data folder ($XDG_DATA_HOME) at `dir`; the user's template is then
// dir/orvik/sample.xlsx. On Windows the tests' own folder stands in (see TestUserFolder),
// and a `dir` below a regular file is copied by a file where Orvik's folder would be.
QString UseDataFolder(const QString &dir)
{
#ifdef _WIN32
    const QString orvik = TestUserFolder() + "/orvik";
    if (QFileInfo(QFileInfo(dir).absolutePath()).isFile())
        TestFiles::write(orvik, "x");
    return orvik + QStringLiteral("/sample.xlsx");
#else
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir));
    return dir + QStringLiteral("/orvik/sample.xlsx");
#endif
}

} // namespace

class TestWorkbookTemplate : public QObject
{
    Q_OBJECT

private slots:
    void builtInTemplateHasTheDescribedLayout();
    void missingFileIsCopiedIntoTheUsersFolder();
    void existingFileIsTheTemplateAndStaysUnchanged();
    void unwritableUserFolderFallsBackToTheTemporaryFolder();
    void nothingWritableIsAFailure();
};

void TestWorkbookTemplate::builtInTemplateHasTheDescribedLayout()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sample.xlsx"));
    QVERIFY(TestFiles::write(path, EmbeddedTemplateWorkbook()));

    SKIP_PYTHON_CHECKS();
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

void TestWorkbookTemplate::missingFileIsCopiedIntoTheUsersFolder()
{
    QTemporaryDir program, data, temp;
    QVERIFY(program.isValid() && data.isValid() && temp.isValid());
    const QString user = UseDataFolder(data.path());
    QString error;
    // A program not installed: the built-in template. The program folder is given with a
    // trailing separator, as the settings hold it.
    QCOMPARE(EnsureTemplateWorkbook(program.path() + QLatin1Char('/'), temp.path(), &error), user);
    QCOMPARE(TestFiles::read(user), EmbeddedTemplateWorkbook());
    QVERIFY(Listing(temp.path()).isEmpty());
    QVERIFY(Listing(program.path()).isEmpty());

    // An installed one: the installation's template, which an administrator may have changed.
    QVERIFY(QFile::remove(user));
    const QString bin = program.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(program.filePath(QStringLiteral("share/orvik"))));
    QVERIFY(TestFiles::write(program.filePath(QStringLiteral("share/orvik/sample.xlsx")), "the installed template"));
    QCOMPARE(EnsureTemplateWorkbook(bin, temp.path(), &error), user);
    QCOMPARE(TestFiles::read(user), QByteArray("the installed template"));
    QVERIFY(Listing(bin).isEmpty());
}

void TestWorkbookTemplate::existingFileIsTheTemplateAndStaysUnchanged()
{
    QTemporaryDir program, data, temp;
    QVERIFY(program.isValid() && data.isValid() && temp.isValid());
    const QString user = UseDataFolder(data.path());
    // Whatever the user left there is the template, even a file that is not a workbook; one
    // beside the program comes first.
    for (const QString &path : {user, program.filePath(QStringLiteral("sample.xlsx"))}) {
        const QByteArray edited = "the user's own template at " + path.toUtf8();
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()) && TestFiles::write(path, edited));
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
}

void TestWorkbookTemplate::unwritableUserFolderFallsBackToTheTemporaryFolder()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // The tests run as root, for whom permission bits do not stop writing; a folder below a
    // regular file cannot be created or written by anyone.
    const QString blocker = root.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(TestFiles::write(blocker, "x"));
    UseDataFolder(blocker + QStringLiteral("/data"));
    const QString program = root.filePath(QStringLiteral("program"));
    const QString temp = root.filePath(QStringLiteral("temp"));
    QVERIFY(QDir().mkpath(temp) && QDir().mkpath(program));

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
    QVERIFY(Listing(program).isEmpty());
}

void TestWorkbookTemplate::nothingWritableIsAFailure()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString blocker = root.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(TestFiles::write(blocker, "x"));
    const QString user = UseDataFolder(blocker + QStringLiteral("/data"));

    QString error;
    QCOMPARE(EnsureTemplateWorkbook(blocker + QStringLiteral("/program"), blocker + QStringLiteral("/temp"), &error),
             QString());
    QVERIFY(error.contains(user));
    QVERIFY(error.contains(blocker + QStringLiteral("/temp/")));
    QCOMPARE(Listing(root.path()), QStringList({"not-a-folder"}));
}

QTEST_GUILESS_MAIN(TestWorkbookTemplate)
#include "tst_workbooktemplate.moc"

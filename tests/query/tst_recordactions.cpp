// Playing and deleting the record of a list row: the messages for recordings that cannot
// be played, the player each setting starts (scripted, nothing really starts), deletion of
// normal, "DEL", nameless and missing recordings, recordings outside the voice folder that
// are never touched, and a database that refuses the delete. The database must stay sound.
#include "config/Config.h"
#include "db/AdoDb.h"
#include "db/JetConnection.h"
#include "db/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/RecordActions.h"
#include "query/ResultListModel.h"

#include "TestPaths.h"
#include "common/ScriptedDesktop.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString formatted(int textId, const QString &path)
{
    QString text = GetDialogText(textId);
    return text.replace(text.indexOf("%s"), 2, path);
}

// A copy of a sample backup, a program directory of its own, and the search window's
// model and actions over them.
struct Fixture
{
    QTemporaryDir dir;
    QString backup; // ends in "/"
    QString voice;
    std::unique_ptr<CConfig> config;
    CAdoDb db;
    ResultListModel model;
    std::unique_ptr<RecordActions> actions;

    explicit Fixture(int playerType = 0, const std::function<void(Fixture &)> &prepare = {})
    {
        backup = dir.filePath("2009-12/");
        voice = backup + "voice/";
        TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/2009-12"), dir.filePath("2009-12"));
        TestFiles::write(dir.filePath("prog/config.ini"), "[config]\nm_PlayerType=" + QByteArray::number(playerType));
        config = std::make_unique<CConfig>(dir.filePath("prog"));
        if (prepare)
            prepare(*this);
        db.OpenAccessDatabase(backup + "dbR.mdb", QString());
        model.SetBackupDir(backup);
        model.FillResultList(db, "select * from Record  order by record_time_start");
        actions = std::make_unique<RecordActions>(db, model, *config);
    }
    int row(int id) const
    {
        for (int r = 0; r < model.RowCount(); ++r)
            if (model.CellText(r, ResultListModel::CellId).toInt() == id)
                return r;
        return -1;
    }
    QString file(int id) const { return model.CellText(row(id), ResultListModel::CellFile); }
    int recordsWithId(int id)
    {
        std::shared_ptr<JetRecordset> rs;
        db.SqlExecute(rs, QStringLiteral("select * from record where id = %1").arg(id));
        return rs ? int(rs->rowCount()) : -1;
    }
    QStringList problems() const
    {
        jet::Database check;
        if (!check.open(backup + "dbR.mdb", jet::PageFile::OpenMode::ReadOnly))
            return {"does not open"};
        return jet::Checker::checkDatabase(check);
    }
    // Gives a record another recording name of the same length, in place (the column
    // holds compressed text: one byte per character).
    static void renameRecording(const QString &databasePath, const QByteArray &from, QByteArray to)
    {
        to = to.leftJustified(from.size(), '_', true);
        QByteArray bytes = TestFiles::read(databasePath);
        const qsizetype at = bytes.indexOf(from);
        QVERIFY(at >= 0);
        bytes.replace(at, from.size(), to);
        QVERIFY(TestFiles::write(databasePath, bytes));
    }
};

// Sets PATH for one scope, so that player lookup sees only the given folder.
struct PathOverride
{
    QByteArray saved = qgetenv("PATH");
    explicit PathOverride(const QString &dir) { qputenv("PATH", QFile::encodeName(dir)); }
    ~PathOverride() { qputenv("PATH", saved); }
};

} // namespace

class TestRecordActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recordingsThatCannotBePlayed();
    void playerOfEachSetting();
    void pathReachesThePlayerWhole();
    void deleteNormalRecord();
    void deleteAnsweredNo();
    void deleteWithoutARecordingFile();
    void deleteWithMissingFile();
    void recordingOutsideTheVoiceFolderIsKept();
    void refusedDeleteKeepsEverything();
};

void TestRecordActions::initTestCase()
{
    QCOMPARE(g_language.LoadFile(QStringLiteral(ORVIK_LANGUAGE_DIR "/Menu_English.xml")), 0);
}

void TestRecordActions::recordingsThatCannotBePlayed()
{
    ScriptedDesktop desktop;
    Fixture f;
    f.actions->PlayRecording(f.file(11)); // "DEL"
    f.actions->PlayRecording(f.file(12)); // no file name
    f.actions->PlayRecording(f.file(42)); // listed, missing on disk
    QCOMPARE(desktop.messages.size(), 3);
    for (const auto &m : desktop.messages) {
        QCOMPARE(m.icon, Desktop::Icon::Error);
        QCOMPARE(m.caption, GetDialogText(Ids::TxtErrorCaption));
    }
    QCOMPARE(desktop.messages[0].text, formatted(Ids::TxtRecordingDeleted, "DEL"));
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtEmptyRecordingPath, QString()));
    QCOMPARE(desktop.messages[2].text, GetDialogText(Ids::TxtRecordingNotFound) + " " + f.file(42));
    QVERIFY(desktop.starts.isEmpty());
    QVERIFY(desktop.openedFiles.isEmpty());
}

void TestRecordActions::playerOfEachSetting()
{
    QTemporaryDir bin;
    QVERIFY(TestFiles::write(bin.filePath("mpv"), "#!/bin/sh\n"));
    QVERIFY(QFile::setPermissions(bin.filePath("mpv"), QFile::ReadOwner | QFile::ExeOwner));
    QTemporaryDir empty;
    {
        ScriptedDesktop desktop;
        Fixture f(0);
        PathOverride path(bin.path());
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.starts.size(), 1);
        QCOMPARE(desktop.starts[0].program, bin.filePath("mpv"));
        QCOMPARE(desktop.starts[0].arguments, QStringList{f.file(2)});
        QVERIFY(desktop.messages.isEmpty());
    }
    {
        // No player anywhere: the warning, then the fallback player is still tried.
        ScriptedDesktop desktop;
        Fixture f(0);
        PathOverride path(empty.path());
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.messages.size(), 1);
        QCOMPARE(desktop.messages[0].text, QStringLiteral("MediaPlayer Is not Found"));
        QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Warning);
        QCOMPARE(desktop.messages[0].caption, QString()); // the application's own title
        QCOMPARE(desktop.starts.size(), 1);
        QCOMPARE(desktop.starts[0].program, QStringLiteral("mplayer"));
        QCOMPARE(desktop.starts[0].arguments, QStringList{f.file(2)});
    }
    {
        ScriptedDesktop desktop;
        Fixture f(1);
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.openedFiles, QStringList{f.file(2)});
        QVERIFY(desktop.starts.isEmpty());
    }
    {
        ScriptedDesktop desktop;
        Fixture f(7);
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.starts.size(), 1);
        QCOMPARE(desktop.starts[0].program, f.config->m_appDir + "MPlayer.exe");
        QCOMPARE(desktop.starts[0].arguments, QStringList{f.file(2)});
        // The setting is read again at every playback.
        QVERIFY(TestFiles::write(f.config->SettingsPath(), "[config]\nm_PlayerType=1\n"));
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.openedFiles.size(), 1);
    }
}

void TestRecordActions::pathReachesThePlayerWhole()
{
    ScriptedDesktop desktop;
    const QByteArray original = "20091201093713_4_0123456.wav";
    const QByteArray odd = "a b \"c\" it's;$(x) &.wav";
    Fixture f(7, [&](Fixture &self) {
        Fixture::renameRecording(self.backup + "dbR.mdb", original, odd);
        QVERIFY(QFile::rename(self.voice + original, self.voice + odd.leftJustified(original.size(), '_', true)));
    });
    const QString path = f.file(2);
    QVERIFY(path.contains("it's;$(x)"));
    f.actions->PlayRecording(path);
    QCOMPARE(desktop.starts.size(), 1);
    QCOMPARE(desktop.starts[0].arguments, QStringList{path}); // one argument, never a shell line
}

void TestRecordActions::deleteNormalRecord()
{
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes};
    Fixture f;
    const QString file = f.file(2);
    const int row = f.row(2);
    const QString nextNumber = f.model.CellText(row + 1, ResultListModel::CellNumber);
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(f.actions->DeleteRecord(row), RecordActions::DeleteResult::Deleted);
    QCOMPARE(desktop.messages.size(), 1); // the question only
    QCOMPARE(desktop.messages[0].text, GetDialogText(Ids::TxtDeleteQuestion));
    QCOMPARE(desktop.messages[0].caption, GetDialogText(Ids::TxtDeleteCaption));
    QCOMPARE(desktop.messages[0].buttons, Desktop::Buttons::YesNo);
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(f.recordsWithId(2), 0);
    QCOMPARE(f.row(2), -1);
    QCOMPARE(f.model.RowCount(), 59);
    QCOMPARE(f.model.CellText(row, ResultListModel::CellNumber), nextNumber); // no renumbering
    QCOMPARE(f.problems(), QStringList());
}

void TestRecordActions::deleteAnsweredNo()
{
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::No};
    Fixture f;
    const QByteArray before = TestFiles::read(f.backup + "dbR.mdb");
    QCOMPARE(f.actions->DeleteRecord(f.row(2)), RecordActions::DeleteResult::Cancelled);
    QVERIFY(QFileInfo::exists(f.file(2)));
    QCOMPARE(f.model.RowCount(), 60);
    QCOMPARE(TestFiles::read(f.backup + "dbR.mdb"), before);
}

void TestRecordActions::deleteWithoutARecordingFile()
{
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes, Desktop::Answer::Yes};
    Fixture f;
    const QStringList voiceBefore = QDir(f.voice).entryList(QDir::Files);
    QCOMPARE(f.actions->DeleteRecord(f.row(11)), RecordActions::DeleteResult::Deleted); // "DEL"
    QCOMPARE(f.actions->DeleteRecord(f.row(12)), RecordActions::DeleteResult::Deleted); // no name
    QCOMPARE(desktop.messages.size(), 2); // the two questions, nothing else
    QCOMPARE(QDir(f.voice).entryList(QDir::Files), voiceBefore);
    QCOMPARE(f.recordsWithId(11), 0);
    QCOMPARE(f.recordsWithId(12), 0);
    QCOMPARE(f.model.RowCount(), 58);
    QCOMPARE(f.problems(), QStringList());
}

void TestRecordActions::deleteWithMissingFile()
{
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes};
    Fixture f;
    const QString file = f.file(42);
    QCOMPARE(f.actions->DeleteRecord(f.row(42)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[1].text, "Del File " + file + " Fail!");
    QCOMPARE(desktop.messages[1].caption, GetDialogText(Ids::TxtErrorCaption));
    QCOMPARE(desktop.messages[1].icon, Desktop::Icon::Error);
    QCOMPARE(f.recordsWithId(42), 0); // the record goes first
    QCOMPARE(f.row(42), -1);
    QCOMPARE(f.problems(), QStringList());
}

void TestRecordActions::recordingOutsideTheVoiceFolderIsKept()
{
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.filePath("precious.wav"), "keep"));
    const QByteArray second = "20091201093713_4_0123456.wav";
    const QByteArray third = "20091202092128_4_110.wav";
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes, Desktop::Answer::Yes};
    Fixture f(0, [&](Fixture &self) {
        // id 2 climbs out of the folder with "..", id 3 is a link that points outside.
        Fixture::renameRecording(self.backup + "dbR.mdb", second, "../../precious.wav");
        QFile::remove(self.voice + third);
        QFile::link(outside.filePath("precious.wav"), self.voice + third);
    });
    const QString climbing = f.file(2);
    QVERIFY(climbing.contains("/voice/../../precious.wav"));
    // The name was padded to the old length; the file it names lies beside the backup.
    QVERIFY(TestFiles::write(f.dir.filePath(QFileInfo(climbing).fileName()), "keep too"));
    const QString linked = f.file(3);

    f.actions->PlayRecording(climbing);
    f.actions->PlayRecording(linked);
    QVERIFY(desktop.starts.isEmpty());
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[0].text, formatted(Ids::TxtRecordingOutside, climbing));
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtRecordingOutside, linked));

    desktop.messages.clear();
    QCOMPARE(f.actions->DeleteRecord(f.row(2)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(f.actions->DeleteRecord(f.row(3)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(desktop.messages.size(), 4);
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtRecordingKept, climbing));
    QCOMPARE(desktop.messages[3].text, formatted(Ids::TxtRecordingKept, linked));
    // The records went; everything outside the voice folder stayed.
    QCOMPARE(f.recordsWithId(2), 0);
    QCOMPARE(f.recordsWithId(3), 0);
    QCOMPARE(TestFiles::read(QFileInfo(climbing).canonicalFilePath()), QByteArray("keep too"));
    QCOMPARE(TestFiles::read(outside.filePath("precious.wav")), QByteArray("keep"));
    QCOMPARE(f.problems(), QStringList());

    // A voice folder that is itself a link to a folder elsewhere is not the backup's own.
    desktop.answers = {Desktop::Answer::Yes};
    desktop.messages.clear();
    const QString elsewhere = outside.filePath("voice");
    Fixture g(0, [&](Fixture &self) {
        QVERIFY(QDir().rename(self.voice, elsewhere));
        QVERIFY(QFile::link(elsewhere, self.backup + "voice"));
    });
    const QString name = QFileInfo(g.file(1)).fileName();
    QCOMPARE(g.actions->DeleteRecord(g.row(1)), RecordActions::DeleteResult::DeletedFileKept);
    QVERIFY(QFileInfo::exists(elsewhere + "/" + name));
}

void TestRecordActions::refusedDeleteKeepsEverything()
{
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes};
    Fixture f;
    // Swap the window's connection for one that can only read.
    auto readOnly = std::make_shared<JetConnection>();
    f.db.m_pConnection.reset();
    sql::SqlError error;
    QVERIFY(readOnly->open(f.backup + "dbR.mdb", QString(), JetConnection::Mode::ReadOnlyExclusive, &error));
    f.db.m_pConnection = readOnly;
    const QString file = f.file(2);
    QCOMPARE(f.actions->DeleteRecord(f.row(2)), RecordActions::DeleteResult::Failed);
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[1].text, QStringLiteral("Fail!"));
    QCOMPARE(desktop.messages[1].caption, GetDialogText(Ids::TxtDeleteCaption));
    QCOMPARE(desktop.messages[1].icon, Desktop::Icon::Error);
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(f.row(2) >= 0);
    QCOMPARE(f.recordsWithId(2), 1);
}

QTEST_GUILESS_MAIN(TestRecordActions)
#include "tst_recordactions.moc"

// Playing and deleting the record of a list row: the messages for recordings that cannot
// be played, the player each setting starts (scripted, nothing really starts), deletion of
// normal, "DEL", nameless and missing recordings, recordings outside the voice folder that
// are never touched, and a database that refuses the delete. The database must stay sound.
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "db/ado/AdoDb.h"
#include "db/exec/JetConnection.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Database.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/RecordActions.h"
#include "query/ResultListModel.h"

#include "TestPaths.h"
#include "common/ReadOnlyFolder.h"
#include "common/ScriptedDesktop.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

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
        db.OpenAccessDatabase(CBackupArray::DatabaseOf(backup), QString());
        model.SetBackupDir(backup);
        model.FillResultList(db, "select * from Record  order by record_time_start");
        actions = std::make_unique<RecordActions>(db, model, model.Recordings(), *config);
    }
    int row(int id) const
    {
        for (int r = 0; r < model.RowCount(); ++r)
            if (model.CellText(r, ResultListModel::CellId).toInt() == id)
                return r;
        return -1;
    }
    RecordActions::CallKey call(int id) const { return model.KeyOf(row(id)); }
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
        if (!check.open(CBackupArray::DatabaseOf(backup), jet::PageFile::OpenMode::ReadOnly))
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
    void namesAsWindowsWritesThem();
    void folderSwappedForALinkDuringDeletes();
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
    // Type 0: the system's media player. Windows keeps it under the system drive's
    // "Program Files"; elsewhere a common player is looked for in PATH.
    QTemporaryDir bin;
    QTemporaryDir empty;
#ifdef _WIN32
    const QString player = bin.filePath("Program Files/Windows Media Player/wmplayer.exe");
    QVERIFY(TestFiles::write(player, "MZ"));
    const QString fallback = QStringLiteral("mplayer2.exe");
    const auto useSystem = [](Fixture &f, const QString &root) { f.config->m_sysDriveRoot = root + "/"; };
#else
    const QString player = bin.filePath("mpv");
    QVERIFY(TestFiles::write(player, "#!/bin/sh\n"));
    QVERIFY(QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner));
    const QString fallback = QStringLiteral("mplayer");
    std::optional<PathOverride> path;
    const auto useSystem = [&path](Fixture &, const QString &root) { path.emplace(root); };
#endif
    {
        ScriptedDesktop desktop;
        Fixture f(0);
        useSystem(f, bin.path());
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.starts.size(), 1);
        QCOMPARE(desktop.starts[0].program, QDir::toNativeSeparators(player));
        QCOMPARE(desktop.starts[0].arguments, QStringList{f.file(2)});
        QVERIFY(desktop.messages.isEmpty());
    }
    {
        // No player anywhere: the warning, then the fallback player is still tried.
        ScriptedDesktop desktop;
        Fixture f(0);
        useSystem(f, empty.path());
        f.actions->PlayRecording(f.file(2));
        QCOMPARE(desktop.messages.size(), 1);
        QCOMPARE(desktop.messages[0].text, QStringLiteral("MediaPlayer Is not Found"));
        QCOMPARE(desktop.messages[0].icon, Desktop::Icon::Warning);
        QCOMPARE(desktop.messages[0].caption, QString()); // the application's own title
        QCOMPARE(desktop.starts.size(), 1);
        QCOMPARE(desktop.starts[0].program, fallback);
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
        QCOMPARE(desktop.starts[0].program, QDir::toNativeSeparators(f.config->m_appDir + "MPlayer.exe"));
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
#ifdef _WIN32
    const QByteArray odd = "a b 'c' it's;$(x) &.wav"; // a double quote is no part of a name there
#else
    const QByteArray odd = "a b \"c\" it's;$(x) &.wav";
#endif
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
    QCOMPARE(f.actions->DeleteRecord(f.model.KeyOf(row)), RecordActions::DeleteResult::Deleted);
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
    QCOMPARE(f.actions->DeleteRecord(f.call(2)), RecordActions::DeleteResult::Cancelled);
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
    QCOMPARE(f.actions->DeleteRecord(f.call(11)), RecordActions::DeleteResult::Deleted); // "DEL"
    QCOMPARE(f.actions->DeleteRecord(f.call(12)), RecordActions::DeleteResult::Deleted); // no name
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
    QCOMPARE(f.actions->DeleteRecord(f.call(42)), RecordActions::DeleteResult::DeletedFileKept);
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
#ifdef _WIN32
    QSKIP("needs a symbolic link; QFile::link makes a shortcut on Windows");
#endif
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.filePath("precious.wav"), "keep"));
    const QByteArray second = "20091201093713_4_0123456.wav";
    const QByteArray third = "20091202092128_4_110.wav";
    const QByteArray fourth = "20091202140351_2_4008208820.wav";
    // An absolute name: short enough to take the place of id 4's, outside any backup.
    const QByteArray absolute =
        QByteArray("/tmp/orvik-" + QByteArray::number(QCoreApplication::applicationPid()) + ".wav")
            .leftJustified(fourth.size(), '_');
    QCOMPARE(absolute.size(), fourth.size());
    QVERIFY(TestFiles::write(QString::fromUtf8(absolute), "keep as well"));
    const auto removeAbsolute = qScopeGuard([&] { QFile::remove(QString::fromUtf8(absolute)); });
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes, Desktop::Answer::Yes, Desktop::Answer::Yes};
    Fixture f(0, [&](Fixture &self) {
        // id 2 climbs out of the folder with "..", id 3 is a link that points outside, id 4
        // is an absolute name.
        Fixture::renameRecording(self.backup + "dbR.mdb", second, "../../precious.wav");
        QFile::remove(self.voice + third);
        QFile::link(outside.filePath("precious.wav"), self.voice + third);
        Fixture::renameRecording(self.backup + "dbR.mdb", fourth, absolute);
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
    QCOMPARE(f.actions->DeleteRecord(f.call(2)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(f.actions->DeleteRecord(f.call(3)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(f.actions->LastRemoval(), RecordActions::Removal::Outside);
    // However its name is written, a recording outside is named as one: the absolute name
    // does not even lie where the list shows it.
    const QString absoluteShown = f.file(4);
    QVERIFY2(absoluteShown.endsWith("voice/" + QString::fromUtf8(absolute)), qPrintable(absoluteShown));
    QCOMPARE(f.actions->DeleteRecord(f.call(4)), RecordActions::DeleteResult::DeletedFileKept);
    QCOMPARE(desktop.messages.size(), 6);
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtRecordingKept, climbing));
    QCOMPARE(desktop.messages[3].text, formatted(Ids::TxtRecordingKept, linked));
    QCOMPARE(desktop.messages[5].text, formatted(Ids::TxtRecordingKept, absoluteShown));
    QCOMPARE(f.actions->LastRemoval(), RecordActions::Removal::Outside);
    QCOMPARE(TestFiles::read(QString::fromUtf8(absolute)), QByteArray("keep as well"));
    // The records went; everything outside the voice folder stayed.
    QCOMPARE(f.recordsWithId(2), 0);
    QCOMPARE(f.recordsWithId(3), 0);
    QCOMPARE(TestFiles::read(QFileInfo(climbing).canonicalFilePath()), QByteArray("keep too"));
    QCOMPARE(TestFiles::read(outside.filePath("precious.wav")), QByteArray("keep"));
    QCOMPARE(f.problems(), QStringList());

    // A voice folder that is itself a link to a folder elsewhere is not the backup's own:
    // its recordings are measured and played (playing only reads), never deleted, and the
    // delete says so in one message.
    desktop.answers = {Desktop::Answer::Yes};
    desktop.messages.clear();
    desktop.openedFiles.clear();
    const QString elsewhere = outside.filePath("voice");
    Fixture g(1, [&](Fixture &self) {
        QVERIFY(QDir().rename(self.voice, elsewhere));
        QVERIFY(QFile::link(elsewhere, self.backup + "voice"));
    });
    const QString name = QFileInfo(g.file(1)).fileName();
    QVERIFY(!g.model.CellText(g.row(1), ResultListModel::CellSize).isEmpty());
    QCOMPARE(g.model.Recordings().Check(g.file(1)), RecordingFolder::Verdict::Playable);
    g.actions->PlayRecording(g.file(1));
    QVERIFY(desktop.messages.isEmpty());
    QCOMPARE(desktop.openedFiles, QStringList{g.file(1)});
    const QString linkedFile = g.file(1);
    QCOMPARE(g.actions->DeleteRecord(g.call(1)), RecordActions::DeleteResult::DeletedFileKept);
    QVERIFY(QFileInfo::exists(elsewhere + "/" + name));
    QCOMPARE(desktop.messages.size(), 2); // the question, then why the file stays
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtRecordingKept, linkedFile));
}

void TestRecordActions::refusedDeleteKeepsEverything()
{
    // A database another Jet program holds (its lock file named the Windows way) refuses
    // the delete: nothing changes.
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes};
    Fixture f;
    QVERIFY(TestFiles::write(f.backup + "DBR.Ldb", ""));
    QFile held(f.backup + "DBR.Ldb"); // open, as the program holding the database keeps it
    QVERIFY(held.open(QIODevice::ReadWrite));
    const QString file = f.file(2);
    QCOMPARE(f.actions->DeleteRecord(f.call(2)), RecordActions::DeleteResult::Failed);
    QCOMPARE(desktop.messages.size(), 2);
    QCOMPARE(desktop.messages[1].text, QStringLiteral("Fail!"));
    QCOMPARE(desktop.messages[1].caption, GetDialogText(Ids::TxtDeleteCaption));
    QCOMPARE(desktop.messages[1].icon, Desktop::Icon::Error);
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(f.row(2) >= 0);
    QCOMPARE(f.recordsWithId(2), 1);

    // A backup on a read-only disk: listing, sizes and playback work; a delete is refused
    // before anything is asked or tried.
    desktop.messages.clear();
    QTemporaryDir dir;
    ReadOnlyFolder disk(dir.filePath("disk"));
    if (!disk.usable())
        QSKIP(ReadOnlyFolder::whyNot());
    Fixture g(1, [&](Fixture &self) {
        QVERIFY(TestFiles::copyTree(self.backup, disk.path() + "/2009-12"));
        self.backup = disk.path() + "/2009-12/";
        QVERIFY(disk.seal());
    });
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, GetDialogText(Ids::TxtOpenedReadOnly));
    QCOMPARE(g.model.RowCount(), 60);
    QVERIFY(!g.model.CellText(g.row(2), ResultListModel::CellSize).isEmpty());
    g.actions->PlayRecording(g.file(2));
    QCOMPARE(desktop.openedFiles, QStringList{g.file(2)});
    const QByteArray before = TestFiles::read(g.backup + "dbR.mdb");
    QCOMPARE(g.actions->DeleteRecord(g.call(2)), RecordActions::DeleteResult::ReadOnly);
    QCOMPARE(desktop.messages.size(), 2); // no question, the reason only
    QCOMPARE(desktop.messages[1].text, formatted(Ids::TxtBackupReadOnly, g.backup));
    QCOMPARE(desktop.messages[1].caption, GetDialogText(Ids::TxtDeleteCaption));
    QVERIFY(QFileInfo::exists(g.file(2)));
    QCOMPARE(g.model.RowCount(), 60);
    QCOMPARE(TestFiles::read(g.backup + "dbR.mdb"), before);

    // A writable database whose voice folder cannot be written: the folder is named, not
    // the backup, and nothing is asked or deleted.
    desktop.messages.clear();
    std::unique_ptr<ReadOnlyFolder> voiceDisk;
    Fixture h(1, [&](Fixture &self) {
        const QString aside = self.backup + "voice-aside/";
        QVERIFY(QDir().rename(self.voice, aside));
        voiceDisk = std::make_unique<ReadOnlyFolder>(self.backup + "voice");
        QVERIFY(TestFiles::copyTree(aside, self.voice));
        QVERIFY(voiceDisk->seal());
    });
    if (!voiceDisk->usable())
        QSKIP(ReadOnlyFolder::whyNot());
    QVERIFY(desktop.messages.isEmpty()); // the database opened for writing
    const QString kept = h.file(2);
    const QByteArray beforeVoice = TestFiles::read(h.backup + "dbR.mdb");
    QCOMPARE(h.actions->DeleteRecord(h.call(2)), RecordActions::DeleteResult::ReadOnly);
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text,
             formatted(Ids::TxtVoiceReadOnly, QDir::toNativeSeparators(QFileInfo(kept).absolutePath())));
    QVERIFY(QFileInfo::exists(kept));
    QCOMPARE(TestFiles::read(h.backup + "dbR.mdb"), beforeVoice);
    voiceDisk.reset(); // unmounted before the backup's folder goes
}

void TestRecordActions::namesAsWindowsWritesThem()
{
    // A backup as Windows writes it: upper-case file names, recordings whose names differ
    // from the files in case, and folders separated by "\".
#ifdef _WIN32
    QSKIP("names that differ only in letter case are one name on Windows, whose file system matches them itself");
#endif
    const QByteArray first = "20091201000000_2_110.wav";
    const QByteArray second = "20091201093713_4_0123456.wav";
    const QByteArray third = "20091202092128_4_110.wav";
    const QByteArray fourth = "20091202140351_2_4008208820.wav";
    const QByteArray fifth = "20091202175043_1_4008208820.wav";
    const QByteArray escaping = QByteArray("..\\..\\outside.wav").leftJustified(fifth.size(), '_');
    ScriptedDesktop desktop;
    desktop.answers = {Desktop::Answer::Yes, Desktop::Answer::Yes};
    Fixture f(1, [&](Fixture &self) {
        const QString voice = self.backup + "VOICE/";
        QVERIFY(QDir().rename(self.backup + "voice", voice));
        QVERIFY(QFile::rename(self.backup + "config.ini", self.backup + "CONFIG.INI"));
        QVERIFY(QFile::rename(self.backup + "dbR.mdb", self.backup + "DBR.MDB"));
        const QString database = self.backup + "DBR.MDB";
        // 1: in a subfolder, written with "\" and in another case than on disk.
        Fixture::renameRecording(database, first, "Sub\\" + first.mid(4));
        QVERIFY(QDir().mkpath(voice + "sub"));
        QVERIFY(QFile::rename(voice + first, voice + "sub/" + first.mid(4)));
        // 2: only the extension's case differs.
        QVERIFY(QFile::rename(voice + second, voice + QString(second).replace(".wav", ".WAV")));
        // 3: two files match without case, neither exactly: none is taken.
        QVERIFY(QFile::rename(voice + third, voice + QString(third).replace(".wav", ".WAV")));
        QVERIFY(TestFiles::write(voice + QString(third).replace(".wav", ".Wav"), "other"));
        // 4: the exact name wins over a twin in another case.
        QVERIFY(TestFiles::write(voice + QString(fourth).replace(".wav", ".WAV"), "twin"));
        // 5: "..\..\" climbs out of the folder, to a file that exists there.
        Fixture::renameRecording(database, fifth, escaping);
        QVERIFY(TestFiles::write(self.dir.filePath(escaping.mid(6)), "outside"));
    });
    const QString voice = f.backup + "VOICE/";

    // The catalogue lists the backup with the dates of its CONFIG.INI.
    CBackupArray backups(*f.config);
    backups.AddDirectory(f.dir.path());
    QCOMPARE(backups.GetCount(), 1);
    QCOMPARE(backups.GetAt(0)->m_path, f.backup);
    QCOMPARE(backups.GetAt(0)->m_dtStart, QStringLiteral("2009-12-01 00:00:00"));
    QCOMPARE(CBackupArray::DatabaseOf(f.backup), f.backup + "DBR.MDB");

    // The query opened DBR.MDB; cells 6 and 8 show the files as they are on disk.
    QCOMPARE(f.model.RowCount(), 60);
    const auto size = [&](int id) { return f.model.CellText(f.row(id), ResultListModel::CellSize); };
    QCOMPARE(f.file(1), voice + "sub/" + first.mid(4));
    QCOMPARE(f.file(2), voice + QString(second).replace(".wav", ".WAV"));
    QCOMPARE(f.file(3), voice + third);
    QCOMPARE(f.file(4), voice + fourth);
    QVERIFY(!size(1).isEmpty() && !size(2).isEmpty());
    QVERIFY(size(3).isEmpty());
    QVERIFY(!size(4).isEmpty());
    QCOMPARE(f.file(5), voice + "../../" + escaping.mid(6));
    QVERIFY(size(5).isEmpty());

    // Playback gets the file on disk; the climbing name is refused.
    f.actions->PlayRecording(f.file(2));
    f.actions->PlayRecording(f.file(5));
    QCOMPARE(desktop.openedFiles, QStringList{f.file(2)});
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages[0].text, formatted(Ids::TxtRecordingOutside, f.file(5)));

    // Deleting removes the record and the file on disk, in the subfolder too.
    const QString secondFile = f.file(2);
    const QString firstFile = f.file(1);
    QCOMPARE(f.actions->DeleteRecord(f.call(2)), RecordActions::DeleteResult::Deleted);
    QCOMPARE(f.actions->DeleteRecord(f.call(1)), RecordActions::DeleteResult::Deleted);
    QVERIFY(!QFileInfo::exists(secondFile) && !QFileInfo::exists(firstFile));
    QCOMPARE(f.recordsWithId(2), 0);
    QCOMPARE(f.recordsWithId(1), 0);
    QCOMPARE(f.problems(), QStringList());
}

// A folder inside the voice folder swapped for a link to a folder outside the backup, and
// back, as fast as another process can, while records and their recordings are deleted:
// through the window's road (DeleteRecord) and the plain removal a task calls. Whatever
// moment the swap hits, nothing outside the backup is touched.
void TestRecordActions::folderSwappedForALinkDuringDeletes()
{
#ifdef _WIN32
    QSKIP("needs a symbolic link; QFile::link makes a shortcut on Windows");
#else
    QTemporaryDir outside;
    QStringList names; // the recordings as they lie in voice/sub/: first those of records
    ScriptedDesktop desktop;
    Fixture f(0, [&](Fixture &self) {
        QVERIFY(QDir().mkpath(self.voice + "sub"));
        const QByteArray database = TestFiles::read(self.backup + "dbR.mdb");
        for (const QString &file : QDir(self.voice).entryList(QDir::Files)) {
            if (!database.contains(file.toUtf8()))
                continue;
            // Same length in the database: "sub\" takes the place of the first four digits.
            const QString name = file.mid(4);
            Fixture::renameRecording(self.backup + "dbR.mdb", file.toUtf8(), "sub\\" + name.toUtf8());
            QVERIFY(QFile::rename(self.voice + file, self.voice + "sub/" + name));
            names << name;
        }
    });
    const qsizetype ofRecords = names.size();
    QVERIFY(ofRecords > 40);
    // More recordings, removed through the plain removal alone.
    for (int i = 0; names.size() < 100; ++i) {
        const QString name = QStringLiteral("extra-%1.wav").arg(i);
        QVERIFY(TestFiles::write(f.voice + "sub/" + name, "inside"));
        names << name;
    }
    // A decoy outside for every name, where the link leads.
    for (const QString &name : std::as_const(names))
        QVERIFY(TestFiles::write(outside.filePath(name), "outside: keep " + name.toUtf8()));

    const QByteArray sub = QFile::encodeName(f.voice + "sub");
    const QByteArray real = QFile::encodeName(f.voice + "sub.real");
    const QByteArray target = QFile::encodeName(outside.path());
    std::atomic<bool> stop{false};
    std::atomic<int> swaps{0};
    // The folder stays a folder and a link in turn, each for up to 15 µs.
    std::thread swapper([&] {
        quint32 seed = 1;
        const auto pause = [&] {
            seed = seed * 1664525u + 1013904223u;
            std::this_thread::sleep_for(std::chrono::microseconds(seed >> 28));
        };
        while (!stop) {
            pause();
            if (::rename(sub.constData(), real.constData()) != 0)
                continue;
            if (::symlink(target.constData(), sub.constData()) == 0) {
                pause();
                ::unlink(sub.constData());
            }
            ::rename(real.constData(), sub.constData());
            ++swaps;
        }
    });
    // Stopped however the test ends, so that no failure leaves the thread running.
    auto joined = qScopeGuard([&] {
        stop = true;
        swapper.join();
    });

    // Through the window's road: a delete is done, or refused at once when the folder is
    // away at the moment it is asked whether it can be written.
    int deletes = 0;
    for (int r = f.model.RowCount() - 1; r >= 0; --r) {
        if (!f.model.CellText(r, ResultListModel::CellFile).contains("/sub/"))
            continue;
        desktop.answers = {Desktop::Answer::Yes};
        const auto result = f.actions->DeleteRecord(f.model.KeyOf(r));
        QVERIFY(result != RecordActions::DeleteResult::Failed && result != RecordActions::DeleteResult::Cancelled);
        ++deletes;
    }
    QCOMPARE(deletes, int(ofRecords));
    std::vector<RecordActions::Removal> outcomes;
    for (qsizetype i = ofRecords; i < names.size(); ++i)
        outcomes.push_back(RecordActions::RemoveRecording(f.model.Recordings(), f.voice + "sub/" + names[i]));
    stop = true;
    joined.dismiss();
    swapper.join();
    QVERIFY(QFileInfo(f.voice + "sub").isDir() && !QFileInfo(f.voice + "sub").isSymLink());

    // Nothing outside was touched, while the deletes went on inside.
    QCOMPARE(deletes + int(outcomes.size()), 100);
    QVERIFY2(swaps > 0, "the folder was never swapped");
    for (const QString &name : std::as_const(names))
        QCOMPARE(TestFiles::read(outside.filePath(name)), "outside: keep " + name.toUtf8());
    int removed = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const bool gone = !QFileInfo::exists(f.voice + "sub/" + names[i]);
        removed += gone;
        if (i >= ofRecords)
            QCOMPARE(gone, outcomes[size_t(i - ofRecords)] == RecordActions::Removal::Removed);
    }
    QVERIFY2(removed > 0, "no recording was deleted at all");
    QCOMPARE(f.problems(), QStringList());
#endif
}

QTEST_GUILESS_MAIN(TestRecordActions)
#include "tst_recordactions.moc"

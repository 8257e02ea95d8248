// The three shipped language files: every text the program asks for is there, the format
// texts fit their callers, and every built-in menu item is retitled.
#include "TestPaths.h"
#include "app/BuiltInMenus.h"
#include "app/MenuRetitler.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <memory>

namespace {

// The ids of one enum of Ids.h, read from the header itself so that a constant added there
// is checked without touching this test. A ...First / ...Last pair stands for its range.
QList<int> IdsOf(const QString &enumName)
{
    QFile header(QStringLiteral(ORVIK_LANGUAGE_DIR "/../src/lang/Ids.h"));
    if (!header.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(header.readAll());
    const qsizetype start = text.indexOf(QStringLiteral("enum ") + enumName + u' ');
    const QString body = text.mid(start, text.indexOf(QStringLiteral("};"), start) - start);
    QMap<QString, int> values;
    static const QRegularExpression constant(QStringLiteral("(\\w+)\\s*=\\s*(-?\\d+)"));
    for (const QRegularExpressionMatch &match : constant.globalMatch(body))
        values.insert(match.captured(1), match.captured(2).toInt());
    QList<int> ids;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key().endsWith(QStringLiteral("Last")))
            continue;
        const int last = it.key().endsWith(QStringLiteral("First"))
                             ? values.value(it.key().chopped(5) + QStringLiteral("Last"), it.value())
                             : it.value();
        for (int id = it.value(); id <= last; ++id)
            ids << id;
    }
    return ids;
}

QList<QAction *> Commands(const QWidget *menu)
{
    QList<QAction *> commands;
    for (QAction *action : menu->findChildren<QAction *>())
        if (action->data().isValid())
            commands << action;
    return commands;
}

} // namespace

class LanguageFilesTest : public QObject
{
    Q_OBJECT

    // The source tree stands in for the program directory: its language/ holds the files.
    const QString m_programDir = QStringLiteral(ORVIK_LANGUAGE_DIR "/..");

    std::unique_ptr<CLanguage> Load()
    {
        QFETCH_GLOBAL(QString, file);
        auto lang = std::make_unique<CLanguage>(m_programDir);
        if (lang->Load(QStringLiteral("language/") + file) != 0)
            return nullptr;
        return lang;
    }

    // Retitles menu and checks that every entry and
    // command got a non-empty text with its own mnemonic.
    template <typename Menu, typename Translate>
    void CheckRetitled(Menu *menu, Translate translate)
    {
        const QList<QAction *> commands = Commands(menu);
        QStringList before;
        for (const QAction *action : commands)
            before << action->text();
        MenuRetitler retitler(menu);
        QCOMPARE(translate(retitler), 0);
        QSet<int> mnemonics;
        for (qsizetype i = 0; i < commands.size(); ++i) {
            const QString text = commands[i]->text();
            QVERIFY2(text != before[i] && !text.trimmed().isEmpty(), qPrintable(before[i]));
            const QKeySequence mnemonic = QKeySequence::mnemonic(text);
            QVERIFY2(!mnemonic.isEmpty(), qPrintable(text));
            QVERIFY2(!mnemonics.contains(mnemonic[0].toCombined()), qPrintable(text));
            mnemonics.insert(mnemonic[0].toCombined());
        }
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *name : {"Menu_Chinese.xml", "Menu_English.xml", "Menu_Turkish.xml"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void providesEveryText()
    {
        const std::unique_ptr<CLanguage> lang = Load();
        QVERIFY(lang);
        QCOMPARE(lang->m_codePage, 65001);
        const QList<int> textIds = IdsOf(QStringLiteral("Text"));
        const QList<int> columnIds = IdsOf(QStringLiteral("Column"));
        QVERIFY(textIds.contains(Ids::TxtAllCalls) && textIds.contains(Ids::TxtExportHeaderLast - 1)
                && textIds.contains(Ids::TxtOpenedReadOnly));
        QVERIFY(columnIds.contains(Ids::ColResultFirst + 1) && columnIds.contains(Ids::ColBackupLast));
        // The texts that receive the recording path (or, for 198, two numbers) through a
        // printf-style format, and those filled with QString::arg (%1, %2, ...); no other
        // text may hold a "%".
        const QMap<int, int> formats = {{Ids::TxtEmptyRecordingPath, 1}, {Ids::TxtRecordingDeleted, 1},
                                        {Ids::TxtRecordingOutside, 1},   {Ids::TxtRecordingKept, 1},
                                        {Ids::TxtDatabaseDamaged, 2},    {Ids::TxtBackupReadOnly, 1},
                                        {Ids::TxtVoiceReadOnly, 1}};
        QVERIFY(textIds.contains(Ids::TxtDatabaseDamaged) && textIds.contains(Ids::TxtBackupReadOnly));
        const QMap<int, QStringList> arguments = {{Ids::TxtPlayerMissing, {"%1"}},
                                                  {Ids::TxtPlayerUndecodable, {"%1"}},
                                                  {Ids::TxtListStatus, {"%1", "%2", "%3"}},
                                                  {Ids::TxtSearchProgress, {"%1", "%2"}},
                                                  {Ids::TxtDetailsFailed, {"%1"}},
                                                  {Ids::TxtSaveFailed, {"%1", "%2"}},
                                                  {Ids::TxtSaved, {"%1"}},
                                                  {Ids::TxtAboutCaption, {"%1"}},
                                                  {Ids::TxtStatsNarrowed, {"%1"}}};
        for (int id : textIds) {
            const QString text = lang->DialogText(id);
            QVERIFY2(!text.trimmed().isEmpty() && !text.contains(QChar::ReplacementCharacter),
                     qPrintable(QString::number(id)));
            const QStringList places = arguments.value(id);
            QCOMPARE(text.count(u'%'), formats.value(id) + places.size());
            QCOMPARE(text.count(QStringLiteral("%s")), formats.value(id));
            for (const QString &place : places)
                QVERIFY2(text.count(place) == 1, qPrintable(text));
        }
        // The Chinese caption is the built-in one that a second start looks for.
        QFETCH_GLOBAL(QString, file);
        if (file == QStringLiteral("Menu_Chinese.xml"))
            QCOMPARE(lang->DialogText(Ids::TxtMainCaption), QStringLiteral("备份录音查询"));
        for (int id : columnIds) {
            const QString text = lang->ColumnText(id);
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(QString::number(id)));
        }
    }

    void retitlesEveryBuiltInMenuItem()
    {
        const std::unique_ptr<CLanguage> lang = Load();
        QVERIFY(lang);
        std::unique_ptr<QMenuBar> bar(CreateMainMenuBar());
        const QString entry = bar->actions().at(0)->text();
        CheckRetitled(bar.get(), [&](MenuRetitler &r) { return lang->TranslateMenu(r, "Orvik_Menu"); });
        QVERIFY(bar->actions().at(0)->text() != entry);
        QVERIFY(!QKeySequence::mnemonic(bar->actions().at(0)->text()).isEmpty());

        std::unique_ptr<QMenu> backups(CreateBackupListPopup());
        CheckRetitled(backups.get(),
                      [&](MenuRetitler &r) { return lang->TranslatePopupMenu(r, "Orvik_Menu", "PopMenus0"); });
        std::unique_ptr<QMenu> records(CreateRecordListPopup(nullptr, true));
        CheckRetitled(records.get(),
                      [&](MenuRetitler &r) { return lang->TranslatePopupMenu(r, "Orvik_Menu", "PopMenus1"); });
    }

    void copiedBesideTheExecutables()
    {
        QFETCH_GLOBAL(QString, file);
        QFile source(QStringLiteral(ORVIK_LANGUAGE_DIR "/") + file);
        QFile copy(QStringLiteral(ORVIK_BIN_DIR "/language/") + file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
        QCOMPARE(copy.readAll(), source.readAll());
    }
};

QTEST_MAIN(LanguageFilesTest)
#include "tst_languagefiles.moc"

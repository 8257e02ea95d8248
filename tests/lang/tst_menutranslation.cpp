// Retitling real Qt menus from a language file.
#include "app/BuiltInMenus.h"
#include "app/MenuRetitler.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// One line per action, depth-first: nesting, kind, id, objectName and text.
QStringList Describe(const QList<QAction *> &actions, int depth = 0)
{
    QStringList lines;
    for (const QAction *action : actions) {
        lines << QStringLiteral("%1%2 %3 %4 [%5]")
                     .arg(QString(depth * 2, u' '), action->isSeparator() ? "sep" : "act", action->data().toString(),
                          action->objectName(), action->text());
        if (const QMenu *menu = action->menu())
            lines << Describe(menu->actions(), depth + 1);
    }
    return lines;
}

// The same without the texts: what retitling must never change.
QStringList Structure(const QList<QAction *> &actions)
{
    QStringList lines = Describe(actions);
    for (QString &line : lines)
        line.truncate(line.indexOf(u'['));
    return lines;
}

QStringList Texts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QString &line : Describe(actions))
        texts << line.mid(line.indexOf(u'[') + 1).chopped(1);
    return texts;
}

} // namespace

class MenuTranslationTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_programDir = m_dir.path();
    std::unique_ptr<CLanguage> m_lang;

    // Loads a language file whose Orvik_Menu/Main element holds mainBody.
    void LoadMain(const QByteArray &mainBody,
                  const QByteArray &declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>")
    {
        QFile file(m_dir.filePath("menu.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(declaration + "<Talvenor><Native-Langue><Orvik_Menu><Main>" + mainBody
                   + "</Main></Orvik_Menu></Native-Langue></Talvenor>");
        file.close();
        m_lang = std::make_unique<CLanguage>(m_programDir);
        QCOMPARE(m_lang->LoadFile(file.fileName()), 0);
    }

    int TranslateBar(QMenuBar &bar)
    {
        MenuRetitler retitler(&bar);
        return m_lang->TranslateMenu(retitler, "Orvik_Menu");
    }

    int TranslatePopup(QMenu &popup, const char *list)
    {
        MenuRetitler retitler(&popup);
        return m_lang->TranslatePopupMenu(retitler, "Orvik_Menu", list);
    }

private slots:
    void menuBarEntriesAndCommands()
    {
        LoadMain(R"x(<Entries><Item id="0" name="Ops (&amp;P)"/></Entries>
                     <Commands><Item id="32772" name="Quit"/><Item id="32771" name="&amp;Add…"/>
                               <Item id="99999" name="no such command"/><Item name="no id"/></Commands>)x");
        std::unique_ptr<QMenuBar> bar(CreateMainMenuBar());
        const QStringList structure = Structure(bar->actions());
        QCOMPARE(TranslateBar(*bar), 0);
        QCOMPARE(Structure(bar->actions()), structure);
        QCOMPARE(Texts(bar->actions()), QStringList({"Ops (&P)", "&Add…", "Search All Backups (&S)", "", "Quit"}));
        QCOMPARE(bar->findChild<QMenu *>("OperationMenu")->title(), QStringLiteral("Ops (&P)"));
        QCOMPARE(QKeySequence::mnemonic(bar->actions().at(0)->text()), QKeySequence(Qt::ALT | Qt::Key_P));
    }

    void entriesWithoutCommands()
    {
        LoadMain(R"(<Entries><Item id="0" name="first"/><Item id="0" name="İşlem"/><Item id="5" name="none"/>
                             <Item id="-1" name="none"/></Entries>)");
        std::unique_ptr<QMenuBar> bar(CreateMainMenuBar());
        QCOMPARE(TranslateBar(*bar), 0);
        // The later Item for an entry wins; positions the bar does not have change nothing.
        QCOMPARE(Texts(bar->actions()),
                 QStringList({"İşlem", "Add Directory (&A)", "Search All Backups (&S)", "", "Exit (&X)"}));
    }

    void incompletePathsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("mainBody");
        QTest::newRow("commands without entries")
            << QByteArray(R"(<Commands><Item id="32772" name="Quit"/></Commands>)");
        QTest::newRow("popup lists only") << QByteArray(R"(<PopMenus0><Item id="32772" name="Quit"/></PopMenus0>)");
    }
    void incompletePathsChangeNothing()
    {
        QFETCH(QByteArray, mainBody);
        LoadMain(mainBody);
        std::unique_ptr<QMenuBar> bar(CreateMainMenuBar());
        const QStringList before = Describe(bar->actions());
        QCOMPARE(TranslateBar(*bar), -1);
        QCOMPARE(Describe(bar->actions()), before);

        MenuRetitler retitler(bar.get());
        QCOMPARE(m_lang->TranslateMenu(retitler, "Other_Menu"), -1);
        CLanguage empty(m_programDir);
        QCOMPARE(empty.TranslateMenu(retitler, "Orvik_Menu"), -1);
        QCOMPARE(empty.TranslatePopupMenu(retitler, "Orvik_Menu", "PopMenus0"), -1);
        QCOMPARE(Describe(bar->actions()), before);
    }

    void popupListsBelongToTheirPopups()
    {
        LoadMain(
            R"(<PopMenus1><Item id="32778" name="Remove record"/><Item id="32773" name="&amp;Listen"/></PopMenus1>)");
        std::unique_ptr<QMenu> backups(CreateBackupListPopup());
        std::unique_ptr<QMenu> records(CreateRecordListPopup());
        const QStringList backupTexts = Texts(backups->actions());
        const QStringList structure = Structure(records->actions());

        QCOMPARE(TranslatePopup(*backups, "PopMenus0"), -1);
        QCOMPARE(Texts(backups->actions()), backupTexts);
        QCOMPARE(TranslatePopup(*records, "PopMenus1"), 0);
        QCOMPARE(Texts(records->actions()), QStringList({"&Listen", "", "Remove record"}));
        QCOMPARE(Structure(records->actions()), structure);
        QCOMPARE(records->findChild<QAction *>("CmdDelete")->data().toInt(), int(Ids::CmdDelete));

        // Translating twice, or a fresh copy, gives the same menu.
        QCOMPARE(TranslatePopup(*records, "PopMenus1"), 0);
        std::unique_ptr<QMenu> again(CreateRecordListPopup());
        QCOMPARE(Texts(again->actions()), QStringList({"Play record", "", "Delete record"}));
        QCOMPARE(TranslatePopup(*again, "PopMenus1"), 0);
        QCOMPARE(Describe(again->actions()), Describe(records->actions()));
    }

    void itemsWithoutNameOrInALegacyCodePage()
    {
        LoadMain("<PopMenus0><Item id=\"32774\"/><Item id=\"32778\" name=\"Yede\xf0i &amp;Sil\"/></PopMenus0>",
                 "<?xml version=\"1.0\" encoding=\"windows-1254\"?>");
        std::unique_ptr<QMenu> backups(CreateBackupListPopup());
        QCOMPARE(TranslatePopup(*backups, "PopMenus0"), 0);
        QCOMPARE(Texts(backups->actions()), QStringList({"Yedeği &Sil", "", ""}));
    }

    void retitlerFindsCommandsAnywhere()
    {
        QMenuBar bar;
        QMenu *top = bar.addMenu("top");
        QMenu *middle = top->addMenu("middle");
        QAction *deep = middle->addAction("deep");
        deep->setData(40000);
        QAction *twin = bar.addMenu("second")->addAction("twin");
        twin->setData(40000);
        QAction *plain = top->addAction("no id");
        top->addSeparator();

        MenuRetitler retitler(&bar);
        QVERIFY(retitler.SetCommandText(40000, "found"));
        QCOMPARE(deep->text(), QStringLiteral("found")); // the first in menu order
        QCOMPARE(twin->text(), QStringLiteral("twin"));
        QVERIFY(!retitler.SetCommandText(0, "zero")); // neither separators nor id-less actions
        QCOMPARE(plain->text(), QStringLiteral("no id"));
        QCOMPARE(top->title(), QStringLiteral("top"));
        QVERIFY(retitler.SetEntryText(1, "Second"));
        QVERIFY(!retitler.SetEntryText(2, "beyond"));

        MenuRetitler popupRetitler(top);
        QVERIFY(!popupRetitler.SetEntryText(2, "separator")); // position 2 is the separator
        QVERIFY(top->actions().at(2)->isSeparator());
        QVERIFY(popupRetitler.SetEntryText(1, "plain"));
        QCOMPARE(plain->text(), QStringLiteral("plain"));
    }
};

QTEST_MAIN(MenuTranslationTest)
#include "tst_menutranslation.moc"

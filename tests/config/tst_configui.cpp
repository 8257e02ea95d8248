// The window-facing settings: the UI font reaches every widget of a real window tree, and
// the folder picker asks the desktop with the right title.
#include "config/Config.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include "TestPaths.h"
#include "common/ScriptedDesktop.h"

#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

class TestConfigUi : public QObject
{
    Q_OBJECT

private slots:
    void fontReachesEveryDescendant();
    void folderPicker();
};

void TestConfigUi::fontReachesEveryDescendant()
{
    QTemporaryDir dir;
    CConfig config(dir.path());
    QDialog window;
    auto *layout = new QVBoxLayout(&window);
    auto *group = new QGroupBox(&window);
    layout->addWidget(group);
    auto *inner = new QVBoxLayout(group);
    auto *label = new QLabel(QStringLiteral("x"), group);
    auto *edit = new QLineEdit(group);
    inner->addWidget(label);
    inner->addWidget(edit);

    QFont odd(QStringLiteral("Serif"), 31);
    for (QWidget *w : {static_cast<QWidget *>(group), static_cast<QWidget *>(label), static_cast<QWidget *>(edit)})
        w->setFont(odd);

    // Without a font nothing changes.
    config.ApplyFontToChildren(&window);
    QCOMPARE(edit->font().pointSize(), 31);

    config.CreateUiFont();
    QVERIFY(config.m_font.isValid());
    const QFont ui = config.m_font.value<QFont>();
    QCOMPARE(ui, QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    config.ApplyFontToChildren(&window);
    for (QWidget *w : {static_cast<QWidget *>(group), static_cast<QWidget *>(label), static_cast<QWidget *>(edit)})
        QCOMPARE(w->font(), ui); // grandchildren too
    config.ApplyFontToChildren(nullptr);

    config.DeleteUiFont();
    QVERIFY(!config.m_font.isValid());
}

void TestConfigUi::folderPicker()
{
    QVERIFY(g_language.LoadFile(QStringLiteral(ORVIK_LANGUAGE_DIR "/Menu_English.xml")) == 0);
    ScriptedDesktop desktop;
    desktop.folders = {QStringLiteral("/srv/backups")};
    QTemporaryDir dir;
    const CConfig config(dir.path());
    QDialog window;
    QCOMPARE(config.BrowseForFolder(&window, QString(), QStringLiteral("ignored")), QStringLiteral("/srv/backups"));
    QCOMPARE(config.BrowseForFolder(&window, QStringLiteral("Pick one"), QString()), QString()); // cancelled
    QCOMPARE(desktop.folderTitles, (QStringList{GetDialogText(Ids::TxtFolderPickerTitle), "Pick one"}));
    QVERIFY(!desktop.folderTitles.first().isEmpty());
}

QTEST_MAIN(TestConfigUi)
#include "tst_configui.moc"

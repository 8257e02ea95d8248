#include "app/BuiltInMenus.h"

#include "app/MenuRetitler.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <memory>

namespace {

void AddCommand(QMenu *menu, int commandId, const QString &text, const char *objectName)
{
    QAction *action = menu->addAction(text);
    action->setData(commandId);
    action->setObjectName(QLatin1String(objectName));
}

} // namespace

QMenuBar *CreateMainMenuBar(QWidget *parent)
{
    auto *bar = new QMenuBar(parent);
    bar->setObjectName(QStringLiteral("MainMenuBar"));
    QMenu *operation = bar->addMenu(QStringLiteral("Operation (&O)"));
    operation->setObjectName(QStringLiteral("OperationMenu"));
    AddCommand(operation, Ids::CmdAddDirectory, QStringLiteral("Add Directory (&A)"), "CmdAddDirectory");
    AddCommand(operation, Ids::CmdSearchAll, QStringLiteral("Search All Backups (&S)"), "CmdSearchAll");
    operation->addSeparator();
    AddCommand(operation, Ids::CmdExit, QStringLiteral("Exit (&X)"), "CmdExit");
    return bar;
}

QMenu *CreateBackupListPopup(QWidget *parent)
{
    auto *popup = new QMenu(parent);
    popup->setObjectName(QStringLiteral("BackupListPopup"));
    AddCommand(popup, Ids::CmdDelete, QStringLiteral("Delete Current Backup (&D)"), "CmdDelete");
    popup->addSeparator();
    AddCommand(popup, Ids::CmdQueryBackup, QStringLiteral("Query Current Backup (&S)"), "CmdQueryBackup");
    return popup;
}

QMenu *CreateRecordListPopup(QWidget *parent, bool withPlayHere)
{
    auto *popup = new QMenu(parent);
    popup->setObjectName(QStringLiteral("RecordListPopup"));
    AddCommand(popup, Ids::CmdPlayRecord, QStringLiteral("Play record"), "CmdPlayRecord");
    if (withPlayHere)
        AddCommand(popup, Ids::CmdPlayHere, QStringLiteral("Play here"), "CmdPlayHere");
    popup->addSeparator();
    AddCommand(popup, Ids::CmdDelete, QStringLiteral("Delete record"), "CmdDelete");
    return popup;
}

int ChooseFromRecordListPopup(QWidget *parent, const QPoint &globalPos, bool withPlayHere)
{
    std::unique_ptr<QMenu> popup(CreateRecordListPopup(parent, withPlayHere));
    MenuRetitler retitler(popup.get());
    g_language.TranslatePopupMenu(retitler, "Orvik_Menu", "PopMenus1");
    const QAction *chosen = popup->exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

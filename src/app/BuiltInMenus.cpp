#include "app/BuiltInMenus.h"

#include "lang/Ids.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

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
    bar->setObjectName(QStringLiteral("IDR_MAIN_MENU"));
    QMenu *operation = bar->addMenu(QStringLiteral("Operation (&O)"));
    operation->setObjectName(QStringLiteral("MENU_OPERATION"));
    AddCommand(operation, Ids::CmdAddDirectory, QStringLiteral("Add Directory (&A)"), "ID_ADD_DIRECTORY");
    operation->addSeparator();
    AddCommand(operation, Ids::CmdExit, QStringLiteral("Exit (&X)"), "ID_EXIT");
    return bar;
}

QMenu *CreateBackupListPopup(QWidget *parent)
{
    auto *popup = new QMenu(parent);
    popup->setObjectName(QStringLiteral("MENU_BACKUP_LIST"));
    AddCommand(popup, Ids::CmdDelete, QStringLiteral("Delete Current Backup (&D)"), "ID_DELETE");
    popup->addSeparator();
    AddCommand(popup, Ids::CmdQueryBackup, QStringLiteral("Query Current Backup (&S)"), "ID_QUERY_BACKUP");
    return popup;
}

QMenu *CreateRecordListPopup(QWidget *parent)
{
    auto *popup = new QMenu(parent);
    popup->setObjectName(QStringLiteral("MENU_RECORD_LIST"));
    AddCommand(popup, Ids::CmdPlayRecord, QStringLiteral("Play record"), "ID_PLAY_RECORD");
    popup->addSeparator();
    AddCommand(popup, Ids::CmdDelete, QStringLiteral("Delete record"), "ID_DELETE");
    return popup;
}

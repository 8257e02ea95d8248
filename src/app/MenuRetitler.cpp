#include "app/MenuRetitler.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

MenuRetitler::MenuRetitler(QMenuBar *menuBar) : m_menu(menuBar) {}

MenuRetitler::MenuRetitler(QMenu *menu) : m_menu(menu) {}

bool MenuRetitler::SetEntryText(int position, const QString &text)
{
    if (!m_menu)
        return false;
    const QList<QAction *> entries = m_menu->actions();
    if (position < 0 || position >= entries.size() || entries[position]->isSeparator())
        return false;
    entries[position]->setText(text);
    return true;
}

bool MenuRetitler::SetCommandText(int commandId, const QString &text)
{
    if (!m_menu)
        return false;
    QList<const QMenu *> visited;
    QAction *action = FindCommand(m_menu->actions(), commandId, visited);
    if (!action)
        return false;
    action->setText(text);
    return true;
}

QAction *MenuRetitler::FindCommand(const QList<QAction *> &actions, int commandId, QList<const QMenu *> &visited)
{
    for (QAction *action : actions) {
        if (action->isSeparator())
            continue;
        // Only actions that carry a command id are commands; a drop-down's own action and
        // a separator carry none, so they are never taken for command 0.
        bool isNumber = false;
        const int id = action->data().toInt(&isNumber);
        if (isNumber && id == commandId)
            return action;
        if (const QMenu *subMenu = action->menu(); subMenu && !visited.contains(subMenu)) {
            visited.append(subMenu); // a menu reachable twice is searched once
            if (QAction *found = FindCommand(subMenu->actions(), commandId, visited))
                return found;
        }
    }
    return nullptr;
}

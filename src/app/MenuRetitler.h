#pragma once

#include "lang/MenuTextTarget.h"

#include <QList>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// Retitles a real Qt menu for CLanguage::TranslateMenu / TranslatePopupMenu:
//
//   MenuRetitler retitler(menuBar);
//   g_language.TranslateMenu(retitler, "Orvik_Menu");
//
// Entries by position are the top-level actions of the bar (or of the popup). Commands are
// found by the id each QAction carries in data(), anywhere in the tree, sub-menus included;
// the first match in menu order is retitled. Only texts change: no action is added, removed
// or reordered, ids stay, and separators are never retitled. A text with "&" keeps its
// keyboard mnemonic, since Qt uses the same convention.
class MenuRetitler final : public MenuTextTarget
{
public:
    explicit MenuRetitler(QMenuBar *menuBar);
    explicit MenuRetitler(QMenu *menu);

    bool SetEntryText(int position, const QString &text) override;
    bool SetCommandText(int commandId, const QString &text) override;

private:
    static QAction *FindCommand(const QList<QAction *> &actions, int commandId, QList<const QMenu *> &visited);

    QWidget *m_menu;
};

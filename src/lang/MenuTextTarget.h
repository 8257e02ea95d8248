#pragma once

class QString;

// What CLanguage needs of a menu in order to retitle it. The core cannot see widgets, so
// the windows hand the language code an implementation of this over their real menus
// (app/MenuRetitler.h does it for QMenuBar and QMenu).
//
// Retitling only replaces texts: the menu's structure, its command ids and its separators
// stay as they are. Both operations report whether something was changed; a position or a
// command that does not exist changes nothing.
class MenuTextTarget
{
public:
    virtual ~MenuTextTarget() = default;

    // Sets the text of the top-level entry at position (counted from 0). The entry keeps its
    // drop-down.
    virtual bool SetEntryText(int position, const QString &text) = 0;

    // Sets the text of the command with this id, wherever it sits in the menu tree.
    virtual bool SetCommandText(int commandId, const QString &text) = 0;
};

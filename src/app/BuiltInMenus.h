#pragma once

class QMenu;
class QMenuBar;
class QPoint;
class QWidget;

// Fresh copies of the program's built-in English menus, the base that the language file
// retitles (see MenuRetitler). Every command QAction carries its command id (Ids::Command)
// in data() and is named after its constant (objectName "CmdExit", ...); separators carry
// no id. The caller owns the result (through parent when one is given).

// The main window's menu bar (objectName MainMenuBar):
//   "Operation (&O)"  (objectName OperationMenu)
//     32771 "Add Directory (&A)"   CmdAddDirectory
//     separator
//     32772 "Exit (&X)"            CmdExit
QMenuBar *CreateMainMenuBar(QWidget *parent = nullptr);

// The backup list's context menu (main window; BackupListPopup):
//   32778 "Delete Current Backup (&D)"   CmdDelete
//   separator
//   32774 "Query Current Backup (&S)"    CmdQueryBackup
QMenu *CreateBackupListPopup(QWidget *parent = nullptr);

// The record list's context menu (query window; RecordListPopup):
//   32773 "Play record"     CmdPlayRecord
//   32790 "Play here"       CmdPlayHere    (only `withPlayHere`: a window with a player pane)
//   separator
//   32778 "Delete record"   CmdDelete
QMenu *CreateRecordListPopup(QWidget *parent = nullptr, bool withPlayHere = false);
// Shows that menu at `globalPos`, translated afresh (PopMenus1), and returns the command
// chosen; 0 when the menu was dismissed.
int ChooseFromRecordListPopup(QWidget *parent, const QPoint &globalPos, bool withPlayHere = false);

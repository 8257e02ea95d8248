#pragma once

class QMenu;
class QMenuBar;
class QWidget;

// Fresh copies of the program's built-in English menus, the base that the language file
// retitles (see MenuRetitler). Every command QAction carries its command id (Ids::Command)
// in data() and has an objectName; separators carry no id. The caller owns the result
// (through parent when one is given).

// The main window's menu bar:
//   "Operation (&O)"  (objectName MENU_OPERATION)
//     32771 "Add Directory (&A)"   ID_ADD_DIRECTORY
//     separator
//     32772 "Exit (&X)"            ID_EXIT
QMenuBar *CreateMainMenuBar(QWidget *parent = nullptr);

// The backup list's context menu (main window):
//   32778 "Delete Current Backup (&D)"   ID_DELETE
//   separator
//   32774 "Query Current Backup (&S)"    ID_QUERY_BACKUP
QMenu *CreateBackupListPopup(QWidget *parent = nullptr);

// The record list's context menu (query window):
//   32773 "Play record"     ID_PLAY_RECORD
//   separator
//   32778 "Delete record"   ID_DELETE
QMenu *CreateRecordListPopup(QWidget *parent = nullptr);

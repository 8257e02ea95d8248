#pragma once

#include <QDialog>
#include <QIcon>

#include <memory>

struct BackupEntry;
class QMenuBar;
class QTableWidget;

namespace Ui {
class COrvikDlg;
}

// The main window: the list of backups (one row per catalogue entry, each row keeping a
// pointer to its entry) and its commands: Add Directory, Search All Backups, Exit, delete a backup, open the
// query window on a backup. Everything is set up by the constructor, in the order the
// window has always done it (menu bar, language file, catalogue, font, list, caption).
class COrvikDlg : public QDialog
{
    Q_OBJECT

public:
    // The catalogue is filled from `backupRoot` when it is given (a folder named on the
    // command line), else from the backup root of the settings.
    explicit COrvikDlg(QWidget *parent = nullptr, const QString &backupRoot = QString());
    ~COrvikDlg() override;

    // Rebuilds all rows from the catalogue, numbered from 1.
    void FillList();

    // A folder the user asked for from outside the window (command line, file manager):
    // lists its backups that the list lacks and, when the folder is a backup itself, opens
    // its query window once the event loop runs. Answers "opened"; "listed" for a folder of
    // backups; "busy" when another window of the program is open, so the backup is only
    // listed; "no backups" when the folder holds none, which a message then says.
    QString ShowFolder(const QString &folder);

    QTableWidget *List() const;
    QMenuBar *MenuBar() const { return m_menuBar; }
    // The entry a row refers to; null for a position without a row.
    BackupEntry *EntryAt(int row) const;

    // Closes the window, remembering its size, position and columns.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OnInitDialog(const QString &backupRoot);
    void OnCommand(int commandId);
    void OnAddDirectory();
    void OnListDblClk(const QModelIndex &index);
    void OnListRightClick(const QPoint &position);
    void DeleteBackup(int row);
    void OpenQueryWindow(int row);
    // The search over every backup of the list, run modally like the query window.
    void OpenSearchWindow();
    void OnAbout();

    std::unique_ptr<Ui::COrvikDlg> ui;
    QMenuBar *m_menuBar = nullptr;
    QIcon m_hIcon;
};

#pragma once

#include "query/BackupSearch.h"
#include "query/BackupSearchModel.h"

#include <QDate>
#include <QDialog>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>

class CallList;
class CBackupArray;
class CDlgProgress;
class PlayerPane;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;
class QueryForm;

namespace Ui {
class CDlgQuery;
}

// The search over every backup of the catalogue: the query window's filter band and Find
// on top, one call list below (CallList, as in the query window) of the rows of all
// backups (the backup's name, then the query window's eleven cells), ordered by start time
// and numbered 1..n, with its status line and the player pane. Find runs the filter's
// statement over every backup at once (BackupSearch, each backup read-only); rows appear as
// each backup finishes (the row the user chose stays chosen), the status line counts the
// backups searched beside a progress bar and a Stop button, and the backups that could not
// be searched are listed in a panel under the list as they come, one line each with the
// reason in a user's words and the database's own text as its tooltip (no message box
// stops the user). Find again, Stop or closing the window stops a search in progress, at
// once. A delete opens that row's backup read-write for as long as it takes.
class SearchAllWindow : public QDialog
{
    Q_OBJECT

public:
    // Searches the backups `catalogue` holds at each Find, in its order.
    explicit SearchAllWindow(const CBackupArray &catalogue, QWidget *parent = nullptr);
    ~SearchAllWindow() override;

    void OnFind();
    void OnExport();
    void accept() override; // Enter runs Find, it never closes the window
    void reject() override; // Escape and the close box: stop the search, then close

    BackupSearchModel &Model() { return m_model; }
    QTableView *List() const;
    CallList &Calls() const { return *m_calls; }
    // Whether backups of the last Find are still being searched.
    bool IsSearching() const;
    // Stops the search in progress (the Stop button).
    void OnStop();
    // The panel of backups that could not be searched (hidden while there are none).
    QListWidget *FailurePanel() const { return m_failurePanel; }
    // The pane that plays the chosen row's recording; null in a build without it.
    PlayerPane *Player() const { return m_player; }
    void SetToday(const QDate &today) { m_today = today; }

    // Shared with the export worker, as in the query window.
    std::atomic<int32_t> m_exportRunning{0};
    std::atomic<int32_t> m_closeRequested{0};

private:
    void OnBackupSearched(int generation, int index);
    void AddFailure(const QString &name, const QString &dir, int reasonId, const QString &detail);
    void StopSearch();
    void UpdateStatusLine();
    void UpdateButtons();
    void CloseWindow(int result);
    QWidget *PlayerWidget() const;

    const CBackupArray &m_catalogue;
    std::unique_ptr<Ui::CDlgQuery> ui;
    std::unique_ptr<QueryForm> m_form;
    BackupSearch m_search;
    BackupSearchModel m_model;
    // Backups of the current search whose outcome has come in.
    int m_received = 0;
    // Whether the search was stopped before every outcome came in.
    bool m_stopped = false;
    QListWidget *m_failurePanel = nullptr;
    QProgressBar *m_searchProgress = nullptr;
    QPushButton *m_stop = nullptr;
    CDlgProgress *m_progress = nullptr;
    PlayerPane *m_player = nullptr;
    CallList *m_calls = nullptr;
    QDate m_today;
};

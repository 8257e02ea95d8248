#pragma once

#include "query/CallListModel.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CallDetailPanel;
class CallListView;
class CDlgProgress;
class ListExport;
class PlayerPane;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPoint;
class QTimer;
class QueryForm;
class QWidget;
struct SharedDatabase;

// The list of calls as both windows show it, and everything a user does with it: the view
// over the model with its columns and sorting, the status line under it (rows, missed
// calls, talk time, and a passing note), the row menu, playing and deleting a call, the
// export (from a snapshot of the rows), closing while an export runs, and the player pane
// and the detail panel following the current row. Every row action addresses a call by its identity (its backup and its record id)
// from the click to the moment it runs; a call that is no longer listed by then is left
// alone. The windows keep only their filter, their Find and what they alone show.
class CallList : public QObject
{
    Q_OBJECT

public:
    using CallKey = CallListModel::CallKey;
    // The database a delete of a call of `backupDir` works on; null when it does not open
    // (the opener has said why).
    using DatabaseFor = std::function<std::shared_ptr<SharedDatabase>(const QString &backupDir)>;

    // Makes the export's progress window (hidden until an export shows it) and, in a build
    // with the player, the pane, both children of `window`. `exportRunning` and
    // `closeRequested` are the window's export flags (see ListExport).
    CallList(QWidget *window, CallListView *view, QLabel *statusLine, CallListModel *model,
             std::atomic<int32_t> &exportRunning, std::atomic<int32_t> &closeRequested);
    ~CallList() override;

    CallListModel &Model() const { return *m_model; }
    CallListView *View() const { return m_view; }
    ListExport &Export() const { return *m_export; }
    CDlgProgress *Progress() const { return m_progress; }
    // Null in a build without the player.
    PlayerPane *Pane() const { return m_pane; }

    // Titles and widths of the view's columns, in the model's column order.
    void SetColumns(const QStringList &titles, const int *widths);
    // The text colour of a row whose recording is not there, on a light or dark ground.
    static QColor MissingRecordingColour(bool darkGround);
    // What the window shows before the counts on the status line (may be empty).
    void SetStatusPrefix(const QString &prefix);
    void UpdateStatusLine();
    // Shows `note` after the counts of the status line for a few seconds, or until the list
    // is filled again.
    void ShowNote(const QString &note);
    const QString &Note() const { return m_note; }
    void SetDatabaseFor(DatabaseFor databaseFor) { m_databaseFor = std::move(databaseFor); }

    // The list's double-click and right-click (the window connects them).
    void OnListDblClk(const QModelIndex &index);
    void OnListRightClick(const QPoint &position);
    // Plays the call with the player the settings name; in the pane instead (saying so on
    // the status line the first time) when that is the system's media player and none is
    // found.
    void PlayCall(const CallKey &call);
    // Makes the call the current row and plays it in the pane (nothing without a pane).
    void PlayHere(const CallKey &call);
    // Asks, then deletes on a worker thread; the row goes when the database has let it go.
    void DeleteCall(const CallKey &call);
    // Whether a delete's database work is still running.
    bool IsDeleting() const { return m_deletesRunning > 0; }

    // Exports the rows as shown now; `setBusy` switches the window's buttons.
    void StartExport(const QString &name, const QStringList &leadingHeader, bool withBackupName,
                     std::function<void(bool busy)> setBusy);
    // The export's option to add the sheet of statistics (remembered between runs), placed
    // under `row`, `column` of the window's filter band (the column of Export), spanning the one
    // before it too.
    void PlaceExportOption(QGridLayout *grid, int row, int column);
    bool IsExporting() const { return m_exportRunning != 0; }

    // The pane shows the current row's recording, the detail panel its record.
    void ShowCurrentRecording();
    // Stops and empties the pane (the window closes).
    void ClearPlayer();
    // Puts the detail panel beside the player pane of the window's layout, or under the list
    // in a window without a pane.
    void PlaceDetailPanel(QueryForm &form);
    CallDetailPanel *Details() const { return m_details; }

signals:
    // A delete has ended, whatever its outcome.
    void deleteFinished();

private:
    // The pane played a call to its end: the next row becomes the current one.
    void MoveToNextRow();

    QWidget *m_window;
    CallListView *m_view;
    QLabel *m_statusLine;
    PlayerPane *m_pane;
    CallListModel *m_model;
    std::atomic<int32_t> &m_exportRunning;
    CDlgProgress *m_progress;
    ListExport *m_export = nullptr;
    DatabaseFor m_databaseFor;
    QString m_statusPrefix;
    QString m_note;
    QTimer *m_noteTimer = nullptr;
    bool m_playingHereSaid = false;
    CallDetailPanel *m_details = nullptr;
    QCheckBox *m_exportStatistics = nullptr;
    int m_deletesRunning = 0;
};

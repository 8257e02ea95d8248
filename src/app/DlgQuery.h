#pragma once

#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "db/record/OleDate.h"
#include "query/ResultListModel.h"

#include <QDialog>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class CDlgProgress;
class ListExport;
class PlayerPane;
class QTableView;
class QueryForm;

namespace Ui {
class CDlgQuery;
}

// The search window of one backup: the filter band on top (70 pixels), the result list
// below, sortable by its column headers, with a status line (rows, missed calls, talk
// time) and the player pane under it. It owns the connection to the backup's dbR.mdb for its whole life, runs each Find
// as one statement whose rows arrive in batches (a million rows never freeze the window),
// plays and deletes records from the list's row menu, and exports the list into a workbook
// on a worker thread with a progress window. While an export runs, a close request waits
// until the worker has ended.
class CDlgQuery : public QDialog
{
    Q_OBJECT

public:
    // `backupDir` is the backup directory, normally ending in "/".
    explicit CDlgQuery(const QString &backupDir, QWidget *parent = nullptr);
    ~CDlgQuery() override;

    // Reads the filter and fills the list with the rows of its statement.
    void OnFind();
    // Toggles the date pickers with the "from" check box.
    void OnFromCheck();
    // Starts the export of the list on a worker thread (nothing when the list is empty).
    void OnExport();

    void accept() override; // OnOK: nothing, Enter runs Find instead
    void reject() override; // OnCancel: Escape and the close box

    const QString &BackupDir() const { return m_backupDir; }
    ResultListModel &Model() { return m_model; }
    QTableView *List() const;
    CDlgProgress *Progress() const { return m_progress; }
    // Whether rows of the last Find are still arriving.
    bool IsFilling() const { return m_model.IsFilling(); }
    // The pane that plays the chosen row's recording; null in a build without it.
    PlayerPane *Player() const { return m_player; }
    // The day the date presets count from (the current date unless set).
    void SetToday(const QDate &today) { m_today = today; }

    // The titles and widths of the eleven columns of the result list, by cell position.
    static QStringList ResultListTitles();
    static std::array<int, ResultListModel::kCellCount> ResultListWidths();

    // Shared with the export worker without a lock: 1 from the start of an export until
    // its worker has ended; 1 once the user asked to close the window.
    std::atomic<int32_t> m_exportRunning{0};
    std::atomic<int32_t> m_closeRequested{0};

    // The filter, copied from the controls by UpdateData(true).
    bool m_useDateRange = false;
    OleDate m_dateFrom;
    OleDate m_dateTo;
    int m_callType = 2;
    QString m_userName;
    QString m_number;
    QString m_remark;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void OnInitDialog();
    // true: controls → members; false: members → controls.
    void UpdateData(bool saveAndValidate);
    void SetUpResultList();
    void ResizeList();
    void FillResultList(const QString &statement);
    void OnFillTimer();
    void StopFill();
    // Once all rows of a Find have arrived: says so when the database could not be read whole.
    void ReportDamage();
    void UpdateExportButton();
    void CloseWindow(int result);
    void OnListDblClk(const QModelIndex &index);
    void OnListRightClick(const QPoint &position);
    void OnDatePreset(int index);
    void UpdateStatusLine();
    // Gives the player pane the recording of the list's current row.
    void ShowCurrentRecording();
    // The player pane as a widget to place; null in a build without it.
    QWidget *PlayerWidget() const;

    std::unique_ptr<Ui::CDlgQuery> ui;
    std::unique_ptr<QueryForm> m_form;
    QString m_backupDir;
    CAdoDb m_db;
    ResultListModel m_model;
    CDlgProgress *m_progress = nullptr;
    // Deleted by the destructor first, which waits for its worker.
    ListExport *m_export = nullptr;
    PlayerPane *m_player = nullptr;
    QDate m_today;

    // Rows of a large result arrive from a zero-interval timer, in slices of about
    // kFillSliceMilliseconds, so the window keeps answering while they come.
    QTimer *m_fillTimer = nullptr;
    int m_fillBatch = 0;
};

#pragma once

#include "db/record/OleDate.h"
#include "query/ResultListModel.h"

#include <QDate>
#include <QDialog>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class CallList;
class CDlgProgress;
class PlayerPane;
class QTableView;
class QueryForm;
struct SharedDatabase;

namespace Ui {
class CDlgQuery;
}

// The search window of one backup: the filter band on top (70 pixels), the call list below
// (CallList: sortable by its column headers, a status line of rows, missed calls and talk
// time, the row menu, the export and the player pane). It owns the connection to the
// backup's dbR.mdb for its whole life, shared with the work it starts on other threads;
// each Find runs one statement whose rows are read on a worker thread and arrive in
// batches (a million rows never freeze the window). While an export runs, a close request
// waits until the worker has ended: a 100-millisecond timer (OnTimer) closes the window
// once it has.
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
    // The export button: ExportToExcel.
    void OnExport();
    // Starts the export of the list on a worker thread (nothing when the list is empty or
    // still filling).
    void ExportToExcel();
    // The 100-millisecond poll of a close request during an export: closes the window once
    // the export has ended.
    void OnTimer();

    void accept() override; // OnOK: nothing, Enter runs Find instead
    void reject() override; // OnCancel: Escape and the close box

    const QString &BackupDir() const { return m_backupDir; }
    ResultListModel &Model() { return m_model; }
    QTableView *List() const;
    CallList &Calls() const { return *m_calls; }
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
    // Once all rows of a Find have arrived (or its statement failed).
    void OnFillFinished(bool opened, const QString &error);
    void UpdateExportButton();
    void CloseWindow(int result);
    void OnListDblClk(const QModelIndex &index);
    void OnListRightClick(const QPoint &position);
    void OnDatePreset(int index);
    // The player pane as a widget to place; null in a build without it.
    QWidget *PlayerWidget() const;

    std::unique_ptr<Ui::CDlgQuery> ui;
    std::unique_ptr<QueryForm> m_form;
    QString m_backupDir;
    // Shared with the fill and the deletes running on other threads, which may outlive the
    // window by the batch they are in.
    std::shared_ptr<SharedDatabase> m_db;
    ResultListModel m_model;
    CDlgProgress *m_progress = nullptr;
    PlayerPane *m_player = nullptr;
    CallList *m_calls = nullptr;
    QDate m_today;
};

#pragma once

#include "query/CallListModel.h"
#include "query/RecordingFolder.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTextBrowser;
class TaskRunner;

// Every field of the chosen call's record, beside the player pane: the list keeps only the
// columns it shows, so the whole record is read again by its id, on a worker thread,
// through a connection of its own opened read-only on the call's backup. Under the fields:
// copy the number or the recording's path, show the recording in its folder, and save a
// copy of it elsewhere (a copy made on a worker; the recording itself is never moved, and
// only a recording the voice folder holds, links followed, is copied).
class CallDetailPanel : public QWidget
{
    Q_OBJECT

public:
    enum class State { Idle, Loading, Shown, Failed };

    explicit CallDetailPanel(QWidget *parent = nullptr);
    ~CallDetailPanel() override;

    // Shows the call `call`; `number` and `recordingPath` are its list cells (the
    // recording's path, "DEL" or empty), `folder` its backup's voice folder. The record is
    // read on a worker; the same call again keeps what is shown.
    void showCall(const CallListModel::CallKey &call, const QString &number, const QString &recordingPath,
                  const RecordingFolder &folder);
    // No call chosen.
    void clear();

    State state() const { return m_state; }
    const CallListModel::CallKey &call() const { return m_call; }
    // The fields shown, label and text, in their order.
    QList<QPair<QString, QString>> fields() const;
    // Whether a copy of the recording is being saved.
    bool isSaving() const { return m_savesRunning > 0; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return false; }

private:
    struct Field
    {
        QString label;
        QString text;
    };

    void showLine(const QString &text, State state);
    void showFields(const QList<Field> &fields);
    void updateButtons();
    void saveRecordingAs();

    CallListModel::CallKey m_call;
    QString m_number;
    QString m_recordingPath;
    RecordingFolder m_folder;
    State m_state = State::Idle;
    QList<Field> m_fields;
    int m_savesRunning = 0;

    TaskRunner *m_reader = nullptr;
    // The connection the reads go through, kept open for the next call of the same backup.
    struct Connection;
    std::shared_ptr<Connection> m_connection;

    QLabel *m_line = nullptr;
    QTextBrowser *m_fieldsView = nullptr;
    QPushButton *m_copyNumber = nullptr;
    QPushButton *m_copyPath = nullptr;
    QPushButton *m_showInFolder = nullptr;
    QPushButton *m_saveAs = nullptr;
};

#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTableView>

class CallListModel;
class QHelpEvent;
class QAbstractItemView;

// Shows the whole text of a cell too narrow for it as its tooltip (and no tooltip over a
// cell whose text fits): installed on a view's viewport, or called by a view's own
// viewportEvent.
class CutCellTips : public QObject
{
    Q_OBJECT

public:
    // Watches the viewport of `view`, which owns it.
    explicit CutCellTips(QAbstractItemView *view);
    // Answers a tooltip event of `view`'s viewport; true when it was answered.
    static bool Show(QAbstractItemView *view, QHelpEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *m_view;
    QObject *m_viewport;
};

// The table both windows show their calls in. Typing letters jumps to the next row whose
// text in the current column starts with them, answered from the model's index of the
// column (CallListModel::FindRowStartingWith), so that a list of a million rows never
// stops the window while the user types; until that index is ready the jump waits for it.
class CallListView : public QTableView
{
    Q_OBJECT

public:
    explicit CallListView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void keyboardSearch(const QString &search) override;

signals:
    // The Delete key was pressed on the list (the call list asks, then deletes the call).
    void deleteKeyPressed();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    // A cell too narrow for its text shows it whole as a tooltip (CutCellTips).
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Search(int column, const QString &text, int from);

    CallListModel *m_calls = nullptr;
    QString m_typed;
    QElapsedTimer m_sinceKey;
    // A search that waits for the model's index.
    struct Pending
    {
        int column = -1;
        QString text;
        int from = 0;
    } m_pending;
};

#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTableView>

class CallListModel;

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

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

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

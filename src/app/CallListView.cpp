#include "app/CallListView.h"

#include "query/CallListModel.h"

#include <QApplication>
#include <QHeaderView>

CallListView::CallListView(QWidget *parent) : QTableView(parent) {}

void CallListView::setModel(QAbstractItemModel *model)
{
    if (m_calls)
        disconnect(m_calls, nullptr, this, nullptr);
    QTableView::setModel(model);
    m_calls = qobject_cast<CallListModel *>(model);
    if (m_calls) {
        connect(m_calls, &CallListModel::keyboardSearchReady, this, [this](int column) {
            if (column == m_pending.column) {
                const Pending pending = m_pending;
                m_pending = Pending();
                Search(pending.column, pending.text, pending.from);
            }
        });
    }
}

void CallListView::keyboardSearch(const QString &search)
{
    if (!m_calls) {
        QTableView::keyboardSearch(search);
        return;
    }
    if (search.isEmpty())
        return;
    // Letters typed within the system's interval make one text, as in every list.
    if (!m_sinceKey.isValid() || m_sinceKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_sinceKey.start();
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    // The same letter again goes on to the next row that starts with it.
    const bool again = m_typed.size() == 1 && m_typed == search;
    if (!again)
        m_typed += search;
    const int column = current.isValid() ? current.column() : horizontalHeader()->logicalIndexAt(0);
    Search(column, m_typed, current.isValid() && (again || m_typed.size() == 1) ? row + 1 : row);
}

void CallListView::Search(int column, const QString &text, int from)
{
    const int found = m_calls->FindRowStartingWith(column, text, from);
    if (found == CallListModel::kNotReady) {
        m_pending = Pending{column, text, from};
        return;
    }
    if (found < 0)
        return;
    const QModelIndex target = m_calls->index(found, column);
    setCurrentIndex(target);
    scrollTo(target);
}

void CallListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    // The index of the column the user is in is made before the first letter is typed.
    if (m_calls && current.isValid() && (!previous.isValid() || previous.column() != current.column()))
        m_calls->PrepareKeyboardSearch(current.column());
}

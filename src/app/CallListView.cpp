#include "app/CallListView.h"

#include "query/CallListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

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

bool CallListView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        return CutCellTips::Show(this, static_cast<QHelpEvent *>(event));
    return QTableView::viewportEvent(event);
}

void CallListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        emit deleteKeyPressed();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

CutCellTips::CutCellTips(QAbstractItemView *view) : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_viewport->installEventFilter(this);
}

bool CutCellTips::eventFilter(QObject *watched, QEvent *event)
{
    // The view is not asked for anything but a tooltip: the viewport also sends events while
    // the view is being destroyed.
    if (event->type() == QEvent::ToolTip && watched == m_viewport)
        return Show(m_view, static_cast<QHelpEvent *>(event));
    return QObject::eventFilter(watched, event);
}

bool CutCellTips::Show(QAbstractItemView *view, QHelpEvent *event)
{
    const QModelIndex index = view->indexAt(event->pos());
    const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
    const QRect cell = index.isValid() ? view->visualRect(index) : QRect();
    // Measured in the cell's own font (a missing recording's row is italic), with the
    // margins the item view keeps on both sides of a text.
    const QVariant font = index.isValid() ? index.data(Qt::FontRole) : QVariant();
    const QFontMetrics fm(font.canConvert<QFont>() ? font.value<QFont>() : view->font());
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    if (!text.isEmpty() && fm.horizontalAdvance(text) + 2 * margin > cell.width())
        QToolTip::showText(event->globalPos(), text, view->viewport(), cell);
    else
        QToolTip::hideText();
    return true;
}

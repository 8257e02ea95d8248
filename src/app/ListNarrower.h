#pragma once

#include <QObject>
#include <QStyledItemDelegate>

class CallListModel;
class CallListView;
class QLineEdit;
class QWidget;

// The filter box above a call list: what is typed narrows the rows already listed to those
// whose number, user, remark or recording name contains it, letter case aside
// (CallListModel::NarrowByText), and marks the matches in those cells; no statement runs.
// Ctrl+F in the window goes to the box, Escape in the box clears it (an empty box leaves
// Escape to the window), Enter goes to the list. A new Find keeps the narrowing.
class ListNarrower : public QObject
{
    Q_OBJECT

public:
    ListNarrower(QWidget *window, QLineEdit *box, CallListView *view, CallListModel *model);

    QLineEdit *Box() const { return m_box; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Apply(const QString &text);

    QLineEdit *m_box;
    CallListView *m_view;
    CallListModel *m_model;
};

// Paints the cells of a call list, the text the list is narrowed by marked where it
// appears in the number, user, remark and recording cells (the recording's file name only,
// not its folder).
class MatchDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    MatchDelegate(CallListModel *model, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Where the narrowing text stands in the cell of `index` as shown: start and length in
    // its display text; start -1 when it is not there or the cell is not looked in.
    std::pair<qsizetype, qsizetype> MatchIn(const QModelIndex &index) const;

private:
    CallListModel *m_model;
};

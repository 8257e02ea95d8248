#include "app/ListNarrower.h"

#include "app/CallListView.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CallListModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QShortcut>

ListNarrower::ListNarrower(QWidget *window, QLineEdit *box, CallListView *view, CallListModel *model)
    : QObject(window)
    , m_box(box)
    , m_view(view)
    , m_model(model)
{
    box->setClearButtonEnabled(true);
    box->setPlaceholderText(GetDialogText(Ids::TxtNarrowPrompt));
    box->setToolTip(GetDialogText(Ids::TxtNarrowTip));
    box->installEventFilter(this);
    view->setItemDelegate(new MatchDelegate(model, view));
    connect(box, &QLineEdit::textChanged, this, &ListNarrower::Apply);
    auto *find = new QShortcut(QKeySequence::Find, window);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        m_box->setFocus(Qt::ShortcutFocusReason);
        m_box->selectAll();
    });
}

void ListNarrower::Apply(const QString &text)
{
    m_model->NarrowByText(text);
    m_view->viewport()->update();
    // The current row stays in sight when it is still shown.
    if (m_view->currentIndex().isValid())
        m_view->scrollTo(m_view->currentIndex());
}

bool ListNarrower::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && !m_box->text().isEmpty()) {
            m_box->clear();
            return true;
        }
        // Enter goes to the rows found; it does not run Find (the window's default button).
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)) {
            m_view->setFocus(Qt::OtherFocusReason);
            if (!m_view->currentIndex().isValid() && m_model->rowCount() > 0)
                m_view->setCurrentIndex(m_model->index(0, m_view->horizontalHeader()->logicalIndexAt(0)));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

MatchDelegate::MatchDelegate(CallListModel *model, QObject *parent) : QStyledItemDelegate(parent), m_model(model) {}

std::pair<qsizetype, qsizetype> MatchDelegate::MatchIn(const QModelIndex &index) const
{
    const QString &needle = m_model->NarrowText();
    const int cell = m_model->CellOfColumn(index.column());
    if (needle.isEmpty()
        || (cell != CallListModel::CellName && cell != CallListModel::CellPhone && cell != CallListModel::CellRemark
            && cell != CallListModel::CellFile))
        return {-1, 0};
    const QString text = index.data(Qt::DisplayRole).toString();
    // In a recording path only the file's name is looked in, not the folders before it.
    qsizetype from = 0;
    if (cell == CallListModel::CellFile)
        from = std::max(text.lastIndexOf(u'/'), text.lastIndexOf(u'\\')) + 1;
    const qsizetype at = text.indexOf(needle, from, Qt::CaseInsensitive);
    return at < 0 ? std::pair<qsizetype, qsizetype>{-1, 0} : std::pair<qsizetype, qsizetype>{at, needle.size()};
}

void MatchDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto [at, length] = MatchIn(index);
    if (at < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget *widget = item.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QString text = item.text;
    // The cell without its text, then the text with the match on a marked ground.
    item.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    item.text = text;
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect room = textRect.adjusted(margin, 0, -margin, 0);
    const QFontMetrics fm(item.font);
    const QPalette::ColorGroup group = !(item.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (item.state & QStyle::State_Active) ? QPalette::Normal
                                                                             : QPalette::Inactive;
    const bool selected = item.state & QStyle::State_Selected;
    painter->save();
    painter->setClipRect(room);
    painter->setFont(item.font);
    const int before = fm.horizontalAdvance(text.left(at));
    const int width = fm.horizontalAdvance(text.mid(at, length));
    const QRect mark(room.left() + before, room.top() + 2, width, room.height() - 4);
    // Amber under the text: dark text stays dark on it, light text (dark palettes, selected
    // rows) stays light on its deeper tone.
    const QColor text0 = item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    painter->fillRect(mark, text0.lightness() > 128 ? QColor(200, 120, 0, 170) : QColor(255, 200, 40, 200));
    painter->setPen(text0);
    painter->drawText(room, int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine, text);
    painter->restore();
}

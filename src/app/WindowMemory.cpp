#include "app/WindowMemory.h"

#include "app/QueryForm.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace WindowMemory {

std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("orvik"),
                                       QStringLiteral("windows"));
}

void fitOnScreen(QWidget *window)
{
    // The screen the window lands on: the one under its centre, else the one it is on.
    QScreen *screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QRect inside = window->geometry();
    // What the window system adds around the window (nothing before it is shown).
    const int extraWidth = std::max(0, frame.width() - inside.width());
    const int extraHeight = std::max(0, frame.height() - inside.height());
    // Never larger than the screen's free area, never smaller than the window allows.
    const QSize size = inside.size()
                           .boundedTo(QSize(available.width() - extraWidth, available.height() - extraHeight))
                           .expandedTo(window->minimumSize());
    if (size != inside.size())
        window->resize(size);
    // Then moved so that its frame lies on the free area (its top left corner first, for a
    // window larger than the screen).
    const int width = size.width() + extraWidth;
    const int height = size.height() + extraHeight;
    const int x = std::max(available.left(), std::min(frame.left(), available.right() + 1 - width));
    const int y = std::max(available.top(), std::min(frame.top(), available.bottom() + 1 - height));
    if (x != frame.left() || y != frame.top())
        window->move(x, y);
}

namespace {

// Fits a window on its screen once more when it is first shown: only then does the window
// system tell the size of the frame around it.
class FitWhenShown : public QObject
{
public:
    explicit FitWhenShown(QWidget *window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            auto *window = static_cast<QWidget *>(watched);
            fitOnScreen(window);
            window->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void restore(QWidget *window, const QString &name, QHeaderView *columns)
{
    const std::unique_ptr<QSettings> store = settings();
    store->beginGroup(name);
    const QByteArray geometry = store->value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty()) {
        window->restoreGeometry(geometry);
        // Remembered on a larger screen, it would run off this one.
        fitOnScreen(window);
        if (!window->isVisible())
            new FitWhenShown(window);
    }
    const QByteArray state = store->value(QStringLiteral("columns")).toByteArray();
    if (columns && !state.isEmpty()) {
        // Widths and order come back; a sort does not: a list opens in its own order.
        const bool sortable = columns->isSortIndicatorShown();
        const bool stretch = columns->stretchLastSection();
        columns->restoreState(state);
        columns->setSortIndicator(-1, Qt::AscendingOrder);
        columns->setSortIndicatorShown(sortable);
        columns->setStretchLastSection(stretch);
        // Widths kept from a run in another language may be too narrow for these titles.
        QueryForm::WidenForTitles(columns);
    }
}

void save(const QWidget *window, const QString &name, const QHeaderView *columns)
{
    const std::unique_ptr<QSettings> store = settings();
    store->beginGroup(name);
    store->setValue(QStringLiteral("geometry"), window->saveGeometry());
    if (columns)
        store->setValue(QStringLiteral("columns"), columns->saveState());
}

} // namespace WindowMemory

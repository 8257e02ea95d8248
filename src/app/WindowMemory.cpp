#include "app/WindowMemory.h"

#include <QHeaderView>
#include <QSettings>
#include <QWidget>

namespace WindowMemory {

std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("orvik"),
                                       QStringLiteral("windows"));
}

void restore(QWidget *window, const QString &name, QHeaderView *columns)
{
    const std::unique_ptr<QSettings> store = settings();
    store->beginGroup(name);
    const QByteArray geometry = store->value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty())
        window->restoreGeometry(geometry);
    const QByteArray state = store->value(QStringLiteral("columns")).toByteArray();
    if (columns && !state.isEmpty()) {
        // Widths and order come back; a sort does not: a list opens in its own order.
        const bool sortable = columns->isSortIndicatorShown();
        columns->restoreState(state);
        columns->setSortIndicator(-1, Qt::AscendingOrder);
        columns->setSortIndicatorShown(sortable);
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

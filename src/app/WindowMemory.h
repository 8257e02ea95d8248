#pragma once

#include <QString>

#include <memory>

class QHeaderView;
class QSettings;
class QWidget;

// Each window's size, position and list columns (widths and order), kept between runs
// under the window's own name in the user's configuration directory
// (<config>/orvik/windows.ini, through QSettings). The program's config.ini is never
// written.
namespace WindowMemory {

// Gives `window` (and `columns`, when not null) what was saved under `name`; nothing when
// nothing was. A size or position remembered on a larger screen is fitted on the
// available area of the screen the window lands on (fitOnScreen).
void restore(QWidget *window, const QString &name, QHeaderView *columns = nullptr);
// Makes `window` no larger than the available geometry of its screen (but not smaller
// than its minimum size) and moves it onto that area.
void fitOnScreen(QWidget *window);
void save(const QWidget *window, const QString &name, const QHeaderView *columns = nullptr);

// The settings file that holds them.
std::unique_ptr<QSettings> settings();

} // namespace WindowMemory

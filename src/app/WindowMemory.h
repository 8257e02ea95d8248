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
// nothing was.
void restore(QWidget *window, const QString &name, QHeaderView *columns = nullptr);
void save(const QWidget *window, const QString &name, const QHeaderView *columns = nullptr);

// The settings file that holds them.
std::unique_ptr<QSettings> settings();

} // namespace WindowMemory

#pragma once

#include <QIcon>

// The program icon (16, 32 and 64 pixels) from the resources built into orvik_gui.
QIcon ProgramIcon();

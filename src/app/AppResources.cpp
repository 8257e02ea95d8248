#include "app/AppResources.h"

// Registers resources/orvik.qrc: a resource compiled into a static library is not picked up
// by the linker unless something names it.
static void InitGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(orvik);
        return true;
    }();
    (void)done;
}

QIcon ProgramIcon()
{
    InitGuiResources();
    QIcon icon;
    for (const int size : {16, 32, 64})
        icon.addFile(QStringLiteral(":/icons/orvik-%1.png").arg(size), QSize(size, size));
    return icon;
}

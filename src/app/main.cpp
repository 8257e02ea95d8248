// The windowed program: the widget desktop for messages and pickers, then COrvikApp.
#include "app/AppResources.h"
#include "app/OrvikApp.h"
#include "app/WidgetDesktop.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvik"));
    QApplication::setWindowIcon(ProgramIcon());

    WidgetDesktop desktop;
    Desktop *previous = Desktop::install(&desktop);

    COrvikApp orvik;
    orvik.InitInstance();

    Desktop::install(previous);
    return 0;
}

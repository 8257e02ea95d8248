// The windowed program: the widget desktop for messages and pickers, then COrvikApp.
#include "app/AppResources.h"
#include "app/CommandLine.h"
#include "app/OrvikApp.h"
#include "app/WidgetDesktop.h"
#include "platform/HostSystem.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    HostSystem::prepareProcess();
    // --help and --version are answered without a window system, from a terminal too.
    if (CommandLineOnlyPrints(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("orvik"));
        ReadCommandLine();
    }

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

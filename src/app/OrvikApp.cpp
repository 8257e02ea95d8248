#include "app/OrvikApp.h"

#include "app/CommandLine.h"
#include "app/OrvikDlg.h"
#include "app/SingleInstance.h"
#include "config/Config.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

bool COrvikApp::InitInstance()
{
    const QString folder = ReadCommandLine();
    SingleInstance instance;
    if (!instance.Acquire()) {
        // Another Orvik of this user runs: its window comes forward and takes the folder,
        // this process opens none.
        QString why;
        const QString answer = instance.HandOver(folder, &why);
        if (!answer.isEmpty()) {
            if (folder.isEmpty())
                std::fprintf(stderr, "Orvik is already running; its window has been brought forward (%s).\n",
                             answer.toUtf8().constData());
            else
                std::fprintf(stderr, "Orvik is already running; %s has been handed to it (%s).\n",
                             folder.toUtf8().constData(), answer.toUtf8().constData());
            return false;
        }
        // A running Orvik that cannot be reached, or not shown to be this user's, is handed
        // nothing: this one opens its own window.
        std::fprintf(stderr, "Orvik's lock is held, but no Orvik of this user answered (%s); starting anyway.\n",
                     why.toUtf8().constData());
    } else if (!instance.Problem().isEmpty()) {
        std::fprintf(stderr, "Orvik starts without its one-window rule: %s.\n",
                     instance.Problem().toUtf8().constData());
    }

    g_config.CreateUiFont();
    {
        COrvikDlg dlg(nullptr, folder);
        m_pMainWnd = &dlg;
        instance.SetActivateHandler([this](const QString &handed) { return TakeHandOver(m_pMainWnd, handed); });
        if (!folder.isEmpty())
            dlg.ShowFolder(folder);
        dlg.exec();
        m_pMainWnd = nullptr;
        instance.SetActivateHandler({});
        g_config.DeleteUiFont();
    }
    return false;
}

QString COrvikApp::TakeHandOver(COrvikDlg *window, const QString &folder)
{
    const QString shown = BringToFront(window);
    return window && !folder.isEmpty() ? window->ShowFolder(folder) : shown;
}

QString COrvikApp::BringToFront(QWidget *window)
{
    if (!window)
        return QStringLiteral("closing");
    // Shown as it is: a minimised window is not restored.
    if (window->isHidden())
        window->show();
    window->raise();
    QWidget *front = window;
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != window) {
        modal->raise();
        front = modal;
    }
    if (window->isMinimized()) {
        QApplication::alert(window);
        return QStringLiteral("minimised");
    }
    front->activateWindow();
    return QStringLiteral("shown");
}

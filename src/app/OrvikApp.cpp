#include "app/OrvikApp.h"

#include "app/OrvikDlg.h"
#include "app/SingleInstance.h"
#include "config/Config.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

bool COrvikApp::InitInstance()
{
    SingleInstance instance;
    if (!instance.Acquire()) {
        // Another Orvik of this user runs: its window comes forward, this process opens none.
        const QString answer = instance.HandOver();
        if (answer.isEmpty())
            std::fprintf(stderr, "Orvik is already running, but it did not answer.\n");
        else
            std::fprintf(stderr, "Orvik is already running; its window has been brought forward (%s).\n",
                         answer.toUtf8().constData());
        return false;
    }

    g_config.CreateUiFont();
    {
        COrvikDlg dlg;
        m_pMainWnd = &dlg;
        instance.SetActivateHandler(
            [this] { return m_pMainWnd ? BringToFront(m_pMainWnd) : QStringLiteral("closing"); });
        dlg.exec();
        m_pMainWnd = nullptr;
        instance.SetActivateHandler({});
        g_config.DeleteUiFont();
    }
    return false;
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

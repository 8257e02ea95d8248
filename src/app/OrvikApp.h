#pragma once

#include <QString>

class COrvikDlg;
class QWidget;

// The life of the windowed program: the command line, the one-instance rule, the UI font,
// and the main window run modally until the user leaves it.
class COrvikApp
{
public:
    COrvikApp() = default;
    COrvikApp(const COrvikApp &) = delete;
    COrvikApp &operator=(const COrvikApp &) = delete;

    // Carries out the whole run. Always false: there is nothing to do after it but end the
    // process. A folder on the command line is listed (and opened when it is a backup), or
    // handed to the Orvik that runs already.
    bool InitInstance();

    // Brings `window` forward for a second start: shows it when hidden and raises it, with a
    // window it is waiting for (an open query window) on top. A minimised window stays
    // minimised and only asks for attention. Returns "shown" or "minimised".
    static QString BringToFront(QWidget *window);

    // What the running program does when a second start hands it `folder` (empty for none):
    // brings `window` forward and shows the folder (COrvikDlg::ShowFolder). Returns the
    // answer for the second process.
    static QString TakeHandOver(COrvikDlg *window, const QString &folder);

private:
    // The main window while it runs, else null.
    COrvikDlg *m_pMainWnd = nullptr;
};

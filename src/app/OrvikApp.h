#pragma once

#include <QString>

class COrvikDlg;
class QWidget;

// The life of the windowed program: the one-instance rule, the UI font, and the main window
// run modally until the user leaves it.
class COrvikApp
{
public:
    COrvikApp() = default;
    COrvikApp(const COrvikApp &) = delete;
    COrvikApp &operator=(const COrvikApp &) = delete;

    // Carries out the whole run. Always false: there is nothing to do after it but end the
    // process.
    bool InitInstance();

    // Brings `window` forward for a second start: shows it when hidden and raises it, with a
    // window it is waiting for (an open query window) on top. A minimised window stays
    // minimised and only asks for attention. Returns "shown" or "minimised".
    static QString BringToFront(QWidget *window);

private:
    // The main window while it runs, else null.
    COrvikDlg *m_pMainWnd = nullptr;
};

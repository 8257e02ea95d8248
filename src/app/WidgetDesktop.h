#pragma once

#include "config/Desktop.h"

// The desktop of the windowed program: message boxes, the folder picker and the save-as
// dialog, detached player processes, the desktop's default application for a file, the
// file manager for a file's folder, and the clipboard. Installed by main().
//
// Message boxes and the folder picker are widgets and live on the UI thread; background
// work hands what it has to say to the window's thread (TaskRunner), and a call from
// another thread is refused with a warning.
class WidgetDesktop final : public Desktop
{
public:
    Answer showMessage(QObject *owner, Icon icon, const QString &caption, const QString &text,
                       Buttons buttons) override;
    QString browseForFolder(QObject *owner, const QString &title) override;
    bool startProgram(const QString &program, const QStringList &arguments) override;
    bool openFile(const QString &path) override;
    QString saveFileAs(QObject *owner, const QString &title, const QString &suggestedPath) override;
    bool showInFolder(const QString &path) override;
    void copyToClipboard(const QString &text) override;
};

#pragma once

#include <QString>
#include <QStringList>

class QObject;

// Every effect the program has outside its own windows and files goes through here:
// message boxes, the folder picker and the save-as dialog, starting a player, opening a
// file with the desktop's application, showing a file in its folder, the clipboard. The windows install a widget-based desktop, the command line a terminal
// one, and tests a scripted one, so that no test ever blocks on a dialog or starts a
// real program.
class Desktop
{
public:
    enum class Icon { Information, Warning, Error };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Desktop() = default;

    // Shows a message and waits for the answer. An empty caption means the application's
    // own title.
    virtual Answer showMessage(QObject *owner, Icon icon, const QString &caption, const QString &text,
                               Buttons buttons) = 0;
    // Lets the user choose a folder; empty when cancelled.
    virtual QString browseForFolder(QObject *owner, const QString &title) = 0;
    // Starts `program` with its arguments as separate words, never through a shell.
    virtual bool startProgram(const QString &program, const QStringList &arguments) = 0;
    // Opens a file with the desktop's default application for its type.
    virtual bool openFile(const QString &path) = 0;
    // Lets the user choose where to save a file, starting at `suggestedPath` (a folder and
    // a name); an existing file chosen has been confirmed for replacing. Empty when cancelled.
    virtual QString saveFileAs(QObject *owner, const QString &title, const QString &suggestedPath) = 0;
    // Shows the folder that holds `path` in the desktop's file manager, the file selected
    // where the file manager can do that.
    virtual bool showInFolder(const QString &path) = 0;
    // Puts `text` on the clipboard.
    virtual void copyToClipboard(const QString &text) = 0;

    // The desktop in use; a headless one until another is installed.
    static Desktop &current();
    // Installs `desktop` (not owned; nullptr restores the headless one) and returns the
    // one installed before.
    static Desktop *install(Desktop *desktop);
};

// Without windows: messages go to stderr, questions are answered No, programs are started
// detached, files and folders are opened with xdg-open; nothing is saved and there is no
// clipboard.
class HeadlessDesktop : public Desktop
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

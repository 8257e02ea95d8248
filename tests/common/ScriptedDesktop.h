#pragma once
// A desktop for tests: it records every message, folder request, program start, file
// opening, save-as request, folder shown and text copied, answers questions and save-as
// requests from a script, and never shows or starts anything.

#include "config/Desktop.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ScriptedDesktop : public Desktop
{
public:
    struct Message
    {
        Icon icon;
        QString caption;
        QString text;
        Buttons buttons;
    };
    struct Start
    {
        QString program;
        QStringList arguments;
    };

    ScriptedDesktop() { m_previous = Desktop::install(this); }
    ~ScriptedDesktop() override { Desktop::install(m_previous); }
    ScriptedDesktop(const ScriptedDesktop &) = delete;
    ScriptedDesktop &operator=(const ScriptedDesktop &) = delete;

    // Answers for the next Yes/No questions, in order; an empty script answers No.
    QList<Answer> answers;
    // Folders the next folder requests return, in order; an empty script cancels.
    QStringList folders;
    // Paths the next save-as requests return, in order; an empty script cancels.
    QStringList savePaths;
    bool startSucceeds = true;
    bool openSucceeds = true;

    QList<Message> messages;
    // Called as each message is shown, before it is answered (what else is on screen then).
    std::function<void(const Message &)> onMessage;
    QStringList folderTitles;
    QList<Start> starts;
    QStringList openedFiles;
    struct SaveRequest
    {
        QString title;
        QString suggestedPath;
    };
    QList<SaveRequest> saveRequests;
    QStringList shownInFolder;
    QStringList copiedTexts;

    Answer showMessage(QObject *, Icon icon, const QString &caption, const QString &text, Buttons buttons) override
    {
        messages.append({icon, caption, text, buttons});
        if (onMessage)
            onMessage(messages.last());
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }
    QString browseForFolder(QObject *, const QString &title) override
    {
        folderTitles << title;
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    bool startProgram(const QString &program, const QStringList &arguments) override
    {
        starts.append({program, arguments});
        return startSucceeds;
    }
    bool openFile(const QString &path) override
    {
        openedFiles << path;
        return openSucceeds;
    }
    QString saveFileAs(QObject *, const QString &title, const QString &suggestedPath) override
    {
        saveRequests.append({title, suggestedPath});
        return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
    }
    bool showInFolder(const QString &path) override
    {
        shownInFolder << path;
        return openSucceeds;
    }
    void copyToClipboard(const QString &text) override { copiedTexts << text; }

private:
    Desktop *m_previous = nullptr;
};

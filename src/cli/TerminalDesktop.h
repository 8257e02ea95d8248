#pragma once

#include "config/Desktop.h"

// The desktop of the command line: messages go to stderr; a question is asked on the
// terminal (answered y or n), or answered Yes at once when the user said so with --yes.
class TerminalDesktop : public HeadlessDesktop
{
public:
    explicit TerminalDesktop(bool answerYes = false) : m_answerYes(answerYes) {}

    Answer showMessage(QObject *owner, Icon icon, const QString &caption, const QString &text,
                       Buttons buttons) override;

private:
    bool m_answerYes;
};

// Installs a desktop for the lifetime of a scope.
class ScopedDesktop
{
public:
    explicit ScopedDesktop(Desktop *desktop) : m_previous(Desktop::install(desktop)) {}
    ~ScopedDesktop() { Desktop::install(m_previous); }
    ScopedDesktop(const ScopedDesktop &) = delete;
    ScopedDesktop &operator=(const ScopedDesktop &) = delete;

private:
    Desktop *m_previous;
};

#include "app/WidgetDesktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <QWidget>

namespace {

// Runs `work`, which needs widgets, when called on the UI thread. Background work never
// talks to the user itself (it hands its news to the window's thread); a call from another
// thread is refused with a warning and gives `refused` (No to a question: nothing is
// confirmed that nobody saw).
template <typename Result, typename Work>
Result onUiThread(Work work, Result refused = Result{})
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return work();
    qWarning("A message box was asked for from a background thread; it is not shown.");
    return refused;
}

QWidget *ownerWidget(QObject *owner)
{
    QWidget *widget = qobject_cast<QWidget *>(owner);
    // A hidden owner would centre the box on nothing useful; the active window is better.
    if (!widget || !widget->isVisible())
        widget = QApplication::activeWindow();
    return widget;
}

QString boxCaption(const QString &caption)
{
    if (!caption.isEmpty())
        return caption;
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Orvik") : title;
}

} // namespace

Desktop::Answer WidgetDesktop::showMessage(QObject *owner, Icon icon, const QString &caption, const QString &text,
                                           Buttons buttons)
{
    QPointer<QObject> guard(owner);
    return onUiThread<Answer>(
        [&] {
            QMessageBox box(ownerWidget(guard.data()));
            switch (icon) {
            case Icon::Information:
                box.setIcon(QMessageBox::Information);
                break;
            case Icon::Warning:
                box.setIcon(QMessageBox::Warning);
                break;
            case Icon::Error:
                box.setIcon(QMessageBox::Critical);
                break;
            }
            box.setWindowTitle(boxCaption(caption));
            box.setText(text);
            // Texts come from language files and file names: never read them as markup.
            box.setTextFormat(Qt::PlainText);
            if (buttons == Buttons::YesNo) {
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.setDefaultButton(QMessageBox::Yes);
                return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
            }
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return Answer::Ok;
        },
        Answer::No);
}

QString WidgetDesktop::browseForFolder(QObject *owner, const QString &title)
{
    QPointer<QObject> guard(owner);
    return onUiThread<QString>([&] {
        return QFileDialog::getExistingDirectory(ownerWidget(guard.data()), title, QString(),
                                                 QFileDialog::ShowDirsOnly);
    });
}

bool WidgetDesktop::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool WidgetDesktop::openFile(const QString &path)
{
    return onUiThread<bool>([&] { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
}

QString WidgetDesktop::saveFileAs(QObject *owner, const QString &title, const QString &suggestedPath)
{
    QPointer<QObject> guard(owner);
    // QFileDialog asks before an existing file is replaced.
    return onUiThread<QString>(
        [&] { return QFileDialog::getSaveFileName(ownerWidget(guard.data()), title, suggestedPath); });
}

bool WidgetDesktop::showInFolder(const QString &path)
{
#ifdef _WIN32
    // Explorer opens the folder with the file selected.
    return QProcess::startDetached(QStringLiteral("explorer.exe"),
                                   {QStringLiteral("/select,") + QDir::toNativeSeparators(path)});
#else
    return onUiThread<bool>(
        [&] { return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath())); });
#endif
}

void WidgetDesktop::copyToClipboard(const QString &text)
{
    onUiThread<bool>([&] {
        QGuiApplication::clipboard()->setText(text);
        return true;
    });
}

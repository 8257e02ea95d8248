#pragma once
// What the window tests share: a program folder of their own with config.ini and language
// files, copies of the sample backups, and drivers for the things that would otherwise
// block a test in a nested event loop (popup menus, modal windows).

#include "TestFiles.h"
#include "TestPaths.h"
#include "app/DlgQuery.h"
#include "app/WindowMemory.h"
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "lang/Language.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace GuiTest {

// The windows remember their sizes and columns in the user's configuration folder. Every
// test program that includes this file keeps them in an empty folder of its own instead,
// set before any window opens; ForgetWindows() empties it again.
class PrivateWindowMemory
{
public:
    PrivateWindowMemory() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path()); }

private:
    QTemporaryDir m_dir;
};
inline const PrivateWindowMemory g_windowMemory;

#ifdef _WIN32
// Under Wine, a thread that has matched a regular expression with PCRE2's JIT crashes as it
// ends (the workers of the search and of the export do so): the GUI tests match without the
// JIT there. Set before main(), ahead of the first match.
inline const bool g_regexJitOff = qputenv("QT_ENABLE_REGEXP_JIT", "0");
#endif

// An audio output of the test program's own, so that playing really plays (into nothing)
// on a machine without sound: a PulseAudio server with a null sink, its socket in a private
// folder, started when `pulseaudio` is installed. Made before anything asks Qt Multimedia
// for a device (a member of the test object); available() says whether it runs.
class PrivateSoundServer
{
public:
    PrivateSoundServer()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty() || !m_dir.isValid())
            return;
        const QString socket = m_dir.path() + QStringLiteral("/native");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_dir.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
        environment.remove(QStringLiteral("PULSE_SERVER"));
        m_server.setProcessEnvironment(environment);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.start(program,
                       {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                        QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-level=error"), QStringLiteral("-L"),
                        QStringLiteral("module-null-sink sink_name=null"), QStringLiteral("-L"),
                        QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
        for (int i = 0; i < 100 && m_server.state() != QProcess::NotRunning && !QFileInfo::exists(socket); ++i)
            QThread::msleep(50);
        if (QFileInfo::exists(socket))
            qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
    }
    ~PrivateSoundServer()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(1000);
    }
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    bool available() const { return m_server.state() == QProcess::Running; }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};

inline void ForgetWindows()
{
    WindowMemory::settings()->clear();
}

// A program folder (config.ini, language/) and a copy of the sample backup root "Rec".
// SetUp reads the settings from the folder, as the program reads its own at start; the
// destructor reads those of the test's own directory again.
class ProgramFolder
{
public:
    ProgramFolder() = default;
    ~ProgramFolder() { g_config.Reload(CConfig::ProgramDirectory()); }
    ProgramFolder(const ProgramFolder &) = delete;
    ProgramFolder &operator=(const ProgramFolder &) = delete;

    QString Program() const { return m_dir.path() + "/program/"; }
    QString Root() const { return m_dir.path() + "/Rec/"; }
    QString Path(const QString &relative) const { return m_dir.path() + '/' + relative; }

    // `extraSettings` goes into section [config] after m_language and m_BackDir.
    bool SetUp(int language, const QByteArray &extraSettings = QByteArray())
    {
        if (!m_dir.isValid() || !TestFiles::copyTree(QStringLiteral(ORVIK_SAMPLES_DIR "/Rec"), Root()))
            return false;
        const QByteArray ini = "[config]\r\nm_language=" + QByteArray::number(language)
                               + "\r\nm_BackDir=" + Root().toUtf8() + "\r\n" + extraSettings;
        if (!TestFiles::write(Program() + "config.ini", ini))
            return false;
        const QDir languages(QStringLiteral(ORVIK_LANGUAGE_DIR));
        QDir().mkpath(Program() + "language");
        for (const QString &f : languages.entryList({"*.xml"}, QDir::Files))
            QFile::copy(languages.filePath(f), Program() + "language/" + f);
        g_config.Reload(Program());
        return g_config.m_language == language;
    }

private:
    QTemporaryDir m_dir;
};

// Loads a language file of the source tree into g_language (1 English, 0 Chinese, 3 Turkish).
inline bool LoadLanguage(int language)
{
    const char *name = language == 0 ? "/Menu_Chinese.xml" : language == 3 ? "/Menu_Turkish.xml" : "/Menu_English.xml";
    return g_language.LoadFile(QStringLiteral(ORVIK_LANGUAGE_DIR) + QLatin1String(name)) == 0;
}

// Acts on the next window of type W that appears (a modal window runs its own event loop,
// so the test cannot act on it after the call that opened it). Every window seen is passed
// to `act`, which must close it; `seen` counts them.
template <typename W>
class WindowWatcher
{
public:
    explicit WindowWatcher(std::function<void(W *)> act) : m_act(std::move(act))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                W *window = qobject_cast<W *>(w);
                if (window && window->isVisible() && !m_handled.contains(window)) {
                    m_handled.append(window);
                    ++seen;
                    m_act(window);
                }
            }
        });
        m_timer.start();
    }
    int seen = 0;

private:
    std::function<void(W *)> m_act;
    QList<QPointer<W>> m_handled;
    QTimer m_timer;
};

// Answers popup menus while QMenu::exec runs: `choose` gets the menu and returns the action
// to pick by keyboard (nullptr dismisses the menu with Escape). The texts of every menu
// shown are kept.
class PopupDriver
{
public:
    explicit PopupDriver(std::function<QAction *(QMenu *)> choose) : m_choose(std::move(choose))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || menu == m_last)
                return;
            m_last = menu;
            QStringList texts;
            for (const QAction *a : menu->actions())
                texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            shown << texts;
            QAction *pick = m_choose(menu);
            if (pick) {
                menu->setActiveAction(pick);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        m_timer.start();
    }
    QList<QStringList> shown;

private:
    std::function<QAction *(QMenu *)> m_choose;
    QPointer<QMenu> m_last;
    QTimer m_timer;
};

// The action of `menu` whose command id is `commandId`.
inline QAction *CommandAction(QMenu *menu, int commandId)
{
    for (QAction *a : menu->actions())
        if (!a->isSeparator() && a->data().toInt() == commandId)
            return a;
    return nullptr;
}

// A right click on `view` at `pos` (viewport coordinates), as the window system reports it.
inline void RightClick(QAbstractItemView *view, const QPoint &pos)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
}

// A double click as the window system delivers it: press, release, double click, release.
inline void DoubleClick(QAbstractItemView *view, const QPoint &pos)
{
    QWidget *viewport = view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
}

inline QPoint CellCentre(QAbstractItemView *view, int row, int column = 1)
{
    return view->visualRect(view->model()->index(row, column)).center();
}

// A point of the list's viewport below its last row.
inline QPoint BelowLastRow(QAbstractItemView *view)
{
    const int rows = view->model()->rowCount();
    const QRect last = rows > 0 ? view->visualRect(view->model()->index(rows - 1, 1)) : QRect(0, 0, 10, 0);
    return QPoint(last.center().x(), last.bottom() + 15);
}

// Saves a picture of `window` when ORVIK_SCREENSHOT_DIR names a folder (the screenshots in
// docs/ are taken this way, under Xvfb); does nothing otherwise.
inline void SaveScreenshot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVIK_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    window->grab().save(QDir(dir).filePath(name), "PNG");
}

// The child control `name` of `window`; a missing one ends the test program, since every
// later step would fail for the same reason.
template <typename W>
W *Control(QWidget &window, const char *name)
{
    W *w = window.findChild<W *>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// Waits until a Find of the query window has listed all its rows (large results arrive in
// slices).
inline void WaitForFill(CDlgQuery &dlg)
{
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.IsFilling(), 20000);
}

// How far a test takes a window it makes: only made, shown, or (the query window) shown
// with every row of its backup listed by Find.
enum class Open { Made, Shown, Found };

// Shows `window` and waits until it is on the screen; whether it came there.
inline bool Show(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// The query window, shown, with every row of its backup listed.
inline void ShowAndFind(CDlgQuery &dlg)
{
    QVERIFY(Show(dlg));
    Control<QPushButton>(dlg, "IdcFind")->click();
    WaitForFill(dlg);
}

// Why a control of a filter band does not show its whole text, or an empty string when it
// does: a label, check box or button narrower than its text (QFontMetrics), a list box
// whose entries are wider than its text field, a date picker whose date is.
inline QString TextCut(QWidget *control)
{
    const QFontMetrics fm = control->fontMetrics();
    QStyle *style = control->style();
    const auto cut = [&](const QString &text, int room) {
        const int needed = fm.horizontalAdvance(text);
        return needed > room
                   ? QStringLiteral("%1 \"%2\": %3 > %4 pixels").arg(control->objectName(), text).arg(needed).arg(room)
                   : QString();
    };
    if (auto *label = qobject_cast<QLabel *>(control))
        return cut(label->text(), label->contentsRect().width() - 2 * qMax(0, label->indent()) - 2 * label->margin());
    if (auto *check = qobject_cast<QCheckBox *>(control)) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = check->text();
        return cut(check->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &option, check).width());
    }
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const int room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        return cut(QString(button->text()).remove(u'&'), room);
    }
    if (auto *combo = qobject_cast<QComboBox *>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const int room =
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
        QStringList texts{combo->placeholderText()};
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        for (const QString &text : texts) {
            // A line edit or the list's own frame keeps a few pixels of its field.
            if (const QString why = cut(text, room - 4); !why.isEmpty())
                return why;
        }
        return QString();
    }
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(control)) {
        QStyleOptionSpinBox option;
        option.initFrom(spin);
        option.frame = spin->hasFrame();
        option.subControls = QStyle::SC_SpinBoxEditField;
        const int room = style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin).width();
        return cut(spin->text(), room - 4);
    }
    return QString();
}

// The visible controls of `band` (its direct children) that overlap one another, that reach
// outside the band, or whose text is cut (TextCut); empty when there are none.
inline QStringList BandFaults(QWidget *band)
{
    QStringList faults;
    QList<QWidget *> controls;
    for (QWidget *w : band->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            controls << w;
    const QRect inside = band->rect();
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a = controls[i]->geometry();
        if (!inside.contains(a))
            faults << QStringLiteral("%1 reaches outside the band").arg(controls[i]->objectName());
        for (int j = i + 1; j < controls.size(); ++j) {
            if (a.intersects(controls[j]->geometry()))
                faults << QStringLiteral("%1 overlaps %2").arg(controls[i]->objectName(), controls[j]->objectName());
        }
        if (const QString why = TextCut(controls[i]); !why.isEmpty())
            faults << why;
    }
    return faults;
}

// Column titles of `header` that do not fit their (visible) section.
inline QStringList CutTitles(const QHeaderView *header)
{
    QStringList cut;
    const QAbstractItemModel *model = header->model();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int c = 0; c < header->count(); ++c) {
        if (header->isSectionHidden(c) || header->sectionSize(c) == 0)
            continue;
        const QString title = model->headerData(c, Qt::Horizontal).toString();
        const int needed = header->fontMetrics().horizontalAdvance(title) + 2 * margin;
        if (needed > header->sectionSize(c))
            cut << QStringLiteral("%1 (%2 > %3)").arg(title).arg(needed).arg(header->sectionSize(c));
    }
    return cut;
}

} // namespace GuiTest

// The player pane on the offscreen platform: the line it shows for each recording that
// cannot be played, loading off the window's thread, the controls of one that can, and
// moving about in it (buttons, slider, a click on the waveform, keys, speed, volume) with
// or without an audio output; the waveform's height, time scale, pointer, zoom, scrolling
// and colours in a light and a dark palette.
#include "GuiTestSupport.h"
#include "SoundFiles.h"
#include "app/PlayerPane.h"
#include "app/RecordingPlayer.h"
#include "app/WaveformStrip.h"
#include "query/RecordingFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>
#include <QWheelEvent>

using namespace GuiTest;

class PlayerPaneTest : public QObject
{
    Q_OBJECT

    PrivateSoundServer m_sound;
    QTemporaryDir m_dir;
    QString m_backup; // ends in "/"
    QString Voice(const QString &name) const { return m_backup + "voice/" + name; }

    static QString Line(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerLine")->text(); }
    static QString Time(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerTime")->text(); }

private slots:
    void initTestCase();
    void recordingsThatCannotBePlayed();
    void loadsAndMovesAbout();
    void waveformScaleZoomAndColours();
};

void PlayerPaneTest::initTestCase()
{
    QVERIFY(LoadLanguage(1));
    m_backup = m_dir.filePath("backup") + "/";
    QVERIFY(QDir().mkpath(m_backup + "voice"));
    // Ten seconds of a tone, softer in its second half.
    std::vector<double> tone = SoundFiles::sine(400, 10.0, 8000, 0.8);
    for (size_t i = tone.size() / 2; i < tone.size(); ++i)
        tone[i] /= 4;
    QVERIFY(SoundFiles::write(Voice("call.wav"), SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, tone));
    QVERIFY(
        SoundFiles::write(Voice("short.wav"), SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, SoundFiles::sine(400, 2.0, 8000)));
    QVERIFY(SoundFiles::write(Voice("blip.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000,
                              SoundFiles::sine(400, 0.25, 8000)));
    QVERIFY(TestFiles::write(Voice("empty.wav"), QByteArray()));
    QVERIFY(TestFiles::write(Voice("noise.wav"), QByteArray(4000, 'n')));
    QVERIFY(TestFiles::write(m_dir.filePath("elsewhere.wav"), TestFiles::read(Voice("short.wav"))));
    QVERIFY(QFile::link(m_dir.filePath("elsewhere.wav"), Voice("link.wav")));
}

void PlayerPaneTest::recordingsThatCannotBePlayed()
{
    PlayerPane pane;
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const RecordingFolder folder(m_backup);
    QCOMPARE(pane.state(), PlayerPane::State::Idle);
    QCOMPARE(Line(pane), QString("Select a call to listen to its recording."));

    const struct
    {
        QString path;
        QString line;
    } cases[] = {
        {"", "This call has no recording file."},
        {"DEL", "The recording file of this call has been deleted."},
        {Voice("gone.wav"), "The recording file was not found: " + Voice("gone.wav")},
        {Voice("link.wav"), "The recording file lies outside the backup's voice folder and is not played."},
        {Voice("../../elsewhere.wav"), "The recording file lies outside the backup's voice folder and is not played."},
    };
    for (const auto &c : cases) {
        pane.setRecording(c.path, folder);
        QCOMPARE(pane.state(), PlayerPane::State::Unplayable);
        QCOMPARE(Line(pane), c.line);
        QVERIFY(!Control<QPushButton>(pane, "PlayerPlay")->isVisible());
    }
    // These two are found out by decoding, off the window's thread.
    pane.setRecording(Voice("empty.wav"), folder);
    QCOMPARE(pane.state(), PlayerPane::State::Loading);
    QCOMPARE(Line(pane), QString("Loading the recording..."));
    QTRY_COMPARE(pane.state(), PlayerPane::State::Unplayable);
    QCOMPARE(Line(pane), QString("The recording file is empty."));
    pane.setRecording(Voice("noise.wav"), folder);
    QTRY_COMPARE(pane.state(), PlayerPane::State::Unplayable);
    QVERIFY2(Line(pane).startsWith("The recording file cannot be decoded: ") && Line(pane).size() > 40,
             qPrintable(Line(pane)));
    pane.clear();
    QCOMPARE(pane.state(), PlayerPane::State::Idle);
    QVERIFY(pane.recordingPath().isEmpty());
}

void PlayerPaneTest::loadsAndMovesAbout()
{
    PlayerPane pane;
    pane.resize(800, pane.sizeHint().height());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const RecordingFolder folder(m_backup);
    auto *play = Control<QPushButton>(pane, "PlayerPlay");
    auto *slider = Control<QSlider>(pane, "PlayerPosition");
    auto *waveform = Control<WaveformStrip>(pane, "PlayerWaveform");
    auto *note = Control<QLabel>(pane, "PlayerNote");

    // A second choice while the first still loads: only the second is shown.
    pane.setRecording(Voice("short.wav"), folder);
    pane.setRecording(Voice("call.wav"), folder);
    QTRY_COMPARE(pane.state(), PlayerPane::State::Ready);
    QCOMPARE(pane.recordingPath(), Voice("call.wav"));
    QVERIFY(play->isVisible() && waveform->isVisible());
    QCOMPARE(play->text(), QString("Play"));
    QCOMPARE(Time(pane), QString("0:00 / 0:10"));
    QCOMPARE(slider->maximum(), 10000);
    const bool device = RecordingPlayer::hasOutputDevice();
    QCOMPARE(note->text(), device ? QString() : QString("No audio output device is present."));
    // The same path again keeps the loaded recording.
    pane.setRecording(Voice("call.wav"), folder);
    QCOMPARE(pane.state(), PlayerPane::State::Ready);

    // Forward and back by 5 seconds, within the recording.
    Control<QToolButton>(pane, "PlayerForward")->click();
    QCOMPARE(Time(pane), QString("0:05 / 0:10"));
    QCOMPARE(slider->value(), 5000);
    Control<QToolButton>(pane, "PlayerForward")->click();
    Control<QToolButton>(pane, "PlayerForward")->click();
    QCOMPARE(Time(pane), QString("0:10 / 0:10"));
    Control<QToolButton>(pane, "PlayerBack")->click();
    QCOMPARE(Time(pane), QString("0:05 / 0:10"));
    for (int i = 0; i < 3; ++i)
        Control<QToolButton>(pane, "PlayerBack")->click();
    QCOMPARE(Time(pane), QString("0:00 / 0:10"));

    // A click on the waveform three quarters along, and the slider moved by the user.
    QTest::mouseClick(waveform, Qt::LeftButton, {}, QPoint(waveform->width() * 3 / 4, waveform->height() / 2));
    QCOMPARE(Time(pane), QString("0:07 / 0:10"));
    QVERIFY(std::abs(waveform->position() - 0.75) < 0.01);
    slider->setValue(2500);
    QCOMPARE(Time(pane), QString("0:02 / 0:10"));
    QVERIFY(std::abs(waveform->position() - 0.25) < 0.01);

    // The waveform shows the tone loud in its first half and soft in its second.
    const QImage strip = waveform->grab().toImage();
    const QColor ahead = WaveformStrip::coloursFor(waveform->palette()).ahead;
    auto drawnHeight = [&](int x) {
        int n = 0;
        for (int y = 0; y < strip.height(); ++y)
            n += strip.pixelColor(x, y) == ahead;
        return n;
    };
    const int loud = drawnHeight(strip.width() * 45 / 100);
    const int soft = drawnHeight(strip.width() * 95 / 100);
    QVERIFY2(loud > 2 * soft && soft > 0, qPrintable(QString("%1 %2").arg(loud).arg(soft)));

    // A speed change keeps the place. Its speed changer is made on a worker: the speed
    // heard stays until it is ready.
    auto *player = pane.findChild<RecordingPlayer *>();
    QVERIFY(player);
    Control<QComboBox>(pane, "PlayerSpeed")->setCurrentIndex(5);
    QCOMPARE(Control<QComboBox>(pane, "PlayerSpeed")->currentText(), QString("2 ×"));
    QVERIFY(player->isChangingSpeed());
    QCOMPARE(player->speed(), 1.0);
    QTRY_COMPARE(player->speed(), 2.0);
    QCOMPARE(Time(pane), QString("0:02 / 0:10"));
    // The volume slider sets the player's volume.
    Control<QSlider>(pane, "PlayerVolume")->setValue(30);
    QCOMPARE(player->volume(), 0.3);

    // Play: without an output device the pane says so and stays where it was.
    QSignalSpy clicked(play, &QPushButton::clicked);
    play->click();
    QCOMPARE(clicked.size(), 1);
    if (!device) {
        QCOMPARE(play->text(), QString("Play"));
        QCOMPARE(note->text(), QString("No audio output device is present."));
        QCOMPARE(Time(pane), QString("0:02 / 0:10"));
    } else {
        QCOMPARE(play->text(), QString("Pause"));
        play->click();
        QCOMPARE(play->text(), QString("Play"));
    }
    SaveScreenshot(&pane, "player-pane.png");

    // Space on a list the pane listens to works the Play button; Left and Right move 5
    // seconds back and forward.
    QListWidget list;
    pane.takePlaybackKeysFrom(&list);
    list.show();
    qsizetype clicks = clicked.size();
    QTest::keyClick(&list, Qt::Key_Space);
    QTRY_COMPARE(clicked.size(), clicks + 1);
    if (device)
        play->click();
    slider->setValue(2000);
    QTest::keyClick(&list, Qt::Key_Right);
    QCOMPARE(Time(pane), QString("0:07 / 0:10"));
    QTest::keyClick(&list, Qt::Key_Left);
    QTest::keyClick(&list, Qt::Key_Left);
    QCOMPARE(Time(pane), QString("0:00 / 0:10"));
    pane.clear();
    clicks = clicked.size();
    QTest::keyClick(&list, Qt::Key_Space); // nothing loaded: the list keeps the key
    QCOMPARE(clicked.size(), clicks);
}

namespace {

double Distance(const QColor &a, const QColor &b)
{
    return std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
}

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::AlternateBase, QColor(0x42, 0x42, 0x42));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(0x50, 0x50, 0x50));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    return dark;
}

void Wheel(QWidget *widget, const QPoint &at, int notches, Qt::KeyboardModifiers modifiers = {})
{
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

void PlayerPaneTest::waveformScaleZoomAndColours()
{
    PlayerPane pane;
    pane.resize(800, pane.sizeHint().height());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const RecordingFolder folder(m_backup);
    auto *waveform = Control<WaveformStrip>(pane, "PlayerWaveform");
    auto *slider = Control<QSlider>(pane, "PlayerPosition");

    // The call is named above the waveform.
    pane.setRecording(Voice("call.wav"), folder, "0123456  ·  2009-12-01 09:37:13  ·  Anna");
    QTRY_COMPARE(pane.state(), PlayerPane::State::Ready);
    QCOMPARE(Control<QLabel>(pane, "PlayerCaption")->text(), QString("0123456  ·  2009-12-01 09:37:13  ·  Anna"));
    QVERIFY(Control<QLabel>(pane, "PlayerCaption")->isVisible());

    // The waveform takes the height the pane gains.
    const int low = waveform->height();
    pane.resize(800, pane.height() + 120);
    QTRY_VERIFY2(waveform->height() >= low + 110, qPrintable(QString("%1 %2").arg(low).arg(waveform->height())));

    // The time scale under the waveform marks every second of the ten.
    WaveformStrip::Colours colours = WaveformStrip::coloursFor(waveform->palette());
    QImage image = waveform->grab().toImage();
    const int bandTop = waveform->height() - (waveform->fontMetrics().height() + 5);
    for (int second = 0; second < 10; ++second) {
        const int x = int(std::lround(second * waveform->width() / 10.0));
        QCOMPARE(image.pixelColor(x, bandTop + 3), colours.scale);
    }

    // The pointer: a line of its own colour and the time under it.
    const QPoint threeQuarters(waveform->width() * 3 / 4, 10);
    const QString pointerTime =
        WaveformStrip::timeText(std::llround(10000.0 * threeQuarters.x() / waveform->width()), true);
    QVERIFY(pointerTime.startsWith("0:07."));
    QTest::mouseMove(waveform, threeQuarters);
    QTRY_COMPARE(waveform->pointerText(), pointerTime);
    image = waveform->grab().toImage();
    int pointerPixels = 0;
    for (int y = 0; y < bandTop; ++y)
        pointerPixels += image.pixelColor(threeQuarters.x(), y) == colours.pointer;
    QVERIFY2(pointerPixels > 10, qPrintable(QString::number(pointerPixels)));

    // The wheel zooms around the pointer: the time under it stays; a scroll bar shows.
    auto *scroll = Control<QScrollBar>(pane, "PlayerScroll");
    QVERIFY(!scroll->isVisible());
    Wheel(waveform, threeQuarters, 3);
    QVERIFY2(waveform->zoom() > 1.9, qPrintable(QString::number(waveform->zoom())));
    // (Within the one column the view moves in: a few milliseconds.)
    const auto tenths = [](const QString &text) { return text.section(':', 1).toDouble() * 10; };
    QVERIFY2(waveform->pointerText().startsWith("0:07.")
                 && std::abs(tenths(waveform->pointerText()) - tenths(pointerTime)) <= 1.0,
             qPrintable(waveform->pointerText()));
    QVERIFY(scroll->isVisible());
    QVERIFY(std::abs((waveform->viewEnd() - waveform->viewStart()) * waveform->zoom() - 1.0) < 0.01);
    // + and − on the waveform zoom in and out.
    waveform->setFocus();
    const double zoom = waveform->zoom();
    QTest::keyClick(waveform, Qt::Key_Plus);
    QVERIFY(std::abs(waveform->zoom() - zoom * 1.25) < 1e-9);
    QTest::keyClick(waveform, Qt::Key_Minus);
    QVERIFY(std::abs(waveform->zoom() - zoom) < 1e-9);
    // Shift+wheel and the scroll bar move along the recording.
    const double start = waveform->viewStart();
    Wheel(waveform, threeQuarters, -2, Qt::ShiftModifier);
    QVERIFY(waveform->viewStart() > start);
    scroll->setValue(0);
    QCOMPARE(waveform->viewStart(), 0.0);

    // Left and Right on the waveform move 5 seconds.
    slider->setValue(1000);
    QTest::keyClick(waveform, Qt::Key_Right);
    QCOMPARE(Time(pane), QString("0:06 / 0:10"));
    QTest::keyClick(waveform, Qt::Key_Left);
    QCOMPARE(Time(pane), QString("0:01 / 0:10"));

    // The played part, the playback line and the pointer are drawn in colours of their own
    // that stand out from the background, in a light and in a dark palette.
    while (waveform->zoom() > 1.0)
        QTest::keyClick(waveform, Qt::Key_Minus);
    slider->setValue(5000);
    const QPalette original = QApplication::palette();
    for (const QPalette &palette : {QApplication::style()->standardPalette(), DarkPalette()}) {
        QApplication::setPalette(palette);
        QTRY_COMPARE(waveform->palette().color(QPalette::Base), palette.color(QPalette::Base));
        colours = WaveformStrip::coloursFor(waveform->palette());
        const QList<QColor> marks = {colours.ahead, colours.played, colours.position, colours.pointer};
        for (int i = 0; i < marks.size(); ++i) {
            QVERIFY2(WaveformStrip::contrast(marks[i], colours.background) >= (i == 2 ? 4.5 : 3.0),
                     qPrintable(marks[i].name()));
            for (int j = i + 1; j < marks.size(); ++j)
                QVERIFY2(Distance(marks[i], marks[j]) >= 60, qPrintable(marks[i].name() + ' ' + marks[j].name()));
        }
        QVERIFY(WaveformStrip::contrast(colours.scale, colours.background) >= 4.5);
        image = waveform->grab().toImage();
        const int middle = waveform->height() / 4;
        auto count = [&](int fromX, int toX, const QColor &colour) {
            int n = 0;
            for (int x = fromX; x < toX; ++x)
                for (int y = 0; y < bandTop; ++y)
                    n += image.pixelColor(x, y) == colour;
            return n;
        };
        const int half = waveform->width() / 2;
        QVERIFY(count(0, half - 2, colours.played) > 100);
        QCOMPARE(count(0, half - 2, colours.ahead), 0);
        QVERIFY(count(half + 2, waveform->width() * 2 / 3, colours.ahead) > 100);
        QVERIFY(count(half - 1, half + 1, colours.position) >= 2 * middle);
        QVERIFY(count(threeQuarters.x(), threeQuarters.x() + 1, colours.pointer) > 10);
    }
    QApplication::setPalette(original);

    // A recording shorter than a second shows its length in tenths.
    pane.setRecording(Voice("blip.wav"), folder);
    QTRY_COMPARE(pane.state(), PlayerPane::State::Ready);
    QCOMPARE(Time(pane), QString("0:00.0 / 0:00.2"));
    QVERIFY(!Control<QLabel>(pane, "PlayerCaption")->isVisible());
}

QTEST_MAIN(PlayerPaneTest)
#include "tst_playerpane.moc"

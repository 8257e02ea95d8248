// The player pane on the offscreen platform: the line it shows for each recording that
// cannot be played, loading off the window's thread, the controls of one that can, and
// moving about in it (buttons, slider, a click on the waveform, speed) with or without an
// audio output.
#include "GuiTestSupport.h"
#include "SoundFiles.h"
#include "app/PlayerPane.h"
#include "app/RecordingPlayer.h"
#include "app/WaveformStrip.h"
#include "query/RecordingFolder.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>

using namespace GuiTest;

class PlayerPaneTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_backup; // ends in "/"
    QString Voice(const QString &name) const { return m_backup + "voice/" + name; }

    static QString Line(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerLine")->text(); }
    static QString Time(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerTime")->text(); }

private slots:
    void initTestCase();
    void recordingsThatCannotBePlayed();
    void loadsAndMovesAbout();
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
    const QColor ahead = waveform->palette().color(QPalette::Text);
    auto drawnHeight = [&](int x) {
        int n = 0;
        for (int y = 0; y < strip.height(); ++y)
            n += strip.pixelColor(x, y) == ahead;
        return n;
    };
    const int loud = drawnHeight(strip.width() * 45 / 100);
    const int soft = drawnHeight(strip.width() * 95 / 100);
    QVERIFY2(loud > 2 * soft && soft > 0, qPrintable(QString("%1 %2").arg(loud).arg(soft)));

    // A speed change keeps the place.
    Control<QComboBox>(pane, "PlayerSpeed")->setCurrentIndex(5);
    QCOMPARE(Control<QComboBox>(pane, "PlayerSpeed")->currentText(), QString("2 ×"));
    QCOMPARE(Time(pane), QString("0:02 / 0:10"));

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

    // Space on a list the pane listens to works the Play button.
    QListWidget list;
    pane.takeSpaceKeyFrom(&list);
    list.show();
    QTest::keyClick(&list, Qt::Key_Space);
    QTRY_COMPARE(clicked.size(), 2);
    if (device)
        play->click();
    pane.clear();
    QTest::keyClick(&list, Qt::Key_Space); // nothing loaded: the list keeps the key
    QCOMPARE(clicked.size(), 2);
}

QTEST_MAIN(PlayerPaneTest)
#include "tst_playerpane.moc"

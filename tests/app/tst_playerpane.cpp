// The player pane on the offscreen platform: the line it shows for each recording that
// cannot be played, loading off the window's thread, the controls of one that can, and
// moving about in it (buttons, slider, a click on the waveform, keys, speed, volume) with
// or without an audio output; the waveform's height, time scale, pointer, zoom, scrolling
// and colours in a light and a dark palette; and the sound it plays, recorded from the
// output at 1x and 2x.
//
// The pane plays into a PulseAudio server of the test's own with one null sink, whose
// monitor parec records into a file: on Linux the test starts both itself (Debian's
// pulseaudio and pulseaudio-utils), so it never plays through the machine's own sound. Under
// Wine, scripts/test-windows.sh starts them on the Linux side, Wine's PulseAudio driver
// plays into the server, and ORVIK_TEST_PULSE_CAPTURE names the recording. With
// ORVIK_TEST_NO_AUDIO_SERVER set the test starts no server (the pane without an output).
#include "GuiTestSupport.h"
#include "SoundFiles.h"
#include "app/PlayerPane.h"
#include "app/RecordingPlayer.h"
#include "app/WaveformStrip.h"
#include "audio/SoundFileDecoder.h"
#include "audio/TimeStretcher.h"
#include "query/RecordingFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QThread>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

using namespace GuiTest;

namespace {

// The null sink's rate, at which its monitor is recorded: 6 times the recordings' 8000.
constexpr int kCaptureRate = 48000;
constexpr int kRate = 8000;

// A PulseAudio server with one null sink, and parec recording the sink's monitor as 16-bit
// mono samples into a file, which grows in real time while the server runs.
class AudioCapture
{
public:
    AudioCapture() = default;
    AudioCapture(const AudioCapture &) = delete;
    AudioCapture &operator=(const AudioCapture &) = delete;
    ~AudioCapture()
    {
        for (QProcess *process : {&m_recorder, &m_server}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    // Starts the server in `dir` and points this process's PulseAudio clients (Qt
    // Multimedia) at it; or takes the recording of a server started outside. Empty when it
    // records, else why not.
    QString start(const QString &dir);
    bool isRecording() const { return !m_path.isEmpty(); }
    // The bytes recorded so far.
    qint64 size() const { return QFileInfo(m_path).size(); }
    // The samples recorded from byte `from` on.
    std::vector<qint16> samplesFrom(qint64 from) const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(from & ~qint64(1)))
            return {};
        const QByteArray bytes = file.readAll();
        std::vector<qint16> samples(size_t(bytes.size()) / 2);
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    QString m_path;
    QProcess m_server;
    QProcess m_recorder;
};

QString AudioCapture::start(const QString &dir)
{
    const QString given = qEnvironmentVariable("ORVIK_TEST_PULSE_CAPTURE");
    if (!given.isEmpty()) {
        if (!QFileInfo::exists(given))
            return "ORVIK_TEST_PULSE_CAPTURE names no file: " + given;
        m_path = given;
        return QString();
    }
#ifdef Q_OS_WIN
    Q_UNUSED(dir);
    return "no PulseAudio server: under Wine, scripts/test-windows.sh starts one and names its "
           "recording in ORVIK_TEST_PULSE_CAPTURE";
#else
    const QString daemon = QStandardPaths::findExecutable("pulseaudio");
    const QString recorder = QStandardPaths::findExecutable("parec");
    if (daemon.isEmpty() || recorder.isEmpty())
        return "pulseaudio or parec is not installed (Debian's pulseaudio and pulseaudio-utils)";
    if (!QDir().mkpath(dir + "/home") || !QDir().mkpath(dir + "/runtime"))
        return "cannot make " + dir;
    // Everything of the server's in `dir`, and nothing of a desktop session's: no session
    // bus (a second server there would fail to take the bus name of the first) and no
    // server address of its own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER"})
        env.remove(name);
    env.insert("HOME", dir + "/home");
    env.insert("XDG_CONFIG_HOME", dir + "/home/config");
    env.insert("XDG_RUNTIME_DIR", dir + "/runtime");
    env.insert("PULSE_RUNTIME_PATH", dir + "/runtime");
    env.insert("PULSE_STATE_PATH", dir + "/state");
    const QString socket = dir + "/runtime/native";
    const QString log = dir + "/pulseaudio.log";
    m_server.setProcessEnvironment(env);
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(log);
    // No configuration file (-n), no pid file, no real-time scheduling; it stays until it
    // is ended. Run as root (as CI runs) it warns and goes on.
    m_server.start(daemon,
                   {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--use-pid-file=false",
                    "--realtime=false", "--high-priority=false", "--log-target=stderr",
                    QStringLiteral("--load=module-null-sink sink_name=orvik_null rate=%1 channels=1 format=s16le")
                        .arg(kCaptureRate),
                    "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    auto failed = [&](const QString &what) {
        return what + " (" + daemon + "): " + QString::fromLocal8Bit(TestFiles::read(log)).trimmed();
    };
    if (!m_server.waitForStarted())
        return failed("pulseaudio did not start");
    const QString address = "unix:" + socket;
    for (QDeadlineTimer deadline(10000); !QFileInfo::exists(socket); QThread::msleep(20)) {
        if (m_server.state() == QProcess::NotRunning || deadline.hasExpired())
            return failed("pulseaudio did not open its socket");
    }
    m_recorder.setProcessEnvironment(env);
    m_recorder.setStandardOutputFile(dir + "/capture.raw");
    m_recorder.setStandardErrorFile(dir + "/parec.log");
    m_recorder.start(recorder, {"--server=" + address, "--device=orvik_null.monitor", "--raw", "--format=s16le",
                                QStringLiteral("--rate=%1").arg(kCaptureRate), "--channels=1", "--latency-msec=10"});
    m_path = dir + "/capture.raw";
    for (QDeadlineTimer deadline(10000); size() == 0; QThread::msleep(20)) {
        if (m_recorder.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_path.clear();
            return "parec records nothing: " + QString::fromLocal8Bit(TestFiles::read(dir + "/parec.log")).trimmed();
        }
    }
    // Read by Qt Multimedia's PulseAudio backend when it first connects.
    qputenv("PULSE_SERVER", address.toLocal8Bit());
    return QString();
#endif
}

// `samples` at a sixth of their rate, through a low-pass filter (a Blackman-windowed sinc
// cutting at 3.6 kHz of 48 kHz), as numbers of full scale +-1.
std::vector<double> decimateBySix(const std::vector<qint16> &samples)
{
    constexpr int kTaps = 121;
    constexpr double kCutoff = 3600.0 / kCaptureRate;
    std::vector<double> filter(kTaps);
    double sum = 0;
    for (int i = 0; i < kTaps; ++i) {
        const double x = i - (kTaps - 1) / 2.0;
        const double sinc =
            x == 0 ? 2 * kCutoff : std::sin(2 * std::numbers::pi * kCutoff * x) / (std::numbers::pi * x);
        const double phase = 2 * std::numbers::pi * i / (kTaps - 1);
        filter[size_t(i)] = sinc * (0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2 * phase));
        sum += filter[size_t(i)];
    }
    std::vector<double> out;
    for (size_t centre = 0; centre < samples.size(); centre += 6) {
        double y = 0;
        for (int i = 0; i < kTaps; ++i) {
            const qint64 at = qint64(centre) + i - (kTaps - 1) / 2;
            if (at >= 0 && at < qint64(samples.size()))
                y += filter[size_t(i)] * samples[size_t(at)];
        }
        out.push_back(y / sum / 32768.0);
    }
    return out;
}

std::vector<double> asDoubles(const std::vector<qint16> &samples)
{
    std::vector<double> out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(), [](qint16 s) { return s / 32768.0; });
    return out;
}

// The correlation of `reference` with `signal` from `lag` on (beyond its ends: silence).
double correlationAt(const std::vector<double> &reference, const std::vector<double> &signal, qint64 lag)
{
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const qint64 at = lag + qint64(i);
        const double y = at >= 0 && at < qint64(signal.size()) ? signal[size_t(at)] : 0.0;
        xy += reference[i] * y;
        xx += reference[i] * reference[i];
        yy += y * y;
    }
    return xy / std::sqrt(xx * yy + 1e-18);
}

// The first sample louder than a tenth of the loudest.
qint64 onset(const std::vector<double> &samples)
{
    double loudest = 0;
    for (const double s : samples)
        loudest = std::max(loudest, std::abs(s));
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > loudest / 10)
            return qint64(i);
    }
    return -1;
}

// Where `reference` lies in `signal`: near where their sounds start, the place of the best
// correlation within 50 ms either way. Returns the place and the correlation there.
std::pair<qint64, double> locate(const std::vector<double> &reference, const std::vector<double> &signal)
{
    const qint64 start = onset(signal) - onset(reference);
    std::pair<qint64, double> best{start, -1.0};
    for (qint64 lag = start - kRate / 20; lag <= start + kRate / 20; ++lag) {
        const double c = correlationAt(reference, signal, lag);
        if (c > best.second)
            best = {lag, c};
    }
    return best;
}

// The strongest frequency between 60 and 1000 Hz in `samples[from, to)` (Hann window,
// 1 Hz steps, refined between the neighbouring steps).
double dominantFrequency(const std::vector<double> &samples, qint64 from, qint64 to)
{
    from = std::max<qint64>(from, 0);
    to = std::min<qint64>(to, qint64(samples.size()));
    const qint64 n = to - from;
    if (n < kRate / 50)
        return 0;
    auto power = [&](double hertz) {
        double re = 0, im = 0;
        for (qint64 i = 0; i < n; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n - 1));
            const double phase = 2 * std::numbers::pi * hertz * double(i) / kRate;
            re += w * samples[size_t(from + i)] * std::cos(phase);
            im -= w * samples[size_t(from + i)] * std::sin(phase);
        }
        return re * re + im * im;
    };
    std::vector<double> spectrum;
    for (int hertz = 60; hertz <= 1000; ++hertz)
        spectrum.push_back(power(hertz));
    const size_t peak = size_t(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin());
    double shift = 0;
    if (peak > 0 && peak + 1 < spectrum.size()) {
        const double a = spectrum[peak - 1], b = spectrum[peak], c = spectrum[peak + 1];
        if (a - 2 * b + c != 0)
            shift = 0.5 * (a - c) / (a - 2 * b + c);
    }
    return 60.0 + double(peak) + shift;
}

} // namespace

class PlayerPaneTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_backup; // ends in "/"
    AudioCapture m_capture;
    QString m_noCapture; // why nothing records the output, when nothing does
    QString Voice(const QString &name) const { return m_backup + "voice/" + name; }

    static QString Line(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerLine")->text(); }
    static QString Time(PlayerPane &pane) { return Control<QLabel>(pane, "PlayerTime")->text(); }

private slots:
    void initTestCase();
    void recordingsThatCannotBePlayed();
    void loadsAndMovesAbout();
    void waveformScaleZoomAndColours();
    void playsWhatWasDecoded_data();
    void playsWhatWasDecoded();
};

// The syllables of the speech-like recording: their pitches, 0.4 s each, each after 0.1 s
// of silence.
static const std::vector<double> kPitches = {140, 185, 160, 210, 150, 195, 170, 225};
constexpr double kSyllableSeconds = 0.4;
constexpr double kGapSeconds = 0.1;

void PlayerPaneTest::initTestCase()
{
    // Before anything asks Qt Multimedia for an output: it connects to the server once.
    if (qEnvironmentVariableIsSet("ORVIK_TEST_NO_AUDIO_SERVER"))
        m_noCapture = "ORVIK_TEST_NO_AUDIO_SERVER is set";
    else
        m_noCapture = m_capture.start(m_dir.filePath("pulse"));
    if (!m_noCapture.isEmpty())
        qWarning("The output is not recorded: %s", qPrintable(m_noCapture));
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
    QVERIFY(SoundFiles::write(Voice("speech.wav"), SF_FORMAT_WAV | SF_FORMAT_GSM610, kRate,
                              SoundFiles::speechLike(kPitches, kSyllableSeconds, kGapSeconds, kRate)));
    QVERIFY(TestFiles::write(Voice("empty.wav"), QByteArray()));
    QVERIFY(TestFiles::write(Voice("noise.wav"), QByteArray(4000, 'n')));
    QVERIFY(TestFiles::write(m_dir.filePath("elsewhere.wav"), TestFiles::read(Voice("short.wav"))));
#ifndef _WIN32
    // (QFile::link makes a shortcut on Windows, an ordinary file.)
    QVERIFY(QFile::link(m_dir.filePath("elsewhere.wav"), Voice("link.wav")));
#endif
}

void PlayerPaneTest::recordingsThatCannotBePlayed()
{
    PlayerPane pane;
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const RecordingFolder folder(m_backup);
    QCOMPARE(pane.state(), PlayerPane::State::Idle);
    QCOMPARE(Line(pane), QString("Select a call to listen to its recording."));

    struct Case
    {
        QString path;
        QString line;
    };
    std::vector<Case> cases = {
        {"", "This call has no recording file."},
        {"DEL", "The recording file of this call has been deleted."},
        {Voice("gone.wav"), "The recording file was not found: " + Voice("gone.wav")},
        {Voice("../../elsewhere.wav"), "The recording file lies outside the backup's voice folder and is not played."},
    };
#ifndef _WIN32
    cases.push_back(
        {Voice("link.wav"), "The recording file lies outside the backup's voice folder and is not played."});
#endif
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

    // The time scale under the waveform marks every second of the ten. (Under Wine the
    // substitute font's wider times leave room for every other second only.)
    WaveformStrip::Colours colours = WaveformStrip::coloursFor(waveform->palette());
    QImage image = waveform->grab().toImage();
    const int bandTop = waveform->height() - (waveform->fontMetrics().height() + 5);
#ifndef Q_OS_WIN
    for (int second = 0; second < 10; ++second) {
        const int x = int(std::lround(second * waveform->width() / 10.0));
        QCOMPARE(image.pixelColor(x, bandTop + 3), colours.scale);
    }
#endif

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

void PlayerPaneTest::playsWhatWasDecoded_data()
{
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<double>("speed");
    QTest::newRow("1x") << 2 << 1.0;
    QTest::newRow("2x") << 5 << 2.0;
}

// The speech-like recording played through the pane into the null sink: what the sink's
// monitor recorded, brought to the recording's rate, must be what the decoder made of the
// file (at 2x: what the speed changer makes of that), at the same pitch, and heard at the
// place the pane's slider showed at that moment.
void PlayerPaneTest::playsWhatWasDecoded()
{
    QFETCH(int, speedIndex);
    QFETCH(double, speed);
    if (!m_capture.isRecording()) {
        // CI installs PulseAudio (scripts/setup.sh --tests): there the test must run.
        if (qEnvironmentVariableIsSet("CI") && !qEnvironmentVariableIsSet("ORVIK_TEST_NO_AUDIO_SERVER"))
            QFAIL(qPrintable("The output cannot be recorded: " + m_noCapture));
        QSKIP(qPrintable("The output cannot be recorded: " + m_noCapture));
    }
    QVERIFY2(RecordingPlayer::hasOutputDevice(), "the null sink is not an audio output");

    const DecodedAudio decoded = SoundFileDecoder::decode(Voice("speech.wav"));
    QVERIFY(decoded.isValid());
    QCOMPARE(decoded.sampleRate(), kRate);
    // What the pane sends to the output: the decoded samples, at 2x through the same speed
    // changer from the start.
    std::vector<qint16> sent = decoded.samples();
    if (speed != 1.0) {
        TimeStretcher stretcher(decoded.samples(), decoded.sampleRate());
        stretcher.setSpeed(speed);
        stretcher.seek(0);
        sent.clear();
        qint16 buffer[1024];
        while (const qint64 got = stretcher.read(buffer, 1024))
            sent.insert(sent.end(), buffer, buffer + got);
    }
    const std::vector<double> reference = asDoubles(sent);

    PlayerPane pane;
    pane.resize(800, pane.sizeHint().height());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setRecording(Voice("speech.wav"), RecordingFolder(m_backup));
    QTRY_COMPARE(pane.state(), PlayerPane::State::Ready);
    Control<QComboBox>(pane, "PlayerSpeed")->setCurrentIndex(speedIndex);
    // The speed changer is made on a worker; until it is there the pane plays on at 1x,
    // which is not what the reference holds.
    auto *player = pane.findChild<RecordingPlayer *>();
    QVERIFY(player);
    QTRY_COMPARE(player->speed(), speed);
    auto *play = Control<QPushButton>(pane, "PlayerPlay");
    auto *slider = Control<QSlider>(pane, "PlayerPosition");
    QCOMPARE(slider->value(), 0);

    // Each place the slider shows while playing, with how much had been recorded then.
    struct Shown
    {
        qint64 recordedBytes;
        int ms;
    };
    std::vector<Shown> shown;
    connect(slider, &QSlider::valueChanged, &pane, [&](int ms) { shown.push_back({m_capture.size(), ms}); });
    const qint64 before = m_capture.size();
    play->click();
    QCOMPARE(play->text(), QString("Pause"));
    const int playMs = int(double(decoded.durationMs()) / speed);
    QTRY_COMPARE_WITH_TIMEOUT(play->text(), QString("Play"), playMs + 10000);
    // What the output still held when the pane stopped reaches the recording.
    QTest::qWait(500);
    const std::vector<double> recorded = decimateBySix(m_capture.samplesFrom(before));

    // The same sound: the recording correlates with what was sent.
    const auto [lag, correlation] = locate(reference, recorded);
    qInfo("%s: correlation %.4f; sound from %.3f s after Play", QTest::currentDataTag(), correlation,
          double(lag) / kRate);
    QVERIFY2(correlation >= 0.9, qPrintable(QString::number(correlation)));
    // After Play was pressed (give or take the few milliseconds of its own delay that a
    // resampler may leave out at the start: Wine's does).
    QVERIFY2(lag >= -kRate / 100, qPrintable(QString::number(lag)));
    // To its end: the last 200 ms that were sent are heard too.
    const qint64 tail = kRate / 5;
    const std::vector<double> lastSent(reference.end() - tail, reference.end());
    const double end = correlationAt(lastSent, recorded, lag + qint64(reference.size()) - tail);
    qInfo("%s: the last 200 ms sent correlate %.4f with the recording there", QTest::currentDataTag(), end);
    QVERIFY2(end >= 0.9, qPrintable(QString::number(end)));

    // At the same pitch: each syllable's strongest frequency, in the file and as heard.
    const qint64 step = qint64((kSyllableSeconds + kGapSeconds) * kRate);
    const qint64 voiced = qint64(kSyllableSeconds * kRate);
    const std::vector<double> original = asDoubles(decoded.samples());
    for (size_t k = 0; k < kPitches.size(); ++k) {
        const qint64 start = qint64(k) * step + (step - voiced);
        const qint64 from = start + voiced / 4, to = start + voiced * 3 / 4;
        const double inFile = dominantFrequency(original, from, to);
        const double heard =
            dominantFrequency(recorded, lag + qint64(double(from) / speed), lag + qint64(double(to) / speed));
        QVERIFY2(std::abs(inFile - kPitches[k]) < kPitches[k] * 0.03,
                 qPrintable(QString("syllable %1: %2 Hz in the file").arg(k).arg(inFile)));
        QVERIFY2(std::abs(heard - inFile) <= inFile * 0.03,
                 qPrintable(QString("syllable %1: %2 Hz in the file, %3 Hz heard").arg(k).arg(inFile).arg(heard)));
    }

    // Heard where the pane showed: the sample of the recording that was being recorded
    // when the slider moved is the one the slider named (at 2x, twice as far into the file
    // as into what was sent).
    qint64 worst = 0;
    int compared = 0;
    for (const Shown &s : shown) {
        const qint64 sentSample = (s.recordedBytes - (before & ~qint64(1))) / 2 / 6 - lag;
        if (sentSample <= 0 || sentSample >= qint64(sent.size()))
            continue;
        const qint64 heardMs = qint64(double(sentSample) * speed * 1000.0 / kRate);
        if (std::abs(s.ms - heardMs) > std::abs(worst))
            worst = s.ms - heardMs;
        ++compared;
    }
    qInfo("%s: %d places shown while playing; the farthest from what was heard by then: %lld ms",
          QTest::currentDataTag(), compared, worst);
    QVERIFY2(compared >= playMs / 100, qPrintable(QString::number(compared)));
    QVERIFY2(std::abs(worst) <= 100, qPrintable(QString::number(worst)));
}

QTEST_MAIN(PlayerPaneTest)
#include "tst_playerpane.moc"

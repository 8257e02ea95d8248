#pragma once

#include "audio/DecodedAudio.h"
#include "audio/RecordingLoader.h"
#include "query/RecordingFolder.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTimer;
class QToolButton;
class RecordingPlayer;
class WaveformStrip;

// The pane under a result list that plays the recording of the chosen row: the call named
// on top (number, start time, user), the waveform of the recording (which a click moves
// playback on, with a time scale, zoom and scrolling; it takes the height the pane is
// given), then Play/Pause, back and forward 5 seconds, a position slider with elapsed and
// total time (in tenths for a recording shorter than a second), the speed, the volume and
// a toggle that plays the next call of the list when one ends. Choosing a row only loads
// its recording (decoded on another thread); a recording that cannot be played shows one
// line saying why instead of the controls. Without an audio output the pane still loads,
// draws and moves, and says that no output device is present.
class PlayerPane : public QWidget
{
    Q_OBJECT

public:
    enum class State { Idle, Loading, Unplayable, Ready };

    explicit PlayerPane(QWidget *parent = nullptr);
    ~PlayerPane() override;

    // Shows the recording a list row names: `path` is the row's recording cell (a path,
    // "DEL" or empty), checked against the voice folder of the row's backup. Nothing
    // plays until asked; the same path again keeps what is shown.
    // `caption` names the call above the waveform.
    void setRecording(const QString &path, const RecordingFolder &folder, const QString &caption = QString());
    // No row chosen: stops and empties the pane.
    void clear();
    // Plays the recording shown as soon as it is loaded (at once when it is).
    void playWhenReady();
    // Keys on `list` (while it has the focus) that work the player: Space plays or pauses,
    // Left and Right move back and forward 5 seconds. The waveform takes them too.
    void takePlaybackKeysFrom(QWidget *list);

    State state() const { return m_state; }
    const QString &recordingPath() const { return m_path; }
    bool isPlaying() const;

    QSize sizeHint() const override;

signals:
    // A recording played to its end with the toggle on: the list should move its current
    // row down one. The pane then plays what the new row names.
    void nextCallWanted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showLine(const QString &text, State state);
    void onLoaded(const QString &path, std::shared_ptr<const DecodedAudio> audio, WaveformPeaks peaks);
    void togglePlayback();
    void moveBy(qint64 ms);
    void moveTo(qint64 ms);
    void refresh();
    void updatePlayButton(bool playing);
    void onFinished();

    QString m_path;
    State m_state = State::Idle;
    bool m_playWhenLoaded = false;
    quint64 m_choices = 0; // counts setRecording() and clear() calls
    RecordingLoader m_loader;
    RecordingPlayer *m_player = nullptr;

    QLabel *m_caption = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_line = nullptr;
    WaveformStrip *m_waveform = nullptr;
    QPushButton *m_play = nullptr;
    QToolButton *m_back = nullptr;
    QToolButton *m_forward = nullptr;
    QSlider *m_slider = nullptr;
    QLabel *m_time = nullptr;
    QComboBox *m_speed = nullptr;
    QSlider *m_volume = nullptr;
    QToolButton *m_continuous = nullptr;
    QLabel *m_note = nullptr;
    QTimer *m_ticker = nullptr;
    bool m_refreshing = false;
};

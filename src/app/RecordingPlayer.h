#pragma once

#include "audio/DecodedAudio.h"

#include <QAudio>
#include <QDeadlineTimer>
#include <QObject>

#include <memory>

class PlaybackSource;
class QAudioSink;
class TaskRunner;
class QTimer;

// Plays a decoded recording through the default audio output (Qt Multimedia's QAudioSink
// pulling from a PlaybackSource). Position, speed and volume can be changed whether or not
// it plays, and without any audio output at all: only playing needs one. A speed other
// than the recording's own reads through a speed changer made on a worker thread; until
// it is ready the recording goes on at the speed it had.
class RecordingPlayer : public QObject
{
    Q_OBJECT

public:
    enum class Failure { NoDevice, Output };

    explicit RecordingPlayer(QObject *parent = nullptr);
    ~RecordingPlayer() override;

    // The recording to play, from its start (null: none). Playback stops.
    void setAudio(std::shared_ptr<const DecodedAudio> audio);
    bool hasAudio() const { return m_audio != nullptr; }

    // Whether the system has an audio output now (one may be plugged in at any time).
    static bool hasOutputDevice();

    bool isPlaying() const { return m_playing; }
    // Starts playing, from the start again after the end. False when there is no output
    // device or it fails; failed() says which.
    bool play();
    void pause();

    qint64 durationMs() const;
    // What is heard now, in milliseconds from the start.
    qint64 positionMs() const;
    void seekMs(qint64 ms);
    // The speed wanted from now on; it is heard once its speed changer is ready.
    void setSpeed(double speed);
    // The speed heard now.
    double speed() const;
    // Whether a speed changer is still being made.
    bool isChangingSpeed() const;
    // 0 (silent) to 1 (as recorded).
    void setVolume(double volume);
    double volume() const { return m_volume; }

signals:
    void playingChanged(bool playing);
    // Played to the end (after playingChanged(false)).
    void finished();
    void failed(RecordingPlayer::Failure failure);

private:
    qint64 heldSamples() const;
    qint64 audibleSample() const;
    bool startOutput();
    void stopOutput();
    void onOutputState(QAudio::State state);
    void finishWhenPlayedOut();
    void setPlaying(bool playing);
    void makeStretcher();

    std::shared_ptr<const DecodedAudio> m_audio;
    std::unique_ptr<PlaybackSource> m_source;
    QAudioSink *m_sink = nullptr;
    TaskRunner *m_stretchRunner = nullptr;
    // After the source's end: until the output has played what it holds.
    QTimer *m_endCheck = nullptr;
    QDeadlineTimer m_endDeadline;
    double m_speed = 1.0; // wanted
    double m_volume = 1.0;
    bool m_playing = false;
};

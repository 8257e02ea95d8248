#pragma once

#include "audio/DecodedAudio.h"

#include <QAudio>
#include <QObject>

#include <memory>

class PlaybackSource;
class QAudioSink;

// Plays a decoded recording through the default audio output (Qt Multimedia's QAudioSink
// pulling from a PlaybackSource). Position and speed can be changed whether or not it
// plays, and without any audio output at all: only playing needs one.
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
    void setSpeed(double speed);
    double speed() const { return m_speed; }

signals:
    void playingChanged(bool playing);
    void failed(RecordingPlayer::Failure failure);

private:
    qint64 audibleSample() const;
    bool startOutput();
    void stopOutput();
    void onOutputState(QAudio::State state);
    void setPlaying(bool playing);

    std::shared_ptr<const DecodedAudio> m_audio;
    std::unique_ptr<PlaybackSource> m_source;
    QAudioSink *m_sink = nullptr;
    double m_speed = 1.0;
    bool m_playing = false;
};

#pragma once

#include "audio/DecodedAudio.h"
#include "audio/TimeStretcher.h"

#include <QIODevice>
#include <QMutex>

#include <memory>

// A decoded recording as a stream of 16-bit mono samples for an audio output to pull,
// from a position that can be moved and at a speed that can be changed while it plays.
// The output may read from a thread of its own, so every access takes a lock.
class PlaybackSource : public QIODevice
{
    Q_OBJECT

public:
    explicit PlaybackSource(std::shared_ptr<const DecodedAudio> audio, QObject *parent = nullptr);

    const DecodedAudio &audio() const { return *m_audio; }

    // The sample that is read next, and moving it.
    qint64 samplePosition() const;
    void setSamplePosition(qint64 sample);
    void setSpeed(double speed);
    double speed() const;

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    mutable QMutex m_lock;
    std::shared_ptr<const DecodedAudio> m_audio;
    TimeStretcher m_stretcher;
};

#pragma once

#include "audio/DecodedAudio.h"
#include "audio/TimeStretcher.h"

#include <QIODevice>
#include <QMutex>

#include <memory>

// A decoded recording as a stream of 16-bit mono samples for an audio output to pull,
// from a position that can be moved and at a speed that can be changed while it plays.
// The output may read from a thread of its own, so every access takes a lock.
//
// At the recording's own speed the samples are copied as they are. Another speed reads
// through a speed changer (TimeStretcher), whose size grows with the sample rate: it is
// made by makeStretcher() on a worker thread and handed over with setStretcher(), and
// until then the source plays on at the speed it had.
class PlaybackSource : public QIODevice
{
    Q_OBJECT

public:
    explicit PlaybackSource(std::shared_ptr<const DecodedAudio> audio, QObject *parent = nullptr);

    const DecodedAudio &audio() const { return *m_audio; }

    // The sample that is read next, and moving it.
    qint64 samplePosition() const;
    void setSamplePosition(qint64 sample);
    // A speed changer for `audio` at `speed`, for setStretcher(); any thread. Null for
    // speed 1, which needs none. It reads the samples of `audio`, which must outlive it.
    static std::shared_ptr<TimeStretcher> makeStretcher(const DecodedAudio &audio, double speed);
    // Plays on through `stretcher` (made for this source's recording; null: at the
    // recording's own speed) from the current position.
    void setStretcher(std::shared_ptr<TimeStretcher> stretcher);
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
    std::shared_ptr<TimeStretcher> m_stretcher; // null at speed 1
    qint64 m_direct = 0;                        // at speed 1: the next sample
};

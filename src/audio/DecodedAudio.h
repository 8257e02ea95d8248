#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// A recording decoded into memory: one channel of 16-bit samples at the file's own sample
// rate (the channels of a stereo file are mixed into one), or the reason it could not be
// decoded. Shared read-only between the player and the waveform once made.
class DecodedAudio
{
public:
    enum class Failure {
        None,
        Unreadable,   // the file does not open
        Empty,        // no bytes, or no sound in them
        NotDecodable, // not a sound file the decoder knows
        TooLong,      // more samples than are kept in memory
        Cancelled,    // a newer request replaced this one
    };

    DecodedAudio() = default;
    DecodedAudio(int sampleRate, std::vector<qint16> samples);
    static DecodedAudio failed(Failure failure, const QString &reason = QString());

    bool isValid() const { return m_failure == Failure::None; }
    Failure failure() const { return m_failure; }
    // What the decoder said, for NotDecodable and Unreadable (not translated).
    const QString &reason() const { return m_reason; }

    int sampleRate() const { return m_sampleRate; }
    qint64 sampleCount() const { return qint64(m_samples.size()); }
    const std::vector<qint16> &samples() const { return m_samples; }

    qint64 durationMs() const { return msAt(sampleCount()); }
    qint64 msAt(qint64 sample) const;
    // The sample at `ms` milliseconds, kept within the recording.
    qint64 sampleAt(qint64 ms) const;

private:
    Failure m_failure = Failure::Empty;
    QString m_reason;
    int m_sampleRate = 0;
    std::vector<qint16> m_samples;
};

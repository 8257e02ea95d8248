#include "audio/DecodedAudio.h"

#include <algorithm>

DecodedAudio::DecodedAudio(int sampleRate, std::vector<qint16> samples)
    : m_failure(samples.empty() || sampleRate <= 0 ? Failure::Empty : Failure::None)
    , m_sampleRate(sampleRate)
    , m_samples(std::move(samples))
{}

DecodedAudio DecodedAudio::failed(Failure failure, const QString &reason)
{
    DecodedAudio audio;
    audio.m_failure = failure;
    audio.m_reason = reason;
    return audio;
}

qint64 DecodedAudio::msAt(qint64 sample) const
{
    return m_sampleRate > 0 ? sample * 1000 / m_sampleRate : 0;
}

qint64 DecodedAudio::sampleAt(qint64 ms) const
{
    if (m_sampleRate <= 0)
        return 0;
    return std::clamp<qint64>(ms * m_sampleRate / 1000, 0, sampleCount());
}

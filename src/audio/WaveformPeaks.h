#pragma once

#include "audio/DecodedAudio.h"

#include <QtGlobal>

#include <memory>
#include <vector>

// The lowest and the highest sample of a stretch of a recording.
class WaveformPeak
{
public:
    constexpr WaveformPeak() = default;
    constexpr WaveformPeak(qint16 low, qint16 high) : m_low(low), m_high(high) {}
    constexpr qint16 low() const { return m_low; }
    constexpr qint16 high() const { return m_high; }
    constexpr bool operator==(const WaveformPeak &) const = default;

private:
    qint16 m_low = 0;
    qint16 m_high = 0;
};

// The outline of a whole recording for a waveform strip: for any number of columns, the
// peaks of each of that many equal slices. A summary of fixed blocks is made once, so a
// strip that changes its width asks again without reading every sample.
class WaveformPeaks
{
public:
    WaveformPeaks() = default;
    explicit WaveformPeaks(std::shared_ptr<const DecodedAudio> audio);

    bool isEmpty() const { return !m_audio || m_audio->sampleCount() == 0; }
    // Column c covers samples [c·n/count, (c+1)·n/count); when there are fewer samples
    // than columns, a column shows the one sample it falls on.
    std::vector<WaveformPeak> columns(int count) const;

private:
    static constexpr qint64 kBlock = 256;

    WaveformPeak peakOfSamples(qint64 begin, qint64 end) const;

    std::shared_ptr<const DecodedAudio> m_audio;
    std::vector<WaveformPeak> m_blocks; // block b covers samples [b·kBlock, (b+1)·kBlock)
};

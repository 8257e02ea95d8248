#include "audio/WaveformPeaks.h"

#include <algorithm>

namespace {

WaveformPeak merged(const WaveformPeak &a, const WaveformPeak &b)
{
    return WaveformPeak(std::min(a.low(), b.low()), std::max(a.high(), b.high()));
}

// Starts a running peak that any sample widens.
constexpr WaveformPeak kNoPeak(32767, -32768);

} // namespace

WaveformPeaks::WaveformPeaks(std::shared_ptr<const DecodedAudio> audio) : m_audio(std::move(audio))
{
    if (isEmpty())
        return;
    const qint64 count = m_audio->sampleCount();
    m_blocks.reserve(size_t((count + kBlock - 1) / kBlock));
    for (qint64 begin = 0; begin < count; begin += kBlock)
        m_blocks.push_back(peakOfSamples(begin, std::min(begin + kBlock, count)));
}

WaveformPeak WaveformPeaks::peakOfSamples(qint64 begin, qint64 end) const
{
    const std::vector<qint16> &samples = m_audio->samples();
    WaveformPeak peak = kNoPeak;
    for (qint64 i = begin; i < end; ++i)
        peak = merged(peak, WaveformPeak(samples[size_t(i)], samples[size_t(i)]));
    return peak;
}

std::vector<WaveformPeak> WaveformPeaks::columns(int count) const
{
    std::vector<WaveformPeak> result;
    if (isEmpty() || count <= 0)
        return result;
    const qint64 n = m_audio->sampleCount();
    result.reserve(size_t(count));
    for (qint64 c = 0; c < count; ++c) {
        const qint64 begin = c * n / count;
        const qint64 end = std::max((c + 1) * n / count, begin + 1);
        // Whole blocks from the summary, the ragged ends sample by sample.
        const qint64 firstWhole = (begin + kBlock - 1) / kBlock;
        const qint64 endWhole = end / kBlock;
        if (firstWhole >= endWhole) {
            result.push_back(peakOfSamples(begin, end));
            continue;
        }
        WaveformPeak peak = merged(peakOfSamples(begin, firstWhole * kBlock), peakOfSamples(endWhole * kBlock, end));
        for (qint64 b = firstWhole; b < endWhole; ++b)
            peak = merged(peak, m_blocks[size_t(b)]);
        result.push_back(peak);
    }
    return result;
}

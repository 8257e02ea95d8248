#pragma once
// Recordings for tests, written by libsndfile in any of its formats.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace SoundFiles {

// `seconds` of a sine of `hertz` at `amplitude` (of full scale), `rate` samples a second.
inline std::vector<double> sine(double hertz, double seconds, int rate, double amplitude = 0.5)
{
    std::vector<double> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(2.0 * std::numbers::pi * hertz * double(i) / rate);
    return samples;
}

// Something like speech, `rate` samples a second: one syllable per pitch in `pitches`, each
// after `gap` seconds of silence and `syllable` seconds long, its loudness rising over its
// first 80 ms and falling over its last 80 ms. A syllable is its pitch with five overtones,
// each weaker than the one below, so the pitch is the strongest frequency in it. The
// recording ends in the middle of the sound of the last syllable's fall.
inline std::vector<double> speechLike(const std::vector<double> &pitches, double syllable, double gap, int rate)
{
    const size_t silent = size_t(gap * rate);
    const size_t voiced = size_t(syllable * rate);
    const double ramp = 0.08 * rate;
    std::vector<double> samples((silent + voiced) * pitches.size());
    for (size_t k = 0; k < pitches.size(); ++k) {
        for (size_t i = 0; i < voiced; ++i) {
            const double t = double(i) / rate;
            const double edge = std::min(double(i), double(voiced - i)) / ramp;
            const double envelope = edge >= 1 ? 1.0 : std::pow(std::sin(std::numbers::pi / 2 * edge), 2);
            double sum = 0;
            for (int harmonic = 1; harmonic <= 6; ++harmonic)
                sum += std::sin(2.0 * std::numbers::pi * pitches[k] * harmonic * t) / harmonic;
            samples[k * (silent + voiced) + silent + i] = 0.3 * envelope * sum;
        }
    }
    return samples;
}

// Writes `frames` (interleaved when `channels` > 1, each -1..1) with libsndfile's `format`
// (e.g. SF_FORMAT_WAV | SF_FORMAT_GSM610).
inline bool write(const QString &path, int format, int rate, const std::vector<double> &frames, int channels = 1)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t count = sf_count_t(frames.size()) / channels;
    const bool written = sf_writef_double(file, frames.data(), count) == count;
    return sf_close(file) == 0 && written;
}

} // namespace SoundFiles

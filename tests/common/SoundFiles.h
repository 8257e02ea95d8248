#pragma once
// Recordings for tests, written by libsndfile in any of its formats.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sndfile.h>

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

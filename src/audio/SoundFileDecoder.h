#pragma once

#include "audio/DecodedAudio.h"

#include <atomic>

class QString;

// Decodes a sound file with libsndfile: the WAV and AU variants recorders write (8- and
// 16-bit PCM, µ-law, A-law, IMA and MS ADPCM, GSM 6.10) and whatever else libsndfile
// reads. The file is read through QFile, so any path Qt opens works on every platform.
// `cancel`, when given, is polled between blocks and ends the decode early.
namespace SoundFileDecoder {

// About 4.6 hours of a telephone recording at 8000 samples a second (256 MB).
constexpr qint64 kMaxSamples = qint64(1) << 27;

DecodedAudio decode(const QString &path, const std::atomic<bool> *cancel = nullptr, qint64 maxSamples = kMaxSamples);

} // namespace SoundFileDecoder

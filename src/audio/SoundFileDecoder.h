#pragma once

#include "audio/DecodedAudio.h"

#include <atomic>

class QString;

// Decodes a sound file with libsndfile: the WAV and AU variants recorders write (8- and
// 16-bit PCM, µ-law, A-law, IMA and MS ADPCM, GSM 6.10) and whatever else libsndfile
// reads. The file is opened as a regular file only (RandomAccessFile: a named pipe or a
// device is refused at once) and read once, block by block. `cancel`, when given, is polled
// before every block and ends the decode early; nothing is read before the first poll but
// the header.
namespace SoundFileDecoder {

// About 4.6 hours of a telephone recording at 8000 samples a second (256 MB). A file whose
// header promises more samples (frames × channels) is refused before any is read.
constexpr qint64 kMaxSamples = qint64(1) << 27;

// The sample rates a recording can have; a header outside them is refused as damaged.
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 192000;

DecodedAudio decode(const QString &path, const std::atomic<bool> *cancel = nullptr, qint64 maxSamples = kMaxSamples);

} // namespace SoundFileDecoder

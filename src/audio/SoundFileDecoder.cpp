#include "audio/SoundFileDecoder.h"

#include "platform/RandomAccessFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace SoundFileDecoder {

namespace {

// The recording as libsndfile reads it: a file that opened as a regular file, read at
// offsets through its virtual I/O with a position of our own. Opened by the platform's
// open, so a named pipe swapped in under the recording's name is refused, never waited for.
struct Source
{
    RandomAccessFile file;
    sf_count_t length = 0;
    sf_count_t position = 0;
};

sf_count_t sourceLength(void *user)
{
    return static_cast<Source *>(user)->length;
}

sf_count_t sourceSeek(sf_count_t offset, int whence, void *user)
{
    auto *source = static_cast<Source *>(user);
    const sf_count_t base = whence == SEEK_CUR ? source->position : (whence == SEEK_END ? source->length : 0);
    if (offset < -base)
        return -1;
    source->position = base + offset;
    return source->position;
}

sf_count_t sourceRead(void *buffer, sf_count_t count, void *user)
{
    auto *source = static_cast<Source *>(user);
    if (count <= 0 || source->position >= source->length)
        return 0;
    const qint64 read = source->file.readSome(std::uint64_t(source->position), buffer, std::size_t(count));
    if (read <= 0)
        return 0;
    source->position += read;
    return read;
}

sf_count_t sourceWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t sourceTell(void *user)
{
    return static_cast<Source *>(user)->position;
}

// Closes the libsndfile handle however decode() returns.
class SoundFile
{
public:
    explicit SoundFile(Source &source)
    {
        SF_VIRTUAL_IO io{sourceLength, sourceSeek, sourceRead, sourceWrite, sourceTell};
        m_handle = sf_open_virtual(&io, SFM_READ, &m_info, &source);
    }
    ~SoundFile()
    {
        if (m_handle)
            sf_close(m_handle);
    }
    SoundFile(const SoundFile &) = delete;
    SoundFile &operator=(const SoundFile &) = delete;

    SNDFILE *handle() const { return m_handle; }
    const SF_INFO &info() const { return m_info; }

private:
    SF_INFO m_info{};
    SNDFILE *m_handle = nullptr;
};

constexpr sf_count_t kBlockFrames = 8192;

// Floating-point samples span -1..1. libsndfile hands them to a 16-bit reader unscaled
// (every sample 0 or ±1) unless told to scale them by the file's peak, which it finds by
// reading the whole file first, before any cancel could be looked at. They are read as
// floats instead and scaled to the 16-bit range here, in the one pass that decodes them.
bool isFloatingPoint(int format)
{
    const int subtype = format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

qint16 toSample(float value)
{
    return qint16(std::lrint(std::clamp(value * 32767.0f, -32768.0f, 32767.0f)));
}

} // namespace

DecodedAudio decode(const QString &path, const std::atomic<bool> *cancel, qint64 maxSamples)
{
    using Failure = DecodedAudio::Failure;
    Source source;
    QString why;
    switch (source.file.open(path, RandomAccessFile::Access::Read, &why)) {
    case RandomAccessFile::OpenResult::Opened:
        break;
    case RandomAccessFile::OpenResult::Failed:
        return DecodedAudio::failed(Failure::Unreadable,
                                    RandomAccessFile::exists(path) ? why : QStringLiteral("no such file"));
    case RandomAccessFile::OpenResult::NotRegularFile:
        return DecodedAudio::failed(Failure::NotDecodable, why);
    }
    source.length = source.file.size(&why);
    if (source.length < 0)
        return DecodedAudio::failed(Failure::Unreadable, why);
    if (source.length == 0)
        return DecodedAudio::failed(Failure::Empty);

    SoundFile sound(source);
    if (!sound.handle())
        return DecodedAudio::failed(Failure::NotDecodable, QString::fromLocal8Bit(sf_strerror(nullptr)));
    const int channels = sound.info().channels;
    const int rate = sound.info().samplerate;
    if (channels <= 0)
        return DecodedAudio::failed(Failure::NotDecodable, QStringLiteral("no channels"));
    if (rate < kMinSampleRate || rate > kMaxSampleRate)
        return DecodedAudio::failed(Failure::NotDecodable,
                                    QStringLiteral("a sample rate of %1 Hz, outside the %2 to %3 Hz of a recording")
                                        .arg(rate)
                                        .arg(kMinSampleRate)
                                        .arg(kMaxSampleRate));
    // Refused from the header, before a sample is read: every channel of every frame would
    // be read to mix them.
    const sf_count_t frames = sound.info().frames;
    if (frames > 0 && frames > maxSamples / channels)
        return DecodedAudio::failed(Failure::TooLong);

    std::vector<qint16> samples;
    if (frames > 0)
        samples.reserve(size_t(frames));
    const bool floating = isFloatingPoint(sound.info().format);
    std::vector<short> shorts(floating ? 0 : size_t(kBlockFrames * channels));
    std::vector<float> floats(floating ? size_t(kBlockFrames * channels) : 0);
    for (;;) {
        if (cancel && cancel->load())
            return DecodedAudio::failed(Failure::Cancelled);
        const sf_count_t read = floating ? sf_readf_float(sound.handle(), floats.data(), kBlockFrames)
                                         : sf_readf_short(sound.handle(), shorts.data(), kBlockFrames);
        if (read <= 0)
            break;
        // A header may say less than the file holds.
        if (qint64(samples.size()) + read > maxSamples)
            return DecodedAudio::failed(Failure::TooLong);
        for (sf_count_t f = 0; f < read; ++f) {
            const size_t first = size_t(f * channels);
            if (floating) {
                float sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += floats[first + size_t(c)];
                samples.push_back(toSample(sum / float(channels)));
            } else {
                int sum = 0;
                for (int c = 0; c < channels; ++c)
                    sum += shorts[first + size_t(c)];
                samples.push_back(qint16(sum / channels));
            }
        }
    }
    if (sf_error(sound.handle()) != SF_ERR_NO_ERROR && samples.empty())
        return DecodedAudio::failed(Failure::NotDecodable, QString::fromLocal8Bit(sf_strerror(sound.handle())));
    if (samples.empty())
        return DecodedAudio::failed(Failure::Empty);
    return DecodedAudio(rate, std::move(samples));
}

} // namespace SoundFileDecoder

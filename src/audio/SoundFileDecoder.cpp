#include "audio/SoundFileDecoder.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <cstdio>

namespace SoundFileDecoder {

namespace {

// libsndfile's virtual I/O on a QFile opened for reading.
sf_count_t fileLength(void *file)
{
    return static_cast<QFile *>(file)->size();
}

sf_count_t fileSeek(sf_count_t offset, int whence, void *user)
{
    auto *file = static_cast<QFile *>(user);
    const qint64 base = whence == SEEK_CUR ? file->pos() : (whence == SEEK_END ? file->size() : 0);
    if (!file->seek(base + offset))
        return -1;
    return file->pos();
}

sf_count_t fileRead(void *buffer, sf_count_t count, void *file)
{
    const qint64 read = static_cast<QFile *>(file)->read(static_cast<char *>(buffer), count);
    return read < 0 ? 0 : read;
}

sf_count_t fileWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t fileTell(void *file)
{
    return static_cast<QFile *>(file)->pos();
}

// Closes the libsndfile handle however decode() returns.
class SoundFile
{
public:
    explicit SoundFile(QFile &file)
    {
        SF_VIRTUAL_IO io{fileLength, fileSeek, fileRead, fileWrite, fileTell};
        m_handle = sf_open_virtual(&io, SFM_READ, &m_info, &file);
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

} // namespace

DecodedAudio decode(const QString &path, const std::atomic<bool> *cancel, qint64 maxSamples)
{
    using Failure = DecodedAudio::Failure;
    // Only a regular file is read: a named pipe would hold the read until someone writes.
    const QFileInfo info(path);
    if (!info.exists())
        return DecodedAudio::failed(Failure::Unreadable, QStringLiteral("no such file"));
    if (!info.isFile())
        return DecodedAudio::failed(Failure::NotDecodable, QStringLiteral("not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DecodedAudio::failed(Failure::Unreadable, file.errorString());
    if (file.size() == 0)
        return DecodedAudio::failed(Failure::Empty);

    SoundFile sound(file);
    if (!sound.handle())
        return DecodedAudio::failed(Failure::NotDecodable, QString::fromLocal8Bit(sf_strerror(nullptr)));
    const int channels = sound.info().channels;
    const int rate = sound.info().samplerate;
    if (channels <= 0 || rate <= 0)
        return DecodedAudio::failed(Failure::NotDecodable, QStringLiteral("no channels or no sample rate"));
    // Floating-point files are scaled to the full 16-bit range instead of being cut to -1..1.
    sf_command(sound.handle(), SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);

    std::vector<qint16> samples;
    if (sound.info().frames > 0 && sound.info().frames <= maxSamples)
        samples.reserve(size_t(sound.info().frames));
    std::vector<short> block(size_t(kBlockFrames * channels));
    for (;;) {
        if (cancel && cancel->load())
            return DecodedAudio::failed(Failure::Cancelled);
        const sf_count_t frames = sf_readf_short(sound.handle(), block.data(), kBlockFrames);
        if (frames <= 0)
            break;
        if (qint64(samples.size()) + frames > maxSamples)
            return DecodedAudio::failed(Failure::TooLong);
        for (sf_count_t f = 0; f < frames; ++f) {
            int sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += block[size_t(f * channels + c)];
            samples.push_back(qint16(sum / channels));
        }
    }
    if (sf_error(sound.handle()) != SF_ERR_NO_ERROR && samples.empty())
        return DecodedAudio::failed(Failure::NotDecodable, QString::fromLocal8Bit(sf_strerror(sound.handle())));
    if (samples.empty())
        return DecodedAudio::failed(Failure::Empty);
    return DecodedAudio(rate, std::move(samples));
}

} // namespace SoundFileDecoder

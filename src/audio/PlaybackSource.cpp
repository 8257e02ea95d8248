#include "audio/PlaybackSource.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstring>
#include <iterator>

PlaybackSource::PlaybackSource(std::shared_ptr<const DecodedAudio> audio, QObject *parent)
    : QIODevice(parent)
    , m_audio(std::move(audio))
{}

std::shared_ptr<TimeStretcher> PlaybackSource::makeStretcher(const DecodedAudio &audio, double speed)
{
    if (speed == 1.0)
        return nullptr;
    auto stretcher = std::make_shared<TimeStretcher>(audio.samples(), audio.sampleRate());
    stretcher->setSpeed(speed);
    return stretcher;
}

qint64 PlaybackSource::samplePosition() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher ? m_stretcher->position() : m_direct;
}

void PlaybackSource::setSamplePosition(qint64 sample)
{
    QMutexLocker locker(&m_lock);
    m_direct = std::clamp<qint64>(sample, 0, m_audio->sampleCount());
    if (m_stretcher)
        m_stretcher->seek(m_direct);
}

void PlaybackSource::setStretcher(std::shared_ptr<TimeStretcher> stretcher)
{
    QMutexLocker locker(&m_lock);
    const qint64 here = m_stretcher ? m_stretcher->position() : m_direct;
    m_stretcher = std::move(stretcher);
    m_direct = here;
    if (m_stretcher)
        m_stretcher->seek(here);
}

double PlaybackSource::speed() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher ? m_stretcher->speed() : 1.0;
}

bool PlaybackSource::atEnd() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher ? m_stretcher->atEnd() : m_direct >= m_audio->sampleCount();
}

qint64 PlaybackSource::bytesAvailable() const
{
    QMutexLocker locker(&m_lock);
    if (m_stretcher ? m_stretcher->atEnd() : m_direct >= m_audio->sampleCount())
        return QIODevice::bytesAvailable();
    const double left = m_stretcher ? double(m_audio->sampleCount() - m_stretcher->position()) / m_stretcher->speed()
                                    : double(m_audio->sampleCount() - m_direct);
    return qint64(left + 1) * qint64(sizeof(qint16)) + QIODevice::bytesAvailable();
}

qint64 PlaybackSource::readData(char *data, qint64 maxSize)
{
    QMutexLocker locker(&m_lock);
    if (!m_stretcher) {
        const qint64 count = std::clamp<qint64>(m_audio->sampleCount() - m_direct, 0, maxSize / qint64(sizeof(qint16)));
        std::memcpy(data, m_audio->samples().data() + m_direct, size_t(count) * sizeof(qint16));
        m_direct += count;
        return count * qint64(sizeof(qint16));
    }
    // The output's buffer need not be aligned for 16-bit values: samples go through a
    // buffer of our own.
    qint16 buffer[4096];
    qint64 written = 0;
    while (written + qint64(sizeof(qint16)) <= maxSize) {
        const qint64 want = std::min<qint64>((maxSize - written) / qint64(sizeof(qint16)), std::size(buffer));
        const qint64 got = m_stretcher->read(buffer, want);
        if (got <= 0)
            break;
        std::memcpy(data + written, buffer, size_t(got) * sizeof(qint16));
        written += got * qint64(sizeof(qint16));
    }
    return written;
}

qint64 PlaybackSource::writeData(const char *, qint64)
{
    return -1;
}

#include "audio/PlaybackSource.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstring>
#include <iterator>

PlaybackSource::PlaybackSource(std::shared_ptr<const DecodedAudio> audio, QObject *parent)
    : QIODevice(parent)
    , m_audio(std::move(audio))
    , m_stretcher(m_audio->samples(), m_audio->sampleRate())
{}

qint64 PlaybackSource::samplePosition() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher.position();
}

void PlaybackSource::setSamplePosition(qint64 sample)
{
    QMutexLocker locker(&m_lock);
    m_stretcher.seek(sample);
}

void PlaybackSource::setSpeed(double speed)
{
    QMutexLocker locker(&m_lock);
    m_stretcher.setSpeed(speed);
}

double PlaybackSource::speed() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher.speed();
}

bool PlaybackSource::atEnd() const
{
    QMutexLocker locker(&m_lock);
    return m_stretcher.atEnd();
}

qint64 PlaybackSource::bytesAvailable() const
{
    QMutexLocker locker(&m_lock);
    if (m_stretcher.atEnd())
        return QIODevice::bytesAvailable();
    const double left = double(m_audio->sampleCount() - m_stretcher.position()) / m_stretcher.speed();
    return qint64(left + 1) * qint64(sizeof(qint16)) + QIODevice::bytesAvailable();
}

qint64 PlaybackSource::readData(char *data, qint64 maxSize)
{
    QMutexLocker locker(&m_lock);
    // The output's buffer need not be aligned for 16-bit values: samples go through a
    // buffer of our own.
    qint16 buffer[4096];
    qint64 written = 0;
    while (written + qint64(sizeof(qint16)) <= maxSize) {
        const qint64 want = std::min<qint64>((maxSize - written) / qint64(sizeof(qint16)), std::size(buffer));
        const qint64 got = m_stretcher.read(buffer, want);
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

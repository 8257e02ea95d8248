#include "app/RecordingPlayer.h"

#include "audio/PlaybackSource.h"
#include "task/TaskRunner.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

RecordingPlayer::RecordingPlayer(QObject *parent)
    : QObject(parent)
    , m_stretchRunner(new TaskRunner(this))
    , m_endCheck(new QTimer(this))
{
    m_endCheck->setInterval(20);
    connect(m_endCheck, &QTimer::timeout, this, &RecordingPlayer::finishWhenPlayedOut);
}

RecordingPlayer::~RecordingPlayer()
{
    // Every output, the one playing and those stopped but not deleted yet, goes before the
    // source it reads from.
    qDeleteAll(findChildren<QAudioSink *>(Qt::FindDirectChildrenOnly));
}

bool RecordingPlayer::hasOutputDevice()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

void RecordingPlayer::setAudio(std::shared_ptr<const DecodedAudio> audio)
{
    stopOutput();
    setPlaying(false);
    m_stretchRunner->cancel();
    // The output stopped just now may be inside its own signal (the end of the call, which
    // moved the list to the next one) and read the source once more on its way out: the
    // source goes once control is back in the event loop, after that output.
    if (m_source)
        m_source.release()->deleteLater();
    m_audio = audio && audio->isValid() ? std::move(audio) : nullptr;
    if (!m_audio)
        return;
    m_source = std::make_unique<PlaybackSource>(m_audio);
    // Unbuffered: what the output has read is what the source's position counts.
    m_source->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    makeStretcher();
}

qint64 RecordingPlayer::durationMs() const
{
    return m_audio ? m_audio->durationMs() : 0;
}

// What the output holds: read from the source but not heard yet.
qint64 RecordingPlayer::heldSamples() const
{
    if (!m_sink)
        return 0;
    return std::max<qint64>(0, m_sink->bufferSize() - m_sink->bytesFree()) / qint64(sizeof(qint16));
}

qint64 RecordingPlayer::audibleSample() const
{
    if (!m_source)
        return 0;
    // What the output holds has been read from the source but not heard yet.
    const qint64 sample = m_source->samplePosition() - qint64(double(heldSamples()) * m_source->speed());
    return std::clamp<qint64>(sample, 0, m_audio->sampleCount());
}

qint64 RecordingPlayer::positionMs() const
{
    return m_audio ? m_audio->msAt(audibleSample()) : 0;
}

bool RecordingPlayer::play()
{
    if (!m_source || m_playing)
        return m_playing;
    if (m_source->atEnd())
        m_source->setSamplePosition(0);
    if (!startOutput())
        return false;
    setPlaying(true);
    return true;
}

void RecordingPlayer::pause()
{
    if (!m_playing)
        return;
    const qint64 heard = audibleSample();
    stopOutput();
    m_source->setSamplePosition(heard);
    setPlaying(false);
}

void RecordingPlayer::seekMs(qint64 ms)
{
    if (!m_source)
        return;
    // What the output still holds belongs to the old place: it goes with the output.
    stopOutput();
    m_source->setSamplePosition(m_audio->sampleAt(ms));
    if (m_playing && !startOutput())
        setPlaying(false);
}

void RecordingPlayer::setSpeed(double speed)
{
    if (speed == m_speed)
        return;
    m_speed = speed;
    makeStretcher();
}

double RecordingPlayer::speed() const
{
    return m_source ? m_source->speed() : m_speed;
}

bool RecordingPlayer::isChangingSpeed() const
{
    return m_stretchRunner->isBusy();
}

void RecordingPlayer::makeStretcher()
{
    if (!m_source || m_source->speed() == m_speed) {
        m_stretchRunner->cancel();
        return;
    }
    // Its buffers grow with the sample rate: made on a worker, never here.
    m_stretchRunner->start([this, audio = m_audio, speed = m_speed](const TaskRunner::Request &request) {
        std::shared_ptr<TimeStretcher> stretcher = PlaybackSource::makeStretcher(*audio, speed);
        request.deliver([this, audio, stretcher] {
            if (!m_source || audio != m_audio)
                return;
            // What the output still holds was made at the old speed: it goes with the output.
            const qint64 heard = audibleSample();
            stopOutput();
            m_source->setStretcher(stretcher);
            m_source->setSamplePosition(heard);
            if (m_playing && !startOutput())
                setPlaying(false);
        });
    });
}

void RecordingPlayer::setVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_sink)
        m_sink->setVolume(m_volume);
}

bool RecordingPlayer::startOutput()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        emit failed(Failure::NoDevice);
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(m_audio->sampleRate());
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = new QAudioSink(device, format, this);
    m_sink->setVolume(m_volume);
    connect(m_sink, &QAudioSink::stateChanged, this, &RecordingPlayer::onOutputState);
    m_sink->start(m_source.get());
    if (m_sink->error() != QAudio::NoError) {
        stopOutput();
        emit failed(Failure::Output);
        return false;
    }
    return true;
}

void RecordingPlayer::stopOutput()
{
    m_endCheck->stop();
    if (!m_sink)
        return;
    // The output may be the one reporting a state change right now: it goes later.
    QAudioSink *sink = m_sink;
    m_sink = nullptr;
    sink->disconnect(this);
    sink->stop();
    sink->deleteLater();
}

void RecordingPlayer::onOutputState(QAudio::State state)
{
    if (!m_sink || !m_playing)
        return;
    if (state == QAudio::IdleState && m_source->atEnd()) {
        // The source is read to its end, but the output may still hold the last part (Qt's
        // PulseAudio output goes idle as soon as the source gives nothing more, and
        // stopping it then would cut that part off): it plays on until it is heard, for no
        // longer than what it holds now takes (and a margin).
        if (!m_endCheck->isActive()) {
            m_endDeadline.setRemainingTime(m_audio->msAt(heldSamples()) + 500);
            m_endCheck->start();
        }
        finishWhenPlayedOut();
    } else if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        stopOutput();
        setPlaying(false);
        emit failed(Failure::Output);
    }
}

void RecordingPlayer::finishWhenPlayedOut()
{
    if (!m_sink || !m_playing) {
        m_endCheck->stop();
        return;
    }
    if (heldSamples() > 0 && !m_endDeadline.hasExpired())
        return;
    // Played to the end: the position stays there; the next play starts again.
    stopOutput();
    setPlaying(false);
    emit finished();
}

void RecordingPlayer::setPlaying(bool playing)
{
    if (playing == m_playing)
        return;
    m_playing = playing;
    emit playingChanged(playing);
}

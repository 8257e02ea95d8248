#include "audio/RecordingLoader.h"

#include "audio/SoundFileDecoder.h"

#include <QMetaObject>

struct RecordingLoader::Request
{
    std::atomic<bool> cancelled{false};
};

RecordingLoader::RecordingLoader(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
}

RecordingLoader::~RecordingLoader()
{
    clear();
    // A cancelled decode stops at its next block.
    m_pool.waitForDone();
}

void RecordingLoader::clear()
{
    if (m_pending)
        m_pending->cancelled = true;
    m_pending.reset();
}

void RecordingLoader::load(const QString &path)
{
    clear();
    auto request = std::make_shared<Request>();
    m_pending = request;
    m_pool.start([this, request, path] {
        auto audio = std::make_shared<const DecodedAudio>(SoundFileDecoder::decode(path, &request->cancelled));
        const WaveformPeaks peaks = audio->isValid() ? WaveformPeaks(audio) : WaveformPeaks();
        // The loader outlives every job of its pool (its destructor waits for them), so
        // `this` is still there; the delivery runs on the loader's own thread.
        QMetaObject::invokeMethod(
            this, [this, request, path, audio, peaks] { deliver(request, path, audio, peaks); }, Qt::QueuedConnection);
    });
}

void RecordingLoader::deliver(const std::shared_ptr<Request> &request, const QString &path,
                              const std::shared_ptr<const DecodedAudio> &audio, const WaveformPeaks &peaks)
{
    if (request != m_pending || request->cancelled)
        return;
    m_pending.reset();
    emit loaded(path, audio, peaks);
}

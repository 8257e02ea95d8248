#include "audio/RecordingLoader.h"

#include "audio/SoundFileDecoder.h"
#include "task/TaskRunner.h"

RecordingLoader::RecordingLoader(QObject *parent) : QObject(parent), m_runner(new TaskRunner(this)) {}

RecordingLoader::~RecordingLoader() = default;

void RecordingLoader::clear()
{
    m_runner->cancel();
}

bool RecordingLoader::isLoading() const
{
    return m_runner->isBusy();
}

void RecordingLoader::load(const QString &path)
{
    m_runner->start([this, path](const TaskRunner::Request &request) {
        auto audio = std::make_shared<const DecodedAudio>(SoundFileDecoder::decode(path, request.token().flag()));
        if (request.isCancelled())
            return;
        const WaveformPeaks peaks = audio->isValid() ? WaveformPeaks(audio) : WaveformPeaks();
        request.deliver([this, path, audio, peaks] { emit loaded(path, audio, peaks); });
    });
}

#pragma once

#include "audio/DecodedAudio.h"
#include "audio/WaveformPeaks.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>

// Decodes recordings, and makes their waveform, on a thread of its own, so that a window
// never waits for a long file. Only the newest request counts: a new one, clear() and destruction cancel the one
// still running, and its result is never reported.
class RecordingLoader : public QObject
{
    Q_OBJECT

public:
    explicit RecordingLoader(QObject *parent = nullptr);
    ~RecordingLoader() override;

    // Starts decoding `path`; loaded() follows on this object's thread.
    void load(const QString &path);
    void clear();
    bool isLoading() const { return m_pending != nullptr; }

signals:
    // `peaks` is empty when the recording could not be decoded (audio->failure() says why).
    void loaded(const QString &path, std::shared_ptr<const DecodedAudio> audio, WaveformPeaks peaks);

private:
    // What one request shares with its decode: the cancel flag the decode polls.
    struct Request;

    void deliver(const std::shared_ptr<Request> &request, const QString &path,
                 const std::shared_ptr<const DecodedAudio> &audio, const WaveformPeaks &peaks);

    QThreadPool m_pool;
    std::shared_ptr<Request> m_pending;
};

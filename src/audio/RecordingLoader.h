#pragma once

#include "audio/DecodedAudio.h"
#include "audio/WaveformPeaks.h"

#include <QObject>
#include <QString>

#include <memory>

class TaskRunner;

// Decodes recordings, and makes their waveform, on the TaskPool, so that a window never
// waits for a long file. Only the newest request counts: a new one, clear() and destruction
// cancel the one still running (the decoder stops at its next block), and its result is
// never reported. Nothing here waits for a decode to end.
class RecordingLoader : public QObject
{
    Q_OBJECT

public:
    explicit RecordingLoader(QObject *parent = nullptr);
    ~RecordingLoader() override;

    // Starts decoding `path`; loaded() follows on this object's thread.
    void load(const QString &path);
    void clear();
    bool isLoading() const;

signals:
    // `peaks` is empty when the recording could not be decoded (audio->failure() says why).
    void loaded(const QString &path, std::shared_ptr<const DecodedAudio> audio, WaveformPeaks peaks);

private:
    TaskRunner *m_runner = nullptr;
};

// Recordings in every format recorders write, made by libsndfile and decoded back; the
// waveform's peaks of known signals; the speed change (length and pitch); the stream an
// audio output pulls; and decoding off the caller's thread.
#include "audio/PlaybackSource.h"
#include "audio/RecordingLoader.h"
#include "audio/SoundFileDecoder.h"
#include "audio/TimeStretcher.h"
#include "audio/WaveformPeaks.h"

#include "common/SoundFiles.h"
#include "common/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace {

constexpr int kRate = 8000;

// How closely `decoded` follows `original` (full scale ±1): the correlation of the two.
double correlation(const std::vector<double> &original, const std::vector<qint16> &decoded)
{
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < original.size() && i < decoded.size(); ++i) {
        const double y = decoded[i] / 32768.0;
        xy += original[i] * y;
        xx += original[i] * original[i];
        yy += y * y;
    }
    return xy / std::sqrt(xx * yy + 1e-12);
}

// Sign changes per second: twice the frequency of a sine.
double crossingsPerSecond(const std::vector<qint16> &samples, int rate)
{
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    return crossings * double(rate) / double(samples.size());
}

std::vector<qint16> readAll(TimeStretcher &stretcher)
{
    std::vector<qint16> out;
    qint16 buffer[1000];
    while (const qint64 got = stretcher.read(buffer, 1000))
        out.insert(out.end(), buffer, buffer + got);
    return out;
}

std::shared_ptr<const DecodedAudio> audioOf(std::vector<qint16> samples, int rate = kRate)
{
    return std::make_shared<const DecodedAudio>(rate, std::move(samples));
}

// The 44 bytes that start a 16-bit PCM WAV file whose header says it holds `dataBytes`
// bytes of samples, written by hand so that it can say what no encoder would.
QByteArray wavHeader(quint32 rate, quint16 channels, quint32 dataBytes)
{
    QByteArray header;
    const auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            header += char((v >> (8 * i)) & 0xFF);
    };
    const auto u16 = [&](quint16 v) { header += char(v & 0xFF), header += char(v >> 8); };
    header += "RIFF";
    u32(36 + dataBytes);
    header += "WAVEfmt ";
    u32(16);
    u16(1); // PCM
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(quint16(channels * 2));
    u16(16);
    header += "data";
    u32(dataBytes);
    return header;
}

// A WAV file of `dataBytes` bytes of silence that take no room on the disk.
bool writeSparseWav(const QString &path, quint32 dataBytes, quint16 channels = 1)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wavHeader(kRate, channels, dataBytes)) == 44
           && file.resize(44 + qint64(dataBytes));
}

} // namespace

class AudioTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void decodesWhatRecordersWrite_data();
    void decodesWhatRecordersWrite();
    void filesThatDoNotDecode();
    void eachRecordingIsReadOnce();
    void peaksOfKnownSignals();
    void speedKeepsThePitch();
    void sourceMovesAndEnds();
    void loaderReportsOnlyTheNewest();
};

void AudioTest::decodesWhatRecordersWrite_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("minimumCorrelation");
    const int wav = SF_FORMAT_WAV;
    QTest::newRow("PCM 8-bit") << (wav | SF_FORMAT_PCM_U8) << 1 << 0.999;
    QTest::newRow("PCM 16-bit") << (wav | SF_FORMAT_PCM_16) << 1 << 0.99999;
    QTest::newRow("PCM 16-bit stereo, mixed") << (wav | SF_FORMAT_PCM_16) << 2 << 0.99999;
    QTest::newRow("u-law") << (wav | SF_FORMAT_ULAW) << 1 << 0.999;
    QTest::newRow("A-law") << (wav | SF_FORMAT_ALAW) << 1 << 0.999;
    QTest::newRow("IMA ADPCM") << (wav | SF_FORMAT_IMA_ADPCM) << 1 << 0.99;
    QTest::newRow("MS ADPCM") << (wav | SF_FORMAT_MS_ADPCM) << 1 << 0.99;
    QTest::newRow("GSM 6.10") << (wav | SF_FORMAT_GSM610) << 1 << 0.8;
    QTest::newRow("u-law in AU") << (SF_FORMAT_AU | SF_FORMAT_ULAW) << 1 << 0.999;
    QTest::newRow("32-bit float") << (wav | SF_FORMAT_FLOAT) << 1 << 0.99999;
    QTest::newRow("64-bit float stereo, mixed") << (wav | SF_FORMAT_DOUBLE) << 2 << 0.99999;
}

void AudioTest::decodesWhatRecordersWrite()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(double, minimumCorrelation);
    // A second of a 440 Hz tone; in stereo the same tone on both sides.
    const std::vector<double> tone = SoundFiles::sine(440, 1.0, kRate);
    std::vector<double> frames;
    for (const double sample : tone)
        frames.insert(frames.end(), size_t(channels), sample);
    const QString path = m_dir.filePath(QStringLiteral("%1.snd").arg(QTest::currentDataTag()));
    QVERIFY(SoundFiles::write(path, format, kRate, frames, channels));

    const DecodedAudio audio = SoundFileDecoder::decode(path);
    QVERIFY2(audio.isValid(), qPrintable(audio.reason()));
    QCOMPARE(audio.sampleRate(), kRate);
    // Block formats may pad the last block.
    QVERIFY2(audio.sampleCount() >= kRate && audio.sampleCount() < kRate + 1024,
             qPrintable(QString::number(audio.sampleCount())));
    QCOMPARE(audio.durationMs(), audio.sampleCount() * 1000 / kRate);
    const double match = correlation(tone, audio.samples());
    QVERIFY2(match >= minimumCorrelation, qPrintable(QString::number(match)));
    // At the level it was recorded at (half of full scale), floating-point files included
    // (GSM, made for voices, does not keep a pure tone's level).
    const auto [low, high] = std::minmax_element(audio.samples().begin(), audio.samples().end());
    if (minimumCorrelation >= 0.99)
        QVERIFY2(std::abs(*high - 16384) < 1200 && std::abs(*low + 16384) < 1200,
                 qPrintable(QStringLiteral("%1..%2").arg(*low).arg(*high)));
    const double crossings =
        crossingsPerSecond(std::vector<qint16>(audio.samples().begin(), audio.samples().begin() + kRate), kRate);
    QVERIFY2(std::abs(crossings - 880) < 20, qPrintable(QString::number(crossings)));
}

void AudioTest::filesThatDoNotDecode()
{
    using Failure = DecodedAudio::Failure;
    QCOMPARE(SoundFileDecoder::decode(m_dir.filePath("missing.wav")).failure(), Failure::Unreadable);
    QVERIFY(TestFiles::write(m_dir.filePath("empty.wav"), QByteArray()));
    QCOMPARE(SoundFileDecoder::decode(m_dir.filePath("empty.wav")).failure(), Failure::Empty);
    QVERIFY(TestFiles::write(m_dir.filePath("text.wav"), QByteArray(3000, 'x')));
    const DecodedAudio junk = SoundFileDecoder::decode(m_dir.filePath("text.wav"));
    QCOMPARE(junk.failure(), Failure::NotDecodable);
    QVERIFY(!junk.reason().isEmpty());
    // A WAV header that promises sound but holds none.
    QVERIFY(SoundFiles::write(m_dir.filePath("silent.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {}));
    QCOMPARE(SoundFileDecoder::decode(m_dir.filePath("silent.wav")).failure(), Failure::Empty);
    // A folder, and a named pipe that would block a reader until someone writes (Windows
    // has no named pipes in the file system).
    QCOMPARE(SoundFileDecoder::decode(m_dir.path()).failure(), Failure::NotDecodable);
#ifndef _WIN32
    QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("pipe.wav")).constData(), 0600) == 0);
    const DecodedAudio pipe = SoundFileDecoder::decode(m_dir.filePath("pipe.wav"));
    QCOMPARE(pipe.failure(), Failure::NotDecodable);
    QCOMPARE(pipe.reason(), QStringLiteral("not a regular file (a named pipe)"));
    // A device that never ends, under a recording's name.
    QVERIFY(QFile::link("/dev/zero", m_dir.filePath("zero.wav")));
    QCOMPARE(SoundFileDecoder::decode(m_dir.filePath("zero.wav")).reason(),
             QStringLiteral("not a regular file (a character device)"));
#endif

    // Sample rates no recording has, from a damaged or hostile header: refused, whatever
    // the samples after it.
    for (const quint32 rate : {286331153u, 999u, 192001u}) {
        const QString odd = m_dir.filePath(QStringLiteral("rate-%1.wav").arg(rate));
        QVERIFY(TestFiles::write(odd, wavHeader(rate, 1, 16000) + QByteArray(16000, '\x10')));
        const DecodedAudio refused = SoundFileDecoder::decode(odd);
        QCOMPARE(refused.failure(), Failure::NotDecodable);
        QVERIFY2(refused.reason().contains(QStringLiteral("sample rate of %1 Hz").arg(rate)),
                 qPrintable(refused.reason()));
    }
    for (const quint32 rate : {1000u, 192000u}) {
        const QString fine = m_dir.filePath(QStringLiteral("rate-%1.wav").arg(rate));
        QVERIFY(TestFiles::write(fine, wavHeader(rate, 1, 16000) + QByteArray(16000, '\x10')));
        const DecodedAudio decoded = SoundFileDecoder::decode(fine);
        QCOMPARE(decoded.sampleRate(), int(rate));
        QCOMPARE(decoded.durationMs(), 8000 * qint64(1000) / rate);
    }

    // Longer than the decoder keeps, and a decode cancelled before it started.
    const QString tone = m_dir.filePath("tone.wav");
    QVERIFY(SoundFiles::write(tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, SoundFiles::sine(440, 2.0, kRate)));
    QCOMPARE(SoundFileDecoder::decode(tone, nullptr, 10000).failure(), Failure::TooLong);
    QCOMPARE(SoundFileDecoder::decode(tone, nullptr, 16000).sampleCount(), 16000);
    const std::atomic<bool> cancelled{true};
    QCOMPARE(SoundFileDecoder::decode(tone, &cancelled).failure(), Failure::Cancelled);
}

void AudioTest::eachRecordingIsReadOnce()
{
    // The decoder reads a recording once, block by block, and reads none of it when the
    // header already tells that it is too long or when it was cancelled before it began:
    // counted in bytes this process reads, which the kernel keeps.
    if (TestFiles::bytesReadSoFar() < 0)
        QSKIP("needs /proc/self/io (Linux)");
    using Failure = DecodedAudio::Failure;
    const auto bytesReadBy = [](const std::function<void()> &work) {
        const qint64 before = TestFiles::bytesReadSoFar();
        work();
        return TestFiles::bytesReadSoFar() - before;
    };

    // Ten minutes of a tone: read once, not once to find its peak and once more to decode.
    const QString tone = m_dir.filePath("ten-minutes.wav");
    QVERIFY(SoundFiles::write(tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, SoundFiles::sine(440, 600.0, kRate)));
    const qint64 size = QFileInfo(tone).size();
    DecodedAudio audio;
    const qint64 read = bytesReadBy([&] { audio = SoundFileDecoder::decode(tone); });
    QCOMPARE(audio.sampleCount(), 600 * kRate);
    QVERIFY2(read >= size && read < size + size / 10, qPrintable(QStringLiteral("%1 of %2").arg(read).arg(size)));

    // A header that promises 2 GB of samples (a sparse file: nothing on the disk), and four
    // channels of 40 M frames: fewer frames than are kept, but more samples to read and
    // mix. Both are refused from the header.
    const QString huge = m_dir.filePath("huge.wav");
    const QString channels = m_dir.filePath("channels.wav");
    QVERIFY(writeSparseWav(huge, 2000000000u));
    QVERIFY(writeSparseWav(channels, 40000000u * 8, 4));
    for (const QString &path : {huge, channels}) {
        const qint64 refusedRead = bytesReadBy([&] { audio = SoundFileDecoder::decode(path); });
        QCOMPARE(audio.failure(), Failure::TooLong);
        QVERIFY2(refusedRead < 1 << 20, qPrintable(QString::number(refusedRead)));
    }
    // One that fits, cancelled before it began: nothing past the header is read either.
    const QString fits = m_dir.filePath("fits.wav");
    QVERIFY(writeSparseWav(fits, 200000000u));
    const std::atomic<bool> cancelled{true};
    const qint64 cancelledRead = bytesReadBy([&] { audio = SoundFileDecoder::decode(fits, &cancelled); });
    QCOMPARE(audio.failure(), Failure::Cancelled);
    QVERIFY2(cancelledRead < 1 << 20, qPrintable(QString::number(cancelledRead)));
}

void AudioTest::peaksOfKnownSignals()
{
    // Half a square wave of ±1000, then a ramp from 0 to 499.
    std::vector<qint16> samples;
    for (int i = 0; i < 500; ++i)
        samples.push_back(qint16(i % 2 ? 1000 : -1000));
    for (int i = 0; i < 500; ++i)
        samples.push_back(qint16(i));
    const WaveformPeaks peaks(audioOf(samples));
    QCOMPARE(peaks.columns(4), (std::vector<WaveformPeak>{{-1000, 1000}, {-1000, 1000}, {0, 249}, {250, 499}}));
    // Fewer samples than columns: each column shows the sample it falls on.
    const WaveformPeaks three(audioOf({-5, 7, 9}));
    QCOMPARE(three.columns(6), (std::vector<WaveformPeak>{{-5, -5}, {-5, -5}, {7, 7}, {7, 7}, {9, 9}, {9, 9}}));
    QVERIFY(WaveformPeaks().columns(10).empty());

    // A long signal, whose columns come mostly from the block summary, against every sample.
    std::vector<qint16> noise(100003);
    quint32 seed = 12345;
    for (qint16 &s : noise) {
        seed = seed * 1664525u + 1013904223u;
        s = qint16(seed >> 16);
    }
    const WaveformPeaks noisy(audioOf(noise));
    for (const int width : {1, 7, 640, 1999}) {
        const std::vector<WaveformPeak> columns = noisy.columns(width);
        QCOMPARE(int(columns.size()), width);
        for (int c = 0; c < width; c += std::max(1, width / 50)) {
            const auto begin = noise.begin() + qint64(c) * qint64(noise.size()) / width;
            const auto end = noise.begin() + qint64(c + 1) * qint64(noise.size()) / width;
            const auto [low, high] = std::minmax_element(begin, end);
            QCOMPARE(columns[size_t(c)], WaveformPeak(*low, *high));
        }
    }
}

void AudioTest::speedKeepsThePitch()
{
    std::vector<qint16> tone;
    for (const double s : SoundFiles::sine(440, 2.0, kRate))
        tone.push_back(qint16(std::lround(s * 32767)));
    TimeStretcher stretcher(tone, kRate);
    QCOMPARE(readAll(stretcher), tone); // speed 1: the samples as they are
    QVERIFY(stretcher.atEnd());

    for (const double speed : {2.0, 0.5, 1.5}) {
        stretcher.setSpeed(speed);
        stretcher.seek(0);
        QCOMPARE(stretcher.position(), 0);
        const std::vector<qint16> out = readAll(stretcher);
        // The length changes by the speed; the tone's frequency does not.
        const double expected = double(tone.size()) / speed;
        QVERIFY2(std::abs(double(out.size()) - expected) < 0.03 * expected, qPrintable(QString::number(out.size())));
        const double crossings = crossingsPerSecond(out, kRate);
        QVERIFY2(std::abs(crossings - 880) < 25, qPrintable(QString::number(crossings)));
        QCOMPARE(stretcher.position(), qint64(tone.size()));
    }
    // A recording shorter than a frame takes 1/speed of its length too.
    const std::vector<qint16> shortTone(tone.begin(), tone.begin() + 100);
    TimeStretcher shortStretcher(shortTone, kRate);
    for (const double speed : {2.0, 0.5}) {
        shortStretcher.setSpeed(speed);
        shortStretcher.seek(0);
        QCOMPARE(qint64(readAll(shortStretcher).size()), std::llround(100 / speed));
    }
    // A rate no recording has (a hostile header's) makes no frame longer than 30 ms of the
    // highest real rate: 8000 samples at twice the speed are still 4000, and the stretcher
    // is made and used on another thread than the one that reads its result.
    std::vector<qint16> absurd;
    std::thread elsewhere([&] {
        const std::vector<qint16> input(tone.begin(), tone.begin() + 8000);
        TimeStretcher odd(input, 286331153);
        odd.setSpeed(2.0);
        absurd = readAll(odd);
    });
    elsewhere.join();
    QCOMPARE(absurd.size(), size_t(4000));

    // Out-of-range speeds are kept within 0.5 to 2.
    stretcher.setSpeed(8);
    QCOMPARE(stretcher.speed(), TimeStretcher::kMaxSpeed);
    stretcher.setSpeed(0.1);
    QCOMPARE(stretcher.speed(), TimeStretcher::kMinSpeed);
}

void AudioTest::sourceMovesAndEnds()
{
    std::vector<qint16> ramp(8000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = qint16(i);
    const auto audio = audioOf(ramp);
    PlaybackSource source(audio);
    QVERIFY(source.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QVERIFY(source.isSequential());
    QVERIFY(source.bytesAvailable() >= 16000);
    // An odd byte count leaves the half sample for later.
    QCOMPARE(source.read(5).size(), 4);
    QCOMPARE(source.samplePosition(), 2);
    source.setSamplePosition(7990);
    const QByteArray tail = source.readAll();
    QCOMPARE(tail.size(), 20);
    qint16 first = 0;
    std::memcpy(&first, tail.constData(), sizeof first);
    QCOMPARE(first, qint16(7990));
    QVERIFY(source.atEnd());
    QCOMPARE(source.read(100).size(), 0);
    // Twice as fast from the middle: about half as many samples to the end.
    source.setSamplePosition(4000);
    QCOMPARE(PlaybackSource::makeStretcher(*audio, 1.0), nullptr);
    source.setStretcher(PlaybackSource::makeStretcher(*audio, 2.0));
    QCOMPARE(source.speed(), 2.0);
    QCOMPARE(source.samplePosition(), 4000);
    const qint64 bytes = source.readAll().size();
    QVERIFY2(std::abs(bytes - 4000) < 400, qPrintable(QString::number(bytes)));
    QVERIFY(source.atEnd());
    // Back to the recording's own speed: the samples as they are, from where it stands.
    source.setSamplePosition(6000);
    source.setStretcher(nullptr);
    QCOMPARE(source.speed(), 1.0);
    QCOMPARE(source.samplePosition(), 6000);
    QCOMPARE(source.readAll().size(), 4000);
}

void AudioTest::loaderReportsOnlyTheNewest()
{
    const QString first = m_dir.filePath("first.wav");
    const QString second = m_dir.filePath("second.wav");
    QVERIFY(SoundFiles::write(first, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, SoundFiles::sine(440, 3.0, kRate)));
    QVERIFY(SoundFiles::write(second, SF_FORMAT_WAV | SF_FORMAT_GSM610, kRate, SoundFiles::sine(300, 1.0, kRate)));
    RecordingLoader loader;
    QSignalSpy loaded(&loader, &RecordingLoader::loaded);
    loader.load(first);
    loader.load(second);
    QVERIFY(loader.isLoading());
    QVERIFY(loaded.wait(10000));
    QTest::qWait(50);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded[0][0].toString(), second);
    const auto audio = loaded[0][1].value<std::shared_ptr<const DecodedAudio>>();
    QVERIFY(audio && audio->isValid());
    QVERIFY(audio->durationMs() >= 1000 && audio->durationMs() < 1100); // GSM fills its last block
    QCOMPARE(loaded[0][2].value<WaveformPeaks>().columns(3).size(), size_t(3));
    QVERIFY(!loader.isLoading());

    // A file that does not decode is reported too, with an empty waveform.
    loader.load(m_dir.filePath("nothing-here.wav"));
    QVERIFY(loaded.wait(10000));
    QCOMPARE(loaded[1][1].value<std::shared_ptr<const DecodedAudio>>()->failure(), DecodedAudio::Failure::Unreadable);
    QVERIFY(loaded[1][2].value<WaveformPeaks>().isEmpty());

    // Cleared before it ends: nothing is reported.
    loader.load(first);
    loader.clear();
    QVERIFY(!loaded.wait(300));
}

QTEST_GUILESS_MAIN(AudioTest)
#include "tst_audio.moc"

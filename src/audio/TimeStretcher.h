#pragma once

#include <QtGlobal>

#include <vector>

// Reads a recording faster or slower than it was spoken without changing its pitch, by
// waveform-similarity overlap-add: the output is made of short windowed frames taken from
// the input at the speed's pace, each shifted by up to a few milliseconds to where it
// continues the previous frame best, so that voices stay smooth. At speed 1 the samples
// are copied unchanged.
//
// A stretcher shares nothing with anything else but the samples it reads, which no one
// changes: it may be made on any thread and handed to another (it moves), and two of them
// never meet.
class TimeStretcher
{
public:
    static constexpr double kMinSpeed = 0.5;
    static constexpr double kMaxSpeed = 2.0;
    // The frames are sized for sample rates in this range; a rate outside it is taken as
    // the nearest end (a decoded recording never has one).
    static constexpr int kMinSampleRate = 1000;
    static constexpr int kMaxSampleRate = 192000;

    // Reads `input`, which must outlive the stretcher.
    TimeStretcher(const std::vector<qint16> &input, int sampleRate);

    // The next output starts at input sample `position`.
    void seek(qint64 position);
    // Changes the speed (kept within kMinSpeed..kMaxSpeed) from the current position on.
    void setSpeed(double speed);
    double speed() const { return m_speed; }

    // Writes up to `maxSamples` output samples; fewer only at the end of the input.
    qint64 read(qint16 *out, qint64 maxSamples);
    // The input sample that the next output sample comes from.
    qint64 position() const;
    bool atEnd() const;

private:
    bool makeHop();
    qint64 bestFrameStart(qint64 nominal) const;
    float sampleAt(qint64 i) const;

    const std::vector<qint16> *m_input;
    int m_frame;  // samples of one frame (about 30 ms)
    int m_hop;    // half a frame: frames overlap by half
    int m_search; // how far a frame may move from its nominal place
    int m_stride; // every how many samples the similarity is measured
    std::vector<float> m_window;

    double m_speed = 1.0;
    qint64 m_direct = 0;       // speed 1: the next input sample
    double m_nominal = 0;      // otherwise: where the next frame would start at this speed
    qint64 m_natural = -1;     // where the previous frame would go on; -1 before the first
    std::vector<float> m_tail; // the previous frame's second half, to overlap with the next
    std::vector<qint16> m_out; // one hop of output not yet read
    size_t m_outRead = 0;
};

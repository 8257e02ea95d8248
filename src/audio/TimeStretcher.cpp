#include "audio/TimeStretcher.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TimeStretcher::TimeStretcher(const std::vector<qint16> &input, int sampleRate) : m_input(&input)
{
    // Worked out in 64 bits from a rate kept within bounds, so that no header can make a
    // frame longer than 30 ms of a real recording or overflow on the way.
    const qint64 rate = std::clamp(sampleRate, kMinSampleRate, kMaxSampleRate);
    m_hop = int(std::max<qint64>(8, rate * 15 / 1000));
    m_frame = 2 * m_hop;
    m_search = int(std::max<qint64>(4, rate * 8 / 1000));
    // About 8000 similarity points a second whatever the rate.
    m_stride = int(std::max<qint64>(1, rate / 8000));
    // A periodic Hann window: two of them overlapped by half add up to exactly one.
    m_window.resize(size_t(m_frame));
    for (int i = 0; i < m_frame; ++i)
        m_window[size_t(i)] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / m_frame));
    m_tail.assign(size_t(m_hop), 0.0f);
}

void TimeStretcher::seek(qint64 position)
{
    position = std::clamp<qint64>(position, 0, qint64(m_input->size()));
    m_direct = position;
    m_nominal = double(position);
    m_natural = -1;
    std::fill(m_tail.begin(), m_tail.end(), 0.0f);
    m_out.clear();
    m_outRead = 0;
}

void TimeStretcher::setSpeed(double speed)
{
    const qint64 here = position();
    m_speed = std::clamp(speed, kMinSpeed, kMaxSpeed);
    seek(here);
}

qint64 TimeStretcher::position() const
{
    if (m_speed == 1.0)
        return m_direct;
    const double unread = double(m_out.size() - m_outRead) * m_speed;
    return std::clamp<qint64>(std::llround(m_nominal - unread), 0, qint64(m_input->size()));
}

bool TimeStretcher::atEnd() const
{
    if (m_speed == 1.0)
        return m_direct >= qint64(m_input->size());
    return m_outRead >= m_out.size() && m_nominal >= double(m_input->size());
}

float TimeStretcher::sampleAt(qint64 i) const
{
    return i >= 0 && i < qint64(m_input->size()) ? float((*m_input)[size_t(i)]) : 0.0f;
}

qint64 TimeStretcher::read(qint16 *out, qint64 maxSamples)
{
    if (m_speed == 1.0) {
        const qint64 count = std::clamp<qint64>(qint64(m_input->size()) - m_direct, 0, maxSamples);
        std::copy_n(m_input->begin() + m_direct, count, out);
        m_direct += count;
        return count;
    }
    qint64 written = 0;
    while (written < maxSamples) {
        if (m_outRead >= m_out.size() && !makeHop())
            break;
        const qint64 count = std::min<qint64>(maxSamples - written, qint64(m_out.size() - m_outRead));
        std::copy_n(m_out.begin() + qint64(m_outRead), count, out + written);
        m_outRead += size_t(count);
        written += count;
    }
    return written;
}

qint64 TimeStretcher::bestFrameStart(qint64 nominal) const
{
    // The candidate whose first half looks most like the samples that would have followed
    // the previous frame, by normalised correlation.
    const qint64 last = std::max<qint64>(0, qint64(m_input->size()) - 1);
    const qint64 from = std::clamp<qint64>(nominal - m_search, 0, last);
    const qint64 to = std::clamp<qint64>(nominal + m_search, 0, last);
    qint64 best = std::clamp<qint64>(nominal, from, to);
    double bestScore = -1e300;
    for (qint64 start = from; start <= to; ++start) {
        double product = 0;
        double energy = 0;
        for (int i = 0; i < m_hop; i += m_stride) {
            const double candidate = sampleAt(start + i);
            product += candidate * sampleAt(m_natural + i);
            energy += candidate * candidate;
        }
        const double score = product / std::sqrt(energy + 1.0);
        if (score > bestScore) {
            bestScore = score;
            best = start;
        }
    }
    return best;
}

bool TimeStretcher::makeHop()
{
    m_out.clear();
    m_outRead = 0;
    const double left = double(m_input->size()) - m_nominal;
    if (left <= 0)
        return false;
    // The hop that reaches the end of the input is the last, and only as long as the input
    // it stands for lasts at this speed: however short the recording, it takes 1/speed of
    // its own length, never a frame more.
    const bool last = left <= m_hop * m_speed;
    const int length = last ? int(std::clamp<double>(std::ceil(left / m_speed), 1, m_hop)) : m_hop;
    const qint64 nominal = std::llround(m_nominal);
    const qint64 start = m_natural < 0 ? nominal : bestFrameStart(nominal);
    m_out.resize(size_t(length));
    for (int i = 0; i < length; ++i) {
        const float value = m_tail[size_t(i)] + m_window[size_t(i)] * sampleAt(start + i);
        m_out[size_t(i)] = qint16(std::clamp(std::lround(value), -32768L, 32767L));
    }
    for (int i = 0; i < m_hop; ++i)
        m_tail[size_t(i)] = m_window[size_t(m_hop + i)] * sampleAt(start + m_hop + i);
    m_natural = start + m_hop;
    m_nominal += m_hop * m_speed;
    return true;
}

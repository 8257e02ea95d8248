#include "db/jet/Rc4.h"

#include <utility>

namespace jet {

Rc4::Rc4(const std::uint8_t *key, std::size_t keyLength)
{
    for (int i = 0; i < 256; ++i)
        m_state[i] = std::uint8_t(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = std::uint8_t(j + m_state[i] + (keyLength ? key[std::size_t(i) % keyLength] : 0));
        std::swap(m_state[i], m_state[j]);
    }
}

void Rc4::apply(std::uint8_t *data, std::size_t length)
{
    for (std::size_t n = 0; n < length; ++n) {
        m_i = std::uint8_t(m_i + 1);
        m_j = std::uint8_t(m_j + m_state[m_i]);
        std::swap(m_state[m_i], m_state[m_j]);
        data[n] ^= m_state[std::uint8_t(m_state[m_i] + m_state[m_j])];
    }
}

} // namespace jet

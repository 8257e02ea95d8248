#pragma once
// RC4 stream cipher. Jet masks part of the file header with it (a fixed key, so it hides
// nothing); the same routine also decodes pages encrypted with a database key.

#include <cstddef>
#include <cstdint>

namespace jet {

class Rc4
{
public:
    Rc4(const std::uint8_t *key, std::size_t keyLength);

    // XORs the next bytes of the keystream into data. Masking and unmasking are the same.
    void apply(std::uint8_t *data, std::size_t length);

private:
    std::uint8_t m_state[256];
    std::uint8_t m_i = 0;
    std::uint8_t m_j = 0;
};

} // namespace jet

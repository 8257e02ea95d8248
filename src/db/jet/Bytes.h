#pragma once
// Little-endian field access for page and row bytes. Callers check bounds first; these
// helpers only assemble the value.

#include <cstdint>
#include <cstring>

namespace jet {

inline std::uint16_t readU16(const std::uint8_t *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t readU64(const std::uint8_t *p)
{
    return std::uint64_t(readU32(p)) | (std::uint64_t(readU32(p + 4)) << 32);
}

inline double readDouble(const std::uint8_t *p)
{
    const std::uint64_t bits = readU64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

inline float readFloat(const std::uint8_t *p)
{
    const std::uint32_t bits = readU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline void writeU16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

inline void writeU32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

} // namespace jet

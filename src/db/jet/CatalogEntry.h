#pragma once
// One local table as the system catalog (MSysObjects) lists it.

#include <QString>

#include <cstdint>

namespace jet {

struct CatalogEntry
{
    static constexpr std::uint32_t kSystemFlags = 0x80000002u;

    QString name;
    std::int32_t id = 0;        // object id
    std::uint32_t tdefPage = 0; // id & 0x00FFFFFF
    std::uint32_t flags = 0;

    bool isSystem() const { return (flags & kSystemFlags) != 0; }
};

} // namespace jet

#pragma once
// The two on-disk generations this engine reads.

namespace jet {

enum class Format : unsigned char {
    Jet3, // Access 97: 2048-byte pages, single-byte offsets in rows, ANSI text
    Jet4, // Access 2000-2003: 4096-byte pages, UCS-2 text
};

} // namespace jet

#pragma once
// Memo and OLE values. The column's variable bytes start with a 12-byte header: the total
// length (bits 0-29) and kind (bits 30-31: 0x80 inline, 0x40 one LVAL row, 0x00 a chain
// of LVAL rows), then a row pointer to the first LVAL row. Chained rows start with the
// pointer to the next one. Broken chains, loops and missing pages make the value damaged
// (false with a reason), never a crash or a hang.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace jet {

class PageFile;

class LongValueReader
{
public:
    static constexpr int kHeaderSize = 12;

    // Reassembles the value whose column bytes are [field, field + length).
    static bool read(const PageFile &file, const std::uint8_t *field, int length, QByteArray *out,
                     QString *error = nullptr);
};

} // namespace jet

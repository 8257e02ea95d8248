#pragma once
// Helpers shared by the Jet engine tests: fixture paths, byte patches on copies, and
// builders for hand-made table definitions and rows (for layouts no fixture contains).

#include "db/jet/Format.h"
#include "db/jet/Rc4.h"

#include "TestPaths.h"
#include "common/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QVector>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace JetTest {

inline QString sharedFixtures()
{
    return QStringLiteral(ORVIK_SHARED_FIXTURES_DIR);
}

inline bool haveSharedFixtures()
{
    return QFileInfo(sharedFixtures() + QStringLiteral("/expected")).isDir();
}

inline QString sample(const QString &backup)
{
    return QStringLiteral(ORVIK_SAMPLES_DIR "/Rec/") + backup + QStringLiteral("/dbR.mdb");
}

inline QString accessSample(const QString &file)
{
    return sharedFixtures() + QStringLiteral("/access-samples/") + file;
}

inline QString multipage()
{
    return QStringLiteral(ORVIK_TEST_DATA_DIR "/multipage-3000/dbR.mdb");
}

inline void putU16(QByteArray &b, int at, std::uint32_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

inline void putU32(QByteArray &b, int at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

inline std::uint32_t getU32(const QByteArray &b, qint64 at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(std::uint8_t(b[at + i])) << (8 * i);
    return v;
}

// XORs the RC4 header mask over the header region of a file image (masking and
// unmasking are the same), so a test can edit fields in clear and mask them again.
inline void toggleHeaderMask(QByteArray &file, jet::Format format)
{
    static const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    jet::Rc4 rc4(key, 4);
    rc4.apply(reinterpret_cast<std::uint8_t *>(file.data()) + 0x18, format == jet::Format::Jet3 ? 126 : 128);
}

// Writes a Jet 4 database password into a copy, masked as Access stores it.
inline void setPassword(const QString &path, const QString &password)
{
    QByteArray bytes = TestFiles::read(path);
    toggleHeaderMask(bytes, jet::Format::Jet4);
    double created = 0;
    std::memcpy(&created, bytes.constData() + 0x72, 8);
    const auto mask = std::uint32_t(std::int32_t(std::trunc(created)));
    for (int i = 0; i < 40; ++i) {
        const std::uint16_t unit = i / 2 < password.size() ? password.at(i / 2).unicode() : 0;
        const auto byte = std::uint8_t(i % 2 ? unit >> 8 : unit & 0xFF);
        bytes[0x42 + i] = char(byte ^ std::uint8_t(mask >> (8 * (i % 4))));
    }
    toggleHeaderMask(bytes, jet::Format::Jet4);
    TestFiles::write(path, bytes);
}

// ---- Hand-made table definitions -------------------------------------------------------

struct ColumnDraft
{
    std::uint8_t type;
    std::uint16_t number;
    std::uint16_t varIndex;
    std::uint8_t flags; // 0x01 = fixed
    std::uint16_t fixedOffset;
    std::uint16_t length;
    QString name;
};

// A definition as Jet lays it out (no indexes), for TableDef::parse.
inline QByteArray makeDefinition(jet::Format format, const QVector<ColumnDraft> &columns, int varColumns)
{
    const bool j4 = format == jet::Format::Jet4;
    const int headerEnd = j4 ? 0x3F : 0x2B;
    QByteArray d(headerEnd, '\0');
    d[0] = 0x02;
    d[1] = 0x01;
    d[j4 ? 0x28 : 0x14] = char(0x4E);
    int maxNumber = 0;
    for (const ColumnDraft &c : columns)
        maxNumber = std::max(maxNumber, c.number + 1);
    putU16(d, j4 ? 0x29 : 0x15, std::uint32_t(maxNumber));
    putU16(d, j4 ? 0x2B : 0x17, std::uint32_t(varColumns));
    putU16(d, j4 ? 0x2D : 0x19, std::uint32_t(columns.size()));
    for (const ColumnDraft &c : columns) {
        QByteArray block(j4 ? 25 : 18, '\0');
        block[0] = char(c.type);
        putU16(block, j4 ? 0x05 : 0x01, c.number);
        putU16(block, j4 ? 0x07 : 0x03, c.varIndex);
        if (!j4)
            putU16(block, 0x0B, 1252);
        block[j4 ? 0x0F : 0x0D] = char(c.flags);
        putU16(block, j4 ? 0x15 : 0x0E, c.fixedOffset);
        putU16(block, j4 ? 0x17 : 0x10, c.length);
        d.append(block);
    }
    for (const ColumnDraft &c : columns) {
        if (j4) {
            QByteArray name(c.name.size() * 2, '\0');
            for (int i = 0; i < c.name.size(); ++i)
                putU16(name, 2 * i, c.name.at(i).unicode());
            QByteArray len(2, '\0');
            putU16(len, 0, std::uint32_t(name.size()));
            d.append(len).append(name);
        } else {
            const QByteArray name = c.name.toLatin1();
            d.append(char(name.size())).append(name);
        }
    }
    d.append(char(0xFF)).append(char(0xFF));
    putU32(d, 0x08, std::uint32_t(d.size()));
    return d;
}

// A row as Jet writes it: column count, fixed area, variable data, (Jet 3) jump table,
// offset table, variable count, null mask. `nullMask` holds one bool per column number
// (true = has a value / Boolean true). With `hasVariablePart` false the row ends after
// the fixed area with only the null mask (tables without variable columns). A Jet 3 jump
// byte that no offset needs gets `unusedJump` (Access writes 0xFF; a reader must not use
// it whatever it holds).
inline QByteArray makeRow(jet::Format format, int columnCount, const QByteArray &fixed,
                          const QVector<QByteArray> &variable, const QVector<bool> &nullMask,
                          bool hasVariablePart = true, std::uint8_t unusedJump = 0xFF)
{
    const bool j4 = format == jet::Format::Jet4;
    const int c = j4 ? 2 : 1;
    const int m = (columnCount + 7) / 8;
    QByteArray mask(m, '\0');
    for (int k = 0; k < nullMask.size() && k < columnCount; ++k) {
        if (nullMask[k])
            mask[k / 8] = char(std::uint8_t(mask[k / 8]) | (1u << (k % 8)));
    }
    QByteArray head(c, '\0');
    if (j4)
        putU16(head, 0, std::uint32_t(columnCount));
    else
        head[0] = char(columnCount);
    QByteArray row = head + fixed;
    if (!hasVariablePart)
        return row + mask;

    QVector<int> offsets;
    for (const QByteArray &v : variable) {
        offsets << int(row.size());
        row.append(v);
    }
    offsets << int(row.size()); // end of the variable data
    const int v = int(variable.size());
    if (j4) {
        QByteArray trailer;
        for (int i = v; i >= 0; --i) {
            QByteArray e(2, '\0');
            putU16(e, 0, std::uint32_t(offsets[i]));
            trailer.append(e);
        }
        QByteArray count(2, '\0');
        putU16(count, 0, std::uint32_t(v));
        return row + trailer + count + mask;
    }
    // Jet 3: one jump byte per 256 bytes of the finished row; it depends on the row
    // length, which depends on it, so settle it by iterating.
    int jumps = 0;
    for (;;) {
        const int length = int(row.size()) + (v + 1) + jumps + 1 + m;
        const int needed = (length - 1) / 256;
        if (needed == jumps)
            break;
        jumps = needed;
    }
    QByteArray trailer;
    for (int i = v; i >= 0; --i)
        trailer.append(char(offsets[i] & 0xFF));
    for (int j = jumps - 1; j >= 0; --j) {
        int first = unusedJump; // no offset reaches this 256-byte step
        for (int i = 0; i <= v; ++i) {
            if (offsets[i] >= (j + 1) * 256) {
                first = i;
                break;
            }
        }
        trailer.append(char(first));
    }
    trailer.append(char(v));
    return row + trailer + mask;
}

} // namespace JetTest

#pragma once
// A decoded column value. Numbers, dates, GUIDs and decimals live inside the object (no
// heap); text and bytes use Qt's shared containers. A damaged value (a long value whose
// chain breaks, a field that runs past its row) is a value of kind Error carrying the
// reason, so one bad cell does not stop a whole table.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace jet {

class Value
{
public:
    enum class Kind : std::uint8_t {
        Null,
        Boolean,  // Yes/No
        Integer,  // Byte (unsigned), Integer, Long
        Currency, // int64 in units of 1/10000
        Single,
        Double,
        DateTime, // days since 1899-12-30, as stored
        Text,     // Text and Memo
        Binary,   // Binary, OLE, and types without a decoding
        Guid,
        Decimal,
        Error,
    };

    struct DecimalParts
    {
        bool negative = false;
        std::uint64_t high = 0; // 128-bit magnitude
        std::uint64_t low = 0;
        std::uint8_t scale = 0;
    };

    Value() = default;

    static Value null(std::uint8_t typeCode = 0) { return Value(Kind::Null, typeCode); }
    static Value boolean(bool b) { return Value(Kind::Boolean, 0x01, {.b = b}); }
    static Value integer(std::int64_t v, std::uint8_t typeCode) { return Value(Kind::Integer, typeCode, {.i = v}); }
    static Value currency(std::int64_t units) { return Value(Kind::Currency, 0x05, {.i = units}); }
    static Value single(float f) { return Value(Kind::Single, 0x06, {.f = f}); }
    static Value real(double d) { return Value(Kind::Double, 0x07, {.d = d}); }
    static Value dateTime(double days) { return Value(Kind::DateTime, 0x08, {.d = days}); }
    static Value text(QString s, std::uint8_t typeCode);
    static Value binary(QByteArray b, std::uint8_t typeCode);
    static Value guid(const std::uint8_t *bytes16);
    static Value decimal(const DecimalParts &parts) { return Value(Kind::Decimal, 0x10, {.dec = parts}); }
    static Value error(QString reason, std::uint8_t typeCode);

    Kind kind() const { return m_kind; }
    std::uint8_t typeCode() const { return m_type; } // column type that produced it, 0 if none
    bool isNull() const { return m_kind == Kind::Null; }
    bool isError() const { return m_kind == Kind::Error; }

    bool toBool() const;          // non-zero numbers and true are true
    std::int64_t toInt64() const; // Boolean, Integer, Currency (truncated), others 0
    double toDouble() const;      // every numeric kind; Currency / 10000; Decimal approximated
    // The value as text, the way Jet converts it: numbers with the significant digits of
    // their type (15, 7 for a Single) and exponent notation only for very large and very
    // small values (1000000, 0.3, 1E+15); yes/no as "-1" and "0"; dates as "yyyy-MM-dd
    // HH:mm:ss" on the wall clock. False, leaving *out alone, for Null, Binary, Guid and Error
    // values and for a date beyond any calendar.
    bool toText(QString *out) const;
    std::int64_t currencyUnits() const { return m_kind == Kind::Currency ? m_u.i : 0; }
    double dateTimeDays() const { return m_kind == Kind::DateTime ? m_u.d : 0.0; }
    float singleValue() const { return m_kind == Kind::Single ? m_u.f : 0.0f; }
    const QString &text() const { return m_text; }      // Text, and the reason of an Error
    const QByteArray &bytes() const { return m_bytes; } // Binary
    std::array<std::uint8_t, 16> guidBytes() const;
    DecimalParts decimalParts() const;
    QString errorText() const { return m_kind == Kind::Error ? m_text : QString(); }

private:
    union Storage {
        bool b;
        std::int64_t i;
        float f;
        double d;
        std::uint8_t guid[16];
        DecimalParts dec;
    };

    Value(Kind kind, std::uint8_t typeCode, Storage u = {}) : m_kind(kind), m_type(typeCode), m_u(u) {}

    Kind m_kind = Kind::Null;
    std::uint8_t m_type = 0;
    Storage m_u{};
    QString m_text;
    QByteArray m_bytes;
};

} // namespace jet

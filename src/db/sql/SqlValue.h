#pragma once

#include <QString>

namespace sql {

// A value as the statement evaluator sees it. Numbers of every width, currency and
// yes/no values are numbers; dates keep the day count since 1899-12-30, as Jet compares
// them.
struct SqlValue
{
    enum class Kind : quint8 { Null, Number, Date, Text, Binary };

    Kind kind = Kind::Null;
    double number = 0.0; // Number and Date
    QString text;        // Text

    static SqlValue null() { return {}; }
    static SqlValue fromNumber(double v) { return {Kind::Number, v, {}}; }
    static SqlValue fromDate(double v) { return {Kind::Date, v, {}}; }
    static SqlValue fromText(QString v) { return {Kind::Text, 0.0, std::move(v)}; }
    static SqlValue binary() { return {Kind::Binary, 0.0, {}}; }

    bool isNull() const { return kind == Kind::Null; }
};

// The static type of a column or literal, known before any row is read.
enum class SqlType : quint8 { Null, Number, Date, Boolean, Text, Binary };

} // namespace sql

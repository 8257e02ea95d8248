#pragma once

#include "db/jet/Value.h"

#include <QString>

// Conversions of a column value to the field types of a call record, with the rules of
// OLE's VariantChangeType: numeric text converts to its number, doubles round to the
// nearest integer with ties to even, out-of-range values and NULL fail. A failed
// conversion leaves the output untouched, so the field keeps its default.
namespace VariantConvert {

bool toInt32(const jet::Value &value, int *out);
bool toDouble(const jet::Value &value, double *out);
bool toText(const jet::Value &value, QString *out);

// The number in a text as VarI4FromStr and VarR8FromStr accept it: blanks around it, an
// optional sign, digits with an optional decimal point and exponent.
bool parseNumber(const QString &text, double *out);

} // namespace VariantConvert

#pragma once

#include "db/jet/Value.h"

// Conversions of a column value to the number fields of a call record, with the rules of
// OLE's VariantChangeType: numeric text converts to its number, doubles round to the
// nearest integer with ties to even, out-of-range values and NULL fail. A failed
// conversion leaves the output untouched, so the field keeps its default. Text fields take
// the engine's own conversion, jet::Value::toText.
namespace VariantConvert {

bool toInt32(const jet::Value &value, int *out);
bool toDouble(const jet::Value &value, double *out);

} // namespace VariantConvert

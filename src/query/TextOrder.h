#pragma once

#include <QByteArrayView>

// The order in which the result list sorts text cells (names, numbers, remarks): UTF-8
// texts compared by code point, ASCII letters without regard to case, and runs of digits
// by their value, so that "line 9" comes before "line 10" and a phone number "110" before
// "0123456". Returns <0, 0 or >0 like strcmp.
int CompareTexts(QByteArrayView a, QByteArrayView b);

// A number that orders texts as CompareTexts does as far as their first few characters go:
// when the prefixes of two texts differ and neither is 0, they compare as the texts do;
// when they are equal (or one is 0: the text was too odd to say) only CompareTexts can
// tell. A sort compares millions of these instead of the texts themselves.
quint64 TextOrderPrefix(QByteArrayView text);

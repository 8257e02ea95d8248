#pragma once

#include <QByteArrayView>

// The order in which the result list sorts text cells (names, numbers, remarks): UTF-8
// texts compared by code point, ASCII letters without regard to case, and runs of digits
// by their value, so that "line 9" comes before "line 10" and a phone number "110" before
// "0123456". Returns <0, 0 or >0 like strcmp.
int CompareTexts(QByteArrayView a, QByteArrayView b);

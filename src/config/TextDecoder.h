#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of a settings file into text: UTF-16 with a byte-order mark, UTF-8
// (with or without a mark) when the bytes are valid UTF-8, otherwise a legacy code page:
// GB18030 or Big5 when the bytes are recognised as one of them (uchardet), else the one the
// caller names (a Windows code-page number, that of the UI language).
namespace TextDecoder {

QString decodeFile(const QByteArray &bytes, int legacyCodePage);

// The code page that files of a given UI language were written in before UTF-8:
// Chinese (0) GB18030, other Chinese (2) Big5, Turkish (3) windows-1254, else windows-1252.
int legacyCodePageForLanguage(int languageCode);

} // namespace TextDecoder

#pragma once
// Index keys of text values under Access's General sort order, for the characters whose
// codes are known: enough to descend a text index for a phone number or a plain word.
//
// A text key is the value flag 7F, one code per character, and an end marker: Jet 3 ends
// with 00 and has the same code for a letter in either case; Jet 4 ends the codes with 01,
// adds bytes that record case and accents, and ends with 00 (a value of digits, small
// letters, blanks and '+' adds nothing: 7F codes 01 00). Characters beyond the known ones
// (accents, punctuation Jet 4 ignores, other scripts) need Jet's full collation tables,
// which are not built here: callers then search or scan instead.
//
// The codes were read off the indexes of files written by Access 97, Access 2000-2003 and
// by another Jet library, and the tests check them against every key stored there.

#include "db/jet/Format.h"

#include <QByteArray>
#include <QStringView>

#include <cstdint>

namespace jet {

class IndexTextCodes
{
public:
    static constexpr std::uint16_t kGeneralSortOrder = 0x0409;

    // The whole key of `text` in an ascending index (flag included). False when a character
    // has no known code or (Jet 4) would add case or accent bytes.
    static bool exactKey(Format format, QStringView text, QByteArray *key);

    // The bytes that the key of every value equal to `text` without regard to case (as the
    // statement evaluator compares texts) starts with, ascending. False when a character has
    // no known code, or when another character folds to the same letter (the Kelvin sign
    // and 'k', say): the index may file that one elsewhere.
    static bool equalityPrefix(Format format, QStringView text, QByteArray *prefix);
};

} // namespace jet

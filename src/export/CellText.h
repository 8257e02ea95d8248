#pragma once
// How a cell text handed to the export becomes a cell value, and how cell texts are written
// into the worksheet XML.
//
// The exported texts used to be typed into Excel one by one, so Excel's reading of typed input
// decided what each cell held. The workbook writer reproduces the part of that reading which
// the exported texts can meet.

#include <QStringView>

#include <string>

struct TypedCell
{
    enum Kind { Empty, Number, DateTime, Text };

    Kind kind = Empty;
    double number = 0;   // Number, or DateTime as a serial day count
    QStringView text;    // Text: what the cell holds (a leading apostrophe removed)
    bool quoted = false; // the input began with the apostrophe that marks a text
};

// Reads one input text as Excel reads typed input:
// - a leading apostrophe makes the rest a text, whatever it looks like ("'0123" is the text
//   "0123"); only that one apostrophe is removed;
// - a plain decimal number becomes a number: optional sign, digits with an optional decimal
//   point, optional exponent ("12", "-3.5", ".5", "1e5"). Like Excel, a leading "+" is a sign,
//   so "+8613912345678" typed without the apostrophe is the number 8613912345678, and digits
//   beyond the fifteenth significant one are kept as zeros. Blanks, thousands separators,
//   currency and percent signs make it a text;
// - "yyyy-mm-dd hh:mm:ss" with a real calendar date from 1900 on becomes a date-time (serial
//   days, 1900 date system with Excel's 29 February 1900; with date1904 days since
//   1904-01-01, and earlier dates stay texts);
// - anything else is a text, including texts that begin with "=", "+", "-" or "@": the export
//   never writes formulas.
TypedCell ReadTypedInput(QStringView input, bool date1904);

// Appends a number in the shortest form that reads back as the same double.
void AppendNumber(std::string &out, double value);

// Appends text as UTF-8 for the content of a <t> element: markup characters as entities,
// characters that XML 1.0 cannot carry (control characters, lone surrogates, U+FFFE, U+FFFF)
// and carriage returns (which XML parsers would drop) as Excel's "_xHHHH_" escapes, and an
// underscore that would start such an escape in the real text as "_x005F_".
void AppendCellText(std::string &out, QStringView text);

// True when leading or trailing white space must be kept with xml:space="preserve".
bool NeedsSpacePreserved(QStringView text);

// Appends the column letters of a 1-based column number ("A", "Z", "AA", ...).
void AppendColumnName(std::string &out, int column);

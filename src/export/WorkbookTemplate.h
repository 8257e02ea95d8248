#pragma once
// The template workbook every export is based on: one empty worksheet "Sheet1" with the
// header row in bold, every column 14.6 characters wide and a few framed blank cells below
// the header. It is built into the program (and installed as share/orvik/sample.xlsx); the
// user's editable copy is made from it on first use, and from then on that copy is the
// template, so the user can edit it.

#include <QByteArray>
#include <QDir>
#include <QString>

// The bytes of the built-in template workbook.
QByteArray EmbeddedTemplateWorkbook();

// Makes sure a template workbook file exists and returns its path:
// - "<programDir>/sample.xlsx" when a file is there (a portable folder's own template): it
//   is used as it is and never rewritten;
// - else the user's editable copy (FileLocations::UserTemplateFile()) when it exists, the
//   same way;
// - otherwise that copy is made, from the installation's sample.xlsx when there is one,
//   else from the built-in template;
// - when that fails (the user's folder cannot be written), the same bytes are written to a
//   fixed file of the user's in fallbackDir, replacing what an earlier export left there;
// - when that fails too, an empty string, and *error says why (the caller reports it as
//   "Open File Error").
// Nothing is ever written beside the program.
QString EnsureTemplateWorkbook(const QString &programDir, const QString &fallbackDir = QDir::tempPath(),
                               QString *error = nullptr);

#pragma once
// The template workbook every export is based on: one empty worksheet "Sheet1" with the
// header row in bold, every column 14.6 characters wide and a few framed blank cells below
// the header. It is built into the program and copied to "sample.xlsx" in the program folder
// on first use; from then on that file is the template, so the user can edit it.

#include <QByteArray>
#include <QDir>
#include <QString>

// The bytes of the built-in template workbook.
QByteArray EmbeddedTemplateWorkbook();

// Makes sure a template workbook file exists and returns its path:
// - "<programDir>/sample.xlsx" when a file is there: it is used as it is and never rewritten;
// - otherwise the built-in template is written there;
// - when that fails (the program folder cannot be written), the built-in template is written
//   to a fixed file of the user's in fallbackDir, replacing what an earlier export left there;
// - when that fails too, an empty string, and *error says why (the caller reports it as
//   "Open File Error").
QString EnsureTemplateWorkbook(const QString &programDir, const QString &fallbackDir = QDir::tempPath(),
                               QString *error = nullptr);

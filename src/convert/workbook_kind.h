#pragma once
// What a file's bytes hold, as far as telling a spreadsheet workbook from
// anything else: a compound file (Excel 97-2003 and encrypted workbooks;
// one whose directory shows a Word or PowerPoint document is none), a bare
// BIFF stream, an OOXML or OpenDocument spreadsheet package,
// SpreadsheetML or flat OpenDocument XML, an HTML page holding a table (as
// web applications export "Excel" files), or CSV text when the name ends in
// ".csv". Reads the file only; thread-safe.

#include <QString>

// Empty when `path` holds a workbook, may hold one (a damaged package, a
// file that cannot be read: the office then tells), or is not a local file.
// Otherwise what the bytes are, for a message: "an empty file", "plain
// text", "a Word document", ...
QString TkvNotWorkbookKind(const QString& path);

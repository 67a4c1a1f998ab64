#pragma once
// Workbooks stored as text: the "Excel" files web applications export (an
// HTML table, tab- or comma-separated text, SYLK under a .xls name) and
// SpreadsheetML 2003, as the spreadsheet application tells them apart when it
// opens one; and how the office is to import delimited text so that it
// prints the cells that application shows. Reads the file only; thread-safe.

#include <QString>

#include <optional>

class QIODevice;

enum class TkvTextKind {
  Binary,            // control characters: not text
  Utf32,             // text in UTF-32 (by its byte-order mark), which the office does not read
  SpreadsheetXml,    // SpreadsheetML 2003 or a flat OpenDocument spreadsheet
  Sylk,              // begins with "ID;"
  HtmlTable,         // HTML holding a <table>, with or without <html>
  Delimited,         // lines of fields separated by tabs or commas
  HtmlWithoutTable,  // an HTML page and no table
  OtherXml,
  Plain,
};

struct TkvTextSniff {
  TkvTextKind kind = TkvTextKind::Binary;
  char separator = 0;  // Delimited: '\t' or ','
  // The office's number of the encoding: 76 UTF-8 (also without a byte-order
  // mark when the bytes are valid UTF-8), 65535 UTF-16 (by its byte-order
  // mark), 1 Windows-1252 (any other bytes).
  int charset = 76;
};

// What the text from `device` (open, at its start) is: its first 8 KiB
// decide, and for a table the first 16 MiB are searched, decoded.
TkvTextSniff TkvSniffText(QIODevice& device);

// The filter name and options a load hands the office for the local file
// `localPath` when it holds delimited text (TkvSniffText): tab- or
// comma-separated fields, quoted with '"', in the file's encoding, from the
// first line. nullopt for every other file (the office's own detection then
// picks the import).
struct TkvTextImport {
  QString filter;
  QString options;
};
std::optional<TkvTextImport> TkvDelimitedTextImport(const QString& localPath);

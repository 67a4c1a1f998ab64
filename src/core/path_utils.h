#pragma once
// Path texts as the program treats them: "/" is the delimiter; the folder
// part of a path is everything up to and including its last delimiter.

#include <QString>

inline constexpr QChar kTkvPathDelimiter = u'/';

// "/a/b/c.xls" -> "/a/b/"; "c.xls" -> "".
QString TkvFolderPart(const QString& path);
// The name after the last delimiter.
QString TkvNamePart(const QString& path);
// Replaces the extension of the name part (from its last ".") by `ext`
// (which includes its dot), or appends `ext` when the name has none.
QString TkvChangeExt(const QString& path, const QString& ext);
// Appends the delimiter unless the text is empty or already ends with it.
QString TkvWithTrailingDelimiter(const QString& path);
// A web or other address ("http://host/a.xlsx", "ftp://…"): a scheme, ":"
// and "//". Such a text names no folder; "file:" addresses are turned into
// paths (TkvBatch::NormalizePath) before this question is asked.
bool TkvIsAddress(const QString& text);

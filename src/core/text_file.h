#pragma once
// Text files of the program (projects, recent projects, run logs, usage
// store). Read: a byte-order mark (UTF-8, UTF-16 LE/BE) selects the encoding,
// otherwise the locale's encoding (UTF-8 under the C/POSIX locale). Written:
// locale encoding, no byte-order mark, CR LF after every line; characters the
// encoding lacks become its replacement character.

#include <QByteArray>
#include <QString>
#include <QStringList>

// The name of the encoding used for files without a byte-order mark, as
// taken from LC_ALL / LC_CTYPE / LANG ("UTF-8" for C/POSIX).
QString TkvLocaleEncodingName();

// Decodes file bytes with the rules above. Never fails: invalid sequences
// become replacement characters.
QString TkvDecodeText(const QByteArray& bytes);
// Encodes every line followed by CR LF in the locale's encoding.
QByteArray TkvEncodeLines(const QStringList& lines);

// Reads and splits a text file (TkvSplitLines). Throws TkvError naming the
// path when it cannot be opened or read.
QStringList TkvReadTextLines(const QString& path);
// Creates or replaces the file and writes the lines; a device or pipe of that
// name is written in place. Throws TkvError naming the path when any of it
// cannot be written (a full disk included).
void TkvWriteTextLines(const QString& path, const QStringList& lines);

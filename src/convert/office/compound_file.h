#pragma once
// The directory of a compound file (Excel 97-2003 workbooks, encrypted OOXML
// packages, Word and PowerPoint documents), as far as telling what a file
// holds: its entry names and whether its workbook is password-protected.
// Reads the file only; thread-safe. Files that are no readable compound file
// give no entries.

#include <QString>
#include <QStringList>

class QFile;

// The entry names of the compound file open in `file`; empty when it is
// none or its directory cannot be read.
QStringList TkvCompoundNames(QFile& file);

// True when the workbook at `path` is stored encrypted: an OOXML package in
// a compound file (EncryptionInfo, EncryptedPackage), or an Excel 97-2003
// workbook whose stream begins with a FILEPASS record. False for anything
// else, damaged files included.
bool TkvIsPasswordProtected(const QString& path);

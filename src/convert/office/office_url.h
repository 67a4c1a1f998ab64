#pragma once
// Addresses handed to LibreOffice.

#include <QString>

// A correct file URL for a local path (made absolute): spaces, "#", "%" and
// non-ASCII letters are percent-encoded (UTF-8).
QString TkvOfficeFileUrl(const QString& localPath);
// True for addresses LibreOffice opens itself (http:, https:, ftp:).
bool TkvIsRemoteAddress(const QString& path);
// A "file:" URL as a local path (escapes decoded); anything else unchanged.
QString TkvLocalPathOf(const QString& path);
// The address for a source given as a local path, a file: URL or a remote address.
QString TkvOfficeSourceUrl(const QString& path);

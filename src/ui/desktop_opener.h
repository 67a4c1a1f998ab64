#pragma once
// Opening links, files and folders with the desktop's default handlers
// (QDesktopServices). Results are not examined and nothing is reported.
// UI thread only.

#include "core/info.h"

#include <QString>
#include <QUrl>

// A web or mail address as it is; a path (absolute or relative) as a file URL.
QUrl TkvUrlForLink(const QString& link);
// Opens `link` with its default action; does nothing for an empty text.
// Returns false when no program took it (no desktop opener is installed).
bool TkvDesktopOpen(const QString& link);

// The window's link opener for TkvInfo.
class TkvDesktopLinkOpener : public TkvLinkOpener {
 public:
  void Open(const QString& link) override { TkvDesktopOpen(link); }
};

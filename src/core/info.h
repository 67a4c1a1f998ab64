#pragma once
// Product information: the usage store (counters and the Quiet flag, kept in
// a file beside the program), the product's links and problem reports.
// The maker's host is a build setting; without one, no link goes to the
// maker's site or mailbox and reports open nothing.
//
// One per process: Instance() is set by the constructor and cleared by the
// destructor. AddCount and the readers may be called from any thread; the
// store and its file are changed under one lock. Links are handed to a
// replaceable TkvLinkOpener outside that lock.

#include "core/mutex.h"
#include "core/option_list.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class TkvApp;

// The one way links leave the program.
class TkvLinkOpener {
 public:
  virtual ~TkvLinkOpener() = default;
  virtual void Open(const QString& link) = 0;
};

// Runs a detached `xdg-open <link>`; does nothing without a desktop session
// (neither DISPLAY nor WAYLAND_DISPLAY set). Never reports failure.
class TkvXdgLinkOpener : public TkvLinkOpener {
 public:
  void Open(const QString& link) override;
};

class TkvInfo {
 public:
  // The host this build was configured with (TABRIX_MAKER_HOST); may be empty.
  static QString BuildMakerHost();

  // Reads the store (a missing or unreadable file gives an empty store), the
  // install stamp, then counts the start ("R"). Without an opener, links go
  // to TkvXdgLinkOpener. `app` must outlive the object.
  explicit TkvInfo(const TkvApp& app, std::unique_ptr<TkvLinkOpener> opener = nullptr);
  // Writes the store (failures are silent).
  ~TkvInfo();
  TkvInfo(const TkvInfo&) = delete;
  TkvInfo& operator=(const TkvInfo&) = delete;

  static TkvInfo* Instance();

  void SetLinkOpener(std::unique_ptr<TkvLinkOpener> opener);

  // The maker's web host (the build's unless set); empty: the site, the
  // support mail and every report open nothing.
  QString MakerHost() const;
  void SetMakerHost(const QString& host);
  bool HasMakerSite() const { return !MakerHost().isEmpty(); }
  // "support@" and the host without a leading "www."; empty without a host.
  QString SupportMail() const;

  // Builds the link for (topic, action, extra) and opens it; with Quiet set,
  // report links (no topic, an action) open nothing.
  void OpenLink(const QString& topic, const QString& action, const QString& extra);
  // The link OpenLink would open; empty when it would open nothing.
  QString BuildLink(const QString& topic, const QString& action, const QString& extra) const;

  // value > 0: the counter becomes value; else stored number (0 when missing
  // or not a number) + step. The file is written when the text changes;
  // a write failure is silent.
  void AddCount(const QString& name, int value, int step);
  int Count(const QString& name) const;
  // "r12c3a40": every entry whose key begins with A..Z, in store order.
  QString CountersText() const;
  bool Quiet() const;
  // Stores "+" (the user's choice) and writes the store; a write failure is silent.
  void SetQuiet(bool quiet);
  std::int32_t InstallStamp() const { return installStamp_; }
  QString StoreFile() const { return storeFile_; }

  // An unhandled error: counts "E", then a problem report. Never throws.
  void ReportException(const QString& message);
  // The failure report of a run: "err&e=" + TkvFailureReportText(failures).
  void ReportFailures(const QStringList& failures);

 private:
  QString BuildLinkLocked(const QString& topic, const QString& action, const QString& extra) const
      REQUIRES(mutex_);
  QString CountersTextLocked() const REQUIRES(mutex_);
  void SaveLocked() const REQUIRES(mutex_);

  QString exePath_;
  QString helpBase_;
  QString makerHost_;
  QString storeFile_;
  std::int32_t installStamp_ = -1;
  mutable TkvMutex mutex_;
  TkvOptionList store_ GUARDED_BY(mutex_);
  std::shared_ptr<TkvLinkOpener> opener_ GUARDED_BY(mutex_);
};

// The failures as one comma-separated text: an entry holding a blank or
// control character, a comma or a double quote is enclosed in double quotes
// (inner ones doubled); one empty entry gives two double quotes. Every "?"
// then becomes "%3F".
QString TkvFailureReportText(const QStringList& failures);

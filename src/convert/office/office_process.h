#pragma once
// One LibreOffice process owned by this program.

#include "convert/office/office_profile.h"
#include "core/mutex.h"

#include <QString>

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace tabrix::office {
struct ThreadWatch;
}

// Starts /usr/lib/libreoffice/program/soffice.bin headless with its own
// profile folder (a locked TkvOfficeProfileSlot, kept across restarts), a
// new pipe name and a new private temporary folder on every start
// ("<profile root>/office-tmp-<pid>-<n>", its TMPDIR), and connects to it;
// the profile has file locking off, so the office writes no lock files. The
// process is a child of the creating thread: it is killed by the kernel if
// that thread ends first, and it is always reaped by this object (Quit,
// restart, destructor), which then removes the pipe's socket file that the
// office leaves in /tmp and the private folder. The first start of a run
// removes the sockets and private folders of earlier runs' offices whose
// tabrix process is gone (RemoveDeadLeftovers).
//
// Owned by one thread (the converter thread that created it); only Kill() and
// IsRunning() may be called from other threads. Errors are TkvError.
class TkvOfficeProcess {
 public:
  struct Options {
    QString profileRoot;       // empty: TkvOfficeProfileSlot::DefaultRoot()
    int maxDocuments = 200;    // restart after that many documents (memory growth)
    int maxResidentMb = 1536;  // restart once the office's resident memory passes this; 0: no limit
    int startTimeoutMs = 60000;  // from spawn to a usable connection
    int quitGraceMs = 5000;      // after terminate, before the kill
  };

  // The shipped Options, or the limits of the memory benchmark's environment
  // variables (TABRIX_OFFICE_MAX_RESIDENT_MB, TABRIX_OFFICE_MAX_DOCUMENTS).
  TkvOfficeProcess();
  explicit TkvOfficeProcess(Options options);
  ~TkvOfficeProcess();  // Quit()
  TkvOfficeProcess(const TkvOfficeProcess&) = delete;
  TkvOfficeProcess& operator=(const TkvOfficeProcess&) = delete;

  // The calling thread's shared process: the one that an object created on
  // this thread still holds, or a new (not yet started) one. Excel.Application
  // and com.sun.star.ServiceManager objects of one thread share it.
  static std::shared_ptr<TkvOfficeProcess> ForThisThread();

  // Starts the office if none runs, if it died (crash, kill, timeout) or if it
  // has served maxDocuments documents or holds more than maxResidentMb of
  // resident memory, and none is open. Raises TkvError when it
  // cannot be started, or the timeout message while this thread's
  // TkvOfficeTimeout has expired.
  void EnsureRunning();
  bool IsRunning() const;
  // Terminates the office's desktop, waits up to quitGraceMs for the process to
  // end, then kills it; always reaps it. Never raises.
  void Quit() noexcept;
  // Kills the process (SIGKILL to its process group) without reaping: the
  // owner reaps. Thread-safe, never raises.
  void Kill() noexcept;

  // The remote context, service manager and desktop; EnsureRunning first.
  css::uno::Reference<css::uno::XComponentContext> Context();
  css::uno::Reference<css::lang::XMultiComponentFactory> ServiceManager();
  css::uno::Reference<css::frame::XDesktop2> Desktop();

  // Document bookkeeping for the restart after maxDocuments.
  void DocumentOpened() {
    ++documentsServed_;
    ++documentsOpen_;
  }
  void DocumentClosed() {
    if (documentsOpen_ > 0) --documentsOpen_;
  }
  int DocumentsOpen() const { return documentsOpen_; }

  pid_t Pid() const;
  // The running office's resident memory in KiB (from /proc); 0 when none runs.
  long ResidentKb() const;
  int Slot() const { return profile_ ? profile_->Slot() : 0; }
  QString ProfileFolder() const { return profile_ ? profile_->Folder() : QString(); }
  // The running office's private temporary folder; empty when none runs.
  // Any thread.
  QString TempFolder() const;
  // Removes what offices of dead tabrix processes left: their pipe sockets
  // in /tmp and /var/tmp and their private folders in `profileRoot`.
  static void RemoveDeadLeftovers(const QString& profileRoot);
  int StartCount() const { return startCount_; }
  // The message for a failed office call: the timeout message when this
  // thread's guard expired, "LibreOffice ended unexpectedly" when the process
  // died, otherwise the given text. connectionFailure: the error may come from
  // a broken connection, so death is looked for a little longer.
  QString FailureMessage(const QString& text, bool connectionFailure = true) const;

 private:
  void Start();
  pid_t Spawn(const QString& pipeName);
  void Connect(pid_t pid, const QString& pipeName, int* exitCode);
  void ApplyProfileSettings();  // safe settings, and a kept profile that starts fast
  void Reap(bool block) noexcept;
  void RemovePipeSocket() noexcept REQUIRES(pidMutex_);
  void RemoveTempFolder() noexcept REQUIRES(pidMutex_);
  void DropConnection() noexcept;

  Options options_;
  std::unique_ptr<TkvOfficeProfileSlot> profile_;
  std::shared_ptr<tabrix::office::ThreadWatch> watch_;
  // Guards the process's id, its pipe name and the bridge state against the
  // watchdog's Kill and other threads' IsRunning.
  mutable TkvMutex pidMutex_;
  pid_t pid_ GUARDED_BY(pidMutex_) = -1;
  // Of the current start; its socket file is removed once the process ended.
  QString pipeName_ GUARDED_BY(pidMutex_);
  // Of the current start; removed once the process ended.
  QString tempFolder_ GUARDED_BY(pidMutex_);
  std::shared_ptr<std::atomic<bool>> bridgeDisposed_ GUARDED_BY(pidMutex_);
  css::uno::Reference<css::bridge::XBridge> bridge_;
  css::uno::Reference<css::uno::XComponentContext> context_;
  int documentsServed_ = 0;
  int documentsOpen_ = 0;
  int startCount_ = 0;
};

#pragma once
// A private CUPS scheduler for tests: cupsd on a socket in a temporary
// folder with one cups-pdf queue writing into that folder. This process
// talks to it (CUPS_SERVER) while the object lives; the scheduler is
// stopped and every file it used removed on destruction, and it also dies
// with the test process.

#include "support/scoped_temp_dir.h"

#include <QProcess>
#include <QString>

#include <memory>

class TkvTestCupsServer {
 public:
  // Starts the scheduler and adds `queue` described as `description`.
  // Returns null and sets `whyNot` when that cannot be done here (not
  // root, CUPS or cups-pdf missing, cupsd failing to start).
  static std::unique_ptr<TkvTestCupsServer> Start(const QString& queue, const QString& description,
                                                  QString* whyNot);
  ~TkvTestCupsServer();
  TkvTestCupsServer(const TkvTestCupsServer&) = delete;
  TkvTestCupsServer& operator=(const TkvTestCupsServer&) = delete;

  // Where cups-pdf writes this queue's jobs.
  QString OutputFolder() const { return dir_.file("out"); }
  QString SocketPath() const { return dir_.file("cups.sock"); }

 private:
  TkvTestCupsServer() = default;
  bool Launch(const QString& queue, const QString& description, QString* whyNot);
  QString LogTail() const;

  tabrix::test::ScopedTempDir dir_;
  QProcess cupsd_;
  QString queueConf_;  // per-queue cups-pdf settings, removed on destruction
  QByteArray oldServer_;
  bool hadServer_ = false;
  bool serverSet_ = false;
};

#pragma once
// The process-wide objects an unattended run or a test of the office
// converters needs, kept in a temporary folder: application (executable
// <root>/bin/tabrix, files beside it), product information with a link
// recorder, and the project with the product profile whose converter class
// the test chooses. Tests of the search and the chain need none of it: they
// hand a TestOptions to the batch.

#include "core/app.h"
#include "core/info.h"
#include "core/profile.h"
#include "core/project.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QMutex>
#include <QStringList>

#include <memory>

namespace tabrix::test {

class RecordedLinks {
 public:
  void Add(const QString& link) {
    QMutexLocker lock(&mutex_);
    links_.append(link);
  }
  QStringList All() const {
    QMutexLocker lock(&mutex_);
    return links_;
  }

 private:
  mutable QMutex mutex_;
  QStringList links_;
};

class RecordingOpener : public TkvLinkOpener {
 public:
  explicit RecordingOpener(RecordedLinks* links) : links_(links) {}
  void Open(const QString& link) override { links_->Add(link); }

 private:
  RecordedLinks* links_;
};

class TestGlobals {
 public:
  TestGlobals(const ScopedTempDir& root, const QString& convertorClass) {
    QDir().mkpath(root.file(QStringLiteral("bin")));
    qputenv("XDG_CONFIG_HOME", root.file(QStringLiteral("config")).toUtf8());
    qputenv("XDG_STATE_HOME", root.file(QStringLiteral("state")).toUtf8());
    app = std::make_unique<TkvApp>(root.file(QStringLiteral("bin/tabrix")), QString(),
                                   TkvApp::Placement::BesideProgram);
    info = std::make_unique<TkvInfo>(*app, std::make_unique<RecordingOpener>(&links));
    info->SetMakerHost(QStringLiteral("www.tabrix-converter.example"));  // reports are sent
    project = std::make_unique<TkvProject>(*app);
    TkvProfile profile = TkvTabrixProfile();
    profile.ConvertorClass = convertorClass;
    project->SetProfile(profile);
  }

  RecordedLinks links;
  std::unique_ptr<TkvApp> app;
  std::unique_ptr<TkvInfo> info;
  std::unique_ptr<TkvProject> project;
};

}  // namespace tabrix::test

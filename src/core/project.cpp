#include "core/project.h"

#include "core/app.h"
#include "core/error.h"
#include "core/file_dialogs.h"
#include "core/info.h"
#include "core/path_utils.h"
#include "core/prop_list.h"
#include "core/text_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<TkvProject*> g_project{nullptr};

// Whether an argument that begins with "/" is a switch ("/P:...", "/I...")
// rather than an absolute path: its first path component must not exist.
bool SlashArgumentIsSwitch(const QString& arg) {
  const qsizetype next = arg.indexOf(u'/', 1);
  const QString first = next < 0 ? arg : arg.left(next);
  return !QFileInfo::exists(first);
}

}  // namespace

TkvProject::TkvProject(const TkvApp& app) : app_(app), profile_(TkvTabrixProfile()) {
  try {
    const QString file = app_.RecentProjectsFile();
    if (QFileInfo::exists(file)) {
      for (const QString& line : TkvReadTextLines(file))
        if (!line.isEmpty()) recent_.append(line);
    }
  } catch (const TkvError&) {
    // An unreadable recent-projects file leaves the list empty.
  }
  g_project.store(this);
}

TkvProject::~TkvProject() {
  TkvProject* self = this;
  g_project.compare_exchange_strong(self, nullptr);
  try {
    const QString file = app_.RecentProjectsFile();
    QDir().mkpath(TkvFolderPart(file));
    TkvWriteTextLines(file, recent_);
  } catch (const TkvError&) {
    // Losing the recent list must not stop the program's end.
  }
}

TkvProject* TkvProject::Instance() { return g_project.load(); }

// ---- options ----

QString TkvProject::OptionValue(const QString& key) const { return options_.Value(key); }
void TkvProject::SetOptionValue(const QString& key, const QString& value) {
  options_.SetValue(key, value);
}
QString TkvProject::OptionsText() const { return options_.Text(); }
void TkvProject::SetOptionsText(const QString& text) { options_.SetText(text); }

QString TkvProject::Source() const { return OptionValue(QStringLiteral("Source")); }
QString TkvProject::Target() const { return OptionValue(QStringLiteral("Target")); }
bool TkvProject::Subdir() const { return ReadBool(QStringLiteral("Subdir"), false); }

QString TkvProject::LogFile() const { return OptionValue(QStringLiteral("LogFile")); }
bool TkvProject::RunAndClose() const { return ReadBool(QStringLiteral("RunAndClose"), false); }
bool TkvProject::PureConsole() const { return ReadBool(QStringLiteral("PureConsole"), false); }
int TkvProject::Daemon() const { return ReadInt(QStringLiteral("Daemon"), 0); }

bool TkvProject::AutomaticRun() const { return RunAndClose() || PureConsole() || Daemon() > 0; }

QString TkvProject::TargetFolder() const {
  const QString target = Target();
  if (target.isEmpty()) return target;
  // An address is the batch's to turn into a path or to refuse: no folder is
  // ever made from its text here.
  const bool address = target.startsWith(QLatin1String("file:")) || TkvIsAddress(target);
  if (!address && !QFileInfo(target).isDir()) QDir().mkpath(target);  // failures show up per item
  return TkvWithTrailingDelimiter(target);
}

bool TkvProject::UnattendedRoad() const {
  return PureConsole() && !Source().contains(QLatin1String("http"), Qt::CaseSensitive);
}

// ---- command line and project files ----

TkvCmdResult TkvProject::ParseCommandLine() { return ParseCommandLine(app_.FirstArg()); }

TkvCmdResult TkvProject::ParseCommandLine(const QString& arg) {
  if (arg.size() >= 2) {
    const bool isSwitch = arg.at(0) == u'-' || (arg.at(0) == u'/' && SlashArgumentIsSwitch(arg));
    if (isSwitch) {
      QChar letter = arg.at(1);
      if (letter >= u'a' && letter <= u'z') letter = letter.toUpper();
      if (letter == u'I') {
        if (TkvInfo* info = TkvInfo::Instance())
          info->OpenLink(QString(), QStringLiteral("ins"), arg.mid(2));
        return TkvCmdResult::Exit;
      }
      if (letter == u'U') {
        if (TkvInfo* info = TkvInfo::Instance())
          info->OpenLink(QString(), QStringLiteral("uni"), QString());
        return TkvCmdResult::Exit;
      }
      if (letter == u'P') {
        QString text = arg.mid(2);
        if (text.startsWith(u':')) text.remove(0, 1);
        text.replace(u',', u';');
        text.replace(QLatin1String(";"), QLatin1String("\r\n"));
        cmdOptions_ = text;
      }
    } else {
      fileName_ = arg;
      cmdName_ = arg;
    }
  }
  LoadInitial();
  return TkvCmdResult::Continue;
}

void TkvProject::LoadInitial() {
  // A workbook named on the command line stays the source when the window
  // loads the start project again; only without one is the default project used.
  if (fileName_.isEmpty() && cmdOptions_.isEmpty())
    fileName_ = cmdName_.isEmpty() ? app_.DefaultProjectFile(profile_.ProjectExt) : cmdName_;
  OpenProject(false);
}

bool TkvProject::OpenProject(bool dialog) {
  openError_.clear();
  if (dialog) {
    if (!dialogs_) return false;
    QString name = fileName_;
    const QString filter = profile_.ProjectFilter + u'|' + profile_.SourceFilter;
    if (!dialogs_->OpenDialog(filter, name, false)) return false;
    fileName_ = name;
  }
  const QString name = fileName_;
  if (IsProjectFile(name)) {
    try {
      options_.LoadFromFile(name);
      AddRecentProject(name);
    } catch (const TkvError& e) {
      // An unreadable project keeps the current options.
      openError_ = e.Message();
    }
  } else if (!cmdOptions_.isEmpty()) {
    options_.SetText(cmdOptions_);
    fileName_.clear();
    if (Target().isEmpty()) SetOptionValue(QStringLiteral("Target"), TkvFolderPart(Source()));
  } else {
    fileName_.clear();
    SetOptionValue(QStringLiteral("Source"), name);
    if (Target().isEmpty()) SetOptionValue(QStringLiteral("Target"), TkvFolderPart(name));
  }
  ApplyToControls();
  return true;
}

void TkvProject::NewProject() {
  fileName_.clear();
  options_.Clear();
  ApplyToControls();
}

void TkvProject::SaveProject() {
  if (fileName_.isEmpty()) {
    SaveProjectAs();
    return;
  }
  CollectFromControls();
  options_.SaveToFile(fileName_);
  AddRecentProject(fileName_);
}

bool TkvProject::SaveProjectAs() {
  if (!dialogs_) return false;
  QString name = fileName_;
  if (!dialogs_->SaveDialog(profile_.ProjectFilter, profile_.ProjectExt, name)) return false;
  if (name.isEmpty()) return false;
  fileName_ = name;
  SaveProject();
  return true;
}

bool TkvProject::IsProjectFile(const QString& name) const {
  const QString& ext = profile_.ProjectExt;
  if (ext.isEmpty()) return false;
  const qsizetype at = name.indexOf(ext, 0, Qt::CaseSensitive);
  return at >= 0 && at == name.size() - ext.size();
}

void TkvProject::AddRecentProject(const QString& path) {
  // Absolute: the list is read again by programs started in other folders.
  const QString absolute = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
  for (const QString& entry : recent_)
    if (entry.compare(absolute, Qt::CaseInsensitive) == 0) return;
  recent_.prepend(absolute);
}

// ---- bound controls ----

void TkvProject::BindControl(QObject* control) {
  if (!control) return;
  bindings_.push_back(Binding{control, std::make_unique<TkvPropList>(control)});
}

void TkvProject::ApplyToControls() {
  for (const Binding& b : bindings_) {
    QObject* control = b.control.data();
    if (!control) continue;
    const QString name = control->objectName();
    const QString hint = control->property("hint").toString();
    QString value = OptionValue(name.mid(1));
    if (value.isEmpty()) {
      const QString legacy = name + u'.' + hint;
      value = OptionValue(legacy);
      SetOptionValue(legacy, QString());
    }
    b.props->WriteProp(hint, value);
  }
}

void TkvProject::CollectFromControls() {
  for (const Binding& b : bindings_) {
    QObject* control = b.control.data();
    if (!control) continue;
    QString text;
    b.props->ReadProp(control->property("hint").toString(), text);
    SetOptionValue(control->objectName().mid(1), text);
  }
}

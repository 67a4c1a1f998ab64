#pragma once
// The application object: the executable's path and the first command-line
// argument, fixed at creation, and the files kept "beside the program".
// One per process (Instance() is set by the constructor and cleared by the
// destructor); tests construct it from explicit values.
//
// Beside the program means the executable's folder when that is writable and
// not a system folder (/usr, /bin, /sbin; /usr/local counts as writable);
// otherwise the default project lives in $XDG_CONFIG_HOME/tabrix/ and the
// recent-projects file and usage store in $XDG_STATE_HOME/tabrix/ (folders
// created when first written).

#include <QString>

#include <memory>

class TkvApp {
 public:
  enum class Placement { Auto, BesideProgram, PerUser };

  TkvApp(QString exePath, QString firstArg, Placement placement = Placement::Auto);
  ~TkvApp();
  TkvApp(const TkvApp&) = delete;
  TkvApp& operator=(const TkvApp&) = delete;

  // From the running process: /proc/self/exe and argv[1].
  static std::unique_ptr<TkvApp> FromProcess(int argc, char** argv);
  static TkvApp* Instance();

  const QString& ExePath() const { return exePath_; }
  const QString& FirstArg() const { return firstArg_; }
  // The executable's folder, without a trailing delimiter.
  QString ProgramFolder() const;
  // Whether the files below live beside the executable.
  bool BesideProgram() const { return beside_; }

  // Executable path with its extension replaced by `projectExt`.
  QString DefaultProjectFile(const QString& projectExt) const;
  // Executable path + ".log": the recent-projects list.
  QString RecentProjectsFile() const;
  // Executable path with its extension replaced by ".ext": the usage store.
  QString InfoStoreFile() const;
  // Executable path without its extension; the help file is this + ".chm"
  // or ".pdf". Always beside the executable.
  QString HelpFileBase() const;

 private:
  QString exePath_;
  QString firstArg_;
  bool beside_;
};

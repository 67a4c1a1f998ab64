#pragma once
// The three file dialogs the project and the main window use. The window
// supplies the real implementation; each call returns whether the user
// confirmed, and only then changes the in/out text.
//
// Filters are "Label|pattern;pattern|Label|pattern..." texts.

#include <QString>

class TkvFileDialogs {
 public:
  virtual ~TkvFileDialogs() = default;

  // Initial file name: `name` with every "?" replaced by "*"; initial folder:
  // its folder part. Existing files only. With `several`, the result is every
  // chosen name followed by CR LF.
  virtual bool OpenDialog(const QString& filter, QString& name, bool several) = 0;
  // Initial name and folder from `name`; asks before overwriting.
  // `defaultExt` includes its dot (".batch-tabrix").
  virtual bool SaveDialog(const QString& filter, const QString& defaultExt, QString& name) = 0;
  // Starts at `folder` when not empty; on confirmation `folder` becomes the
  // chosen folder's path.
  virtual bool FolderDialog(QString& folder) = 0;
};

// Helpers for implementations: the initial file name and folder of the open
// and save dialogs.
QString TkvDialogInitialName(const QString& name, bool replaceQuestionMarks);
QString TkvDialogInitialFolder(const QString& name);

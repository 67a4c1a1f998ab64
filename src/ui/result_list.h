#pragma once
// `lViewer`: the result list of the main window, one row per item of the
// window's batch (row i shows item i): state icon, source path and the first
// line of the result. Rows hold copies of item values, never item pointers.
// A cell's full text is its tool tip; the state icon's accessible text names
// the state; the Result column takes the rest of the width.
// The log lines "[state] => file => result" are built from the rows.
// UI thread only.

#include <QStringList>
#include <QTreeWidget>

class TkvImageList;

class TkvResultList : public QTreeWidget {
  Q_OBJECT

 public:
  // `images` (not owned) must outlive the list.
  TkvResultList(const TkvImageList& images, QWidget* parent);

  int RowCount() const { return topLevelItemCount(); }
  // Row `index`; missing rows up to it are created empty, waiting.
  QTreeWidgetItem* EnsureRow(int index);
  // The item was listed: its row exists with `path` and the state icon.
  void ShowItem(int index, const QString& path, int status);
  // The item was finished: path, first result line, state icon, and the
  // PDFs it wrote with their pages in all.
  void SetItemResult(int index, const QString& fileName, const QString& result, int status,
                     const QStringList& files = {}, int pages = 0,
                     const QStringList& warnings = {});
  int RowStatus(int row) const;
  QStringList RowFiles(int row) const;
  // "Success", "Failure", "Not converted" or "Waiting" (in progress included).
  static QString StateText(int status);
  // Every row still waiting shows "Not converted" (its icon and result);
  // returns how many did.
  int MarkNotConverted();
  // The first waiting row, or -1.
  int FirstWaitingRow() const;
  // The selected rows in list order, one line each: state, file and result
  // separated by tabs.
  QString SelectedRowsText() const;

  QString LogLine(int row) const;
  QStringList LogLines() const;
  // Writes every log line to `fileName` (created or replaced; locale
  // encoding, CR LF). Throws TkvError naming the file when it cannot.
  void SaveList(const QString& fileName) const;

  // File of the first selected row; empty without a selection.
  QString SelectedFile() const;

  enum Column { StateColumn = 0, FileColumn = 1, ResultColumn = 2 };

 private:
  void SetStatus(QTreeWidgetItem* row, int status);

  const TkvImageList& images_;
};

#pragma once
// The check every written PDF passes before its item counts as a success.

#include <QString>
#include <QStringList>

// The page count of the PDF at `path`. Raises TkvError naming the file when
// it is missing, empty, not a readable PDF or has no pages. Any thread.
int TkvCheckPdf(const QString& path);

// The PDF files one item wrote and their pages in all, each checked as it
// is added. Owned by the converter thread converting the item.
class TkvPdfOutputs {
 public:
  // Checks `path` (raising as TkvCheckPdf) and then records it.
  void Add(const QString& path);
  void Clear();
  const QStringList& Files() const { return files_; }
  int Pages() const { return pages_; }

 private:
  QStringList files_;
  int pages_ = 0;
};

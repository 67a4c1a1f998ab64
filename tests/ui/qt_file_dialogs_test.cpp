// Qt's own dialogs behind the project's dialog interface, answered from the
// event loop as a user would answer them.

#include "ui/qt_file_dialogs.h"
#include "window_fixture.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>

using tabrix::test::EnsureApplication;
using tabrix::test::ScopedTempDir;
using tabrix::test::WhenModal;

namespace {

// Picks `files` in the dialog that is showing and confirms.
void Choose(const QStringList& files, QString* shownFolder = nullptr) {
  WhenModal([files, shownFolder](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    if (shownFolder) *shownFolder = dialog->directory().absolutePath();
    QStringList quoted;
    for (const QString& f : files) quoted << '"' + f + '"';
    dialog->selectFile(files.size() == 1 ? files.first() : quoted.join(' '));
    QMetaObject::invokeMethod(dialog, "accept");
  });
}

}  // namespace

TEST(QtFileDialogs, OpenSaveAndFolderChoices) {
  EnsureApplication();
  ScopedTempDir temp;
  const QString a = temp.write("in/a.xls", "x");
  const QString b = temp.write("in/b.xlsx", "x");
  QWidget owner;
  TkvQtFileDialogs dialogs(&owner);
  const QString filter = "Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx";

  // Several files: every name followed by CR LF; the dialog starts in the
  // folder of the given name.
  QString shown;
  QString name = temp.file("in/*.xls?");
  Choose({"a.xls", "b.xlsx"}, &shown);
  ASSERT_TRUE(dialogs.OpenDialog(filter, name, true));
  EXPECT_EQ(shown, temp.file("in"));
  EXPECT_EQ(name, a + "\r\n" + b + "\r\n");

  // One file.
  Choose({b});
  ASSERT_TRUE(dialogs.OpenDialog(filter, name, false));
  EXPECT_EQ(name, b);

  // Cancel leaves the name as it was.
  WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  EXPECT_FALSE(dialogs.OpenDialog(filter, name, false));
  EXPECT_EQ(name, b);

  // Save: the default extension is added to a bare name.
  QString log;
  Choose({temp.file("in/run")});
  ASSERT_TRUE(dialogs.SaveDialog("Log File|*.log", ".log", log));
  EXPECT_EQ(log, temp.file("in/run.log"));

  // Folder.
  QString folder = temp.file("in");
  Choose({temp.file("in")});
  ASSERT_TRUE(dialogs.FolderDialog(folder));
  EXPECT_EQ(QDir(folder).absolutePath(), temp.file("in"));
}

// Qt's own dialogs behind the project's dialog interface, answered from the
// event loop as a user would answer them.

#include "ui/qt_file_dialogs.h"
#include "window_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

using tabrix::test::EnsureApplication;
using tabrix::test::ScopedTempDir;
using tabrix::test::WhenModal;

namespace {

// Types `file` into the name box of the dialog that is showing and confirms,
// as a user would.
void Choose(const QString& file, QString* shownFolder = nullptr) {
  WhenModal([file, shownFolder](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    if (shownFolder) *shownFolder = dialog->directory().absolutePath();
    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(nameBox, nullptr);
    nameBox->setText(file);
    // A refused choice shows a message box: fail instead of hanging.
    QTimer::singleShot(2000, dialog, [dialog] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ADD_FAILURE() << "the dialog refused the choice: " << box->text().toStdString();
        box->reject();
        dialog->reject();
      }
    });
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

  // Several allowed: every name followed by CR LF; the dialog starts in the
  // folder of the given name.
  QString shown;
  QString name = temp.file("in/*.xls?");
  Choose(a, &shown);
  ASSERT_TRUE(dialogs.OpenDialog(filter, name, true));
  EXPECT_EQ(shown, temp.file("in"));
  EXPECT_EQ(name, a + "\r\n");

  // One file.
  Choose(b);
  ASSERT_TRUE(dialogs.OpenDialog(filter, name, false));
  EXPECT_EQ(name, b);

  // Cancel leaves the name as it was.
  WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  EXPECT_FALSE(dialogs.OpenDialog(filter, name, false));
  EXPECT_EQ(name, b);

  // Save: the default extension is added to a bare name.
  QString log;
  Choose(temp.file("in/run"));
  ASSERT_TRUE(dialogs.SaveDialog("Log File|*.log", ".log", log));
  EXPECT_EQ(log, temp.file("in/run.log"));

  // Folder: starts at the given one.
  QDir().mkpath(temp.file("in/sub"));
  QString folder = temp.file("in");
  Choose(temp.file("in/sub"), &shown);
  ASSERT_TRUE(dialogs.FolderDialog(folder));
  EXPECT_EQ(shown, temp.file("in"));
  EXPECT_EQ(QDir(folder).absolutePath(), temp.file("in/sub"));
}

#pragma once
// The spreadsheet session of one converter thread: the application object
// ("Excel.Application"), started at the thread's first workbook and kept for
// every later item, and the one workbook open at a time.
//
// Threads: everything except construction and destruction runs on the
// converter's thread; the automation references never leave it. The
// application is told to quit when the thread ends (EndSession).

#include "convert/automation/auto_object.h"
#include "convert/convertor.h"
#include "convert/office/office_timeout.h"
#include "convert/office/recalculation.h"

#include <QString>

#include <memory>

class TkvExcelOle : public TkvConvertor {
 public:
  // The automation class of the spreadsheet application.
  static constexpr const char* kApplicationClass = "Excel.Application";
  // The program file below the application's Path (the office's own binary).
  static constexpr const char* kProgramFileName = "soffice.bin";
  // Passed as the password under SkipPassword: a protected workbook then
  // fails to open instead of asking.
  static constexpr std::int32_t kDummyPassword = 37;

  TkvExcelOle(TkvBatch* batch, const TkvOptionSource& options, int count, TkvItemEvent itemEvent);
  ~TkvExcelOle() override;

  // The application's major version from its Version value: a number is
  // truncated; other text loses its first "." and is read as an integer (0
  // when it is none); results above 77 are divided by 10.
  static int VersionNumber(const TkvVariant& value);
  // The text path of VersionNumber alone ("16.0" -> 16, "7.0" -> 70).
  static int VersionNumberFromText(const QString& text);

  // Path of the application's program file (Path + "/" + kProgramFileName);
  // empty when no application runs or its Path cannot be read. Never throws.
  QString ApplicationPath() override;

  int AppVersion() const { return appVersion_; }

 protected:
  // Creates the application object; a failure raises (TkvError) and leaves
  // no application, so the next item tries again. Version ("W" usage
  // counter) and DisplayAlerts failures are ignored.
  void StartApplication();
  // Opens `path` (read-only as the options say, with the dummy password
  // under SkipPassword), recalculated after loading as `recalc` says,
  // starting the application first if needed. An already open workbook
  // stays in use. Failures raise; Workbook stays null.
  void OpenWorkbook(const QString& path, TkvRecalc recalc);
  // Closes the workbook without saving; never raises.
  void CloseWorkbook() noexcept;
  // Quits the application (errors ignored).
  void EndSession() override;

  // A time limit on one document's office work (the ItemTimeout option);
  // hold it for the whole item.
  TkvOfficeTimeout DocumentTimeLimit() const;

  std::shared_ptr<TkvAutoObject> Application;
  std::shared_ptr<TkvAutoObject> Workbook;

 private:
  int appVersion_ = 0;
};

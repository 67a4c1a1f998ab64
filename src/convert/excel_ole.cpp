#include "convert/excel_ole.h"

#include "convert/automation/class_registry.h"
#include "convert/office/calc_application.h"
#include "core/info.h"

#include <cmath>
#include <limits>

TkvExcelOle::TkvExcelOle(TkvBatch* batch, const TkvOptionSource& options, int count,
                         TkvItemEvent itemEvent)
    : TkvConvertor(batch, options, count, std::move(itemEvent)) {}

TkvExcelOle::~TkvExcelOle() { Shutdown(); }

int TkvExcelOle::VersionNumberFromText(const QString& text) {
  QString digits = text;
  const int dot = digits.indexOf(u'.');
  if (dot >= 0) digits.remove(dot, 1);
  bool ok = false;
  const int number = digits.toInt(&ok, 10);
  if (!ok) return 0;
  return number > 77 ? number / 10 : number;
}

int TkvExcelOle::VersionNumber(const TkvVariant& value) {
  double number = 0;
  if (value.TryToDouble(&number) && std::isfinite(number) &&
      std::fabs(number) < static_cast<double>(std::numeric_limits<int>::max())) {
    const int whole = static_cast<int>(std::trunc(number));
    return whole > 77 ? whole / 10 : whole;
  }
  if (value.GetType() != TkvVariant::Type::Text) return 0;
  return VersionNumberFromText(value.ToText());
}

void TkvExcelOle::StartApplication() {
  TkvAutomationInitThread();
  Application = TkvCreateObject(QString::fromLatin1(kApplicationClass));
  try {
    appVersion_ = VersionNumber(Application->Get(QStringLiteral("Version")));
    if (TkvInfo* info = TkvInfo::Instance()) info->AddCount(QStringLiteral("W"), appVersion_, 1);
  } catch (...) {
  }
  try {
    Application->Put(QStringLiteral("DisplayAlerts"), false);
  } catch (...) {
  }
}

void TkvExcelOle::OpenWorkbook(const QString& path, TkvRecalc recalc) {
  if (!Application) StartApplication();
  if (Workbook) return;
  auto workbooks = Application->GetObject(QStringLiteral("Workbooks"));
  const TkvVariant omitted = TkvVariant::Omitted;
  TkvArgs args;
  if (Options().SkipPassword())
    args = {path, omitted, true, omitted, kDummyPassword};
  else
    args = {path, omitted, Options().ReadOnly()};
  while (args.size() < kTkvOpenRecalculate) args << omitted;
  args << TkvRecalcName(recalc);
  Workbook = workbooks->Call(QStringLiteral("Open"), args).ToObject();
}

void TkvExcelOle::CloseWorkbook() noexcept {
  if (!Workbook) return;
  try {
    Workbook->Call(QStringLiteral("Close"), {false});
  } catch (...) {
  }
  Workbook.reset();
}

void TkvExcelOle::EndSession() {
  // The workbook goes first, so that the application closes it while it runs.
  Workbook.reset();
  if (!Application) return;
  try {
    Application->Call(QStringLiteral("Quit"));
  } catch (...) {
  }
  Application.reset();
}

QString TkvExcelOle::ApplicationPath() {
  if (!Application) return QString();
  try {
    QString folder = Application->Get(QStringLiteral("Path")).ToText();
    if (folder.isEmpty()) return QString();
    if (!folder.endsWith(u'/')) folder += u'/';
    return folder + QString::fromLatin1(kProgramFileName);
  } catch (...) {
    return QString();
  }
}

TkvOfficeTimeout TkvExcelOle::DocumentTimeLimit() const {
  return TkvOfficeTimeout(Options().ItemTimeout());
}

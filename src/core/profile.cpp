#include "core/profile.h"

TkvProfile TkvTabrixProfile() {
  TkvProfile p;
  p.ConvertorClass = QStringLiteral("TkvTabrix");
  p.SourceMask = QStringLiteral("*.xls?");
  p.SourceFilter = QStringLiteral("Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx");
  p.TargetExt = QStringLiteral(".pdf");
  p.ShortName = QStringLiteral("tabrix");
  p.ProjectExt = QStringLiteral(".batch-") + p.ShortName;
  p.ProjectFilter = QStringLiteral("Tabrix Project|*") + p.ProjectExt;
  p.Title = QStringLiteral("Tabrix Converter");
  p.Version = QStringLiteral("2025.17.420.2053");
  p.SkipLockFiles = true;
  return p;
}

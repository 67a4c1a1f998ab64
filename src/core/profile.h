#pragma once
// The product profile: the constants that make this build the workbook-to-PDF
// product. Set once at start-up, read by every layer.

#include <QString>

struct TkvProfile {
  QString ConvertorClass;  // converter registry name, "TkvTabrix"
  QString SourceMask;      // "*.xls?"
  QString SourceFilter;    // "Label|*.a;*.b" dialog filter
  QString TargetExt;       // ".pdf"
  QString ShortName;       // "tabrix"
  QString ProjectExt;      // ".batch-" + ShortName
  QString ProjectFilter;   // "Tabrix Project|*" + ProjectExt
  QString Title;           // "Tabrix Converter"
  QString Version;         // "2025.17.420.2053"
  bool SkipLockFiles = true;
};

// This product's values.
TkvProfile TkvTabrixProfile();

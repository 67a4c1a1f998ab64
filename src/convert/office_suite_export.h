#pragma once
// Whole-document PDF export through the office suite's service manager.

#include "convert/office/recalculation.h"

#include <QString>
#include <QStringList>

// Converts the document at source (a local path, a file: URL or an http(s)
// address) to one PDF file at target (a local path), through the calling
// thread's office process (the one its "Excel.Application" uses, else a new
// one). The document loads hidden and read-only, without macros or link
// updates, a spreadsheet is recalculated as `recalc` says (TkvRecalcDue),
// keeping the stored results of formulas the office cannot compute (their
// warnings in `warnings` when given), and the document is closed again on
// every path. True when the PDF was written; never raises. Runs under the
// thread's TkvOfficeTimeout, if any.
bool OfficeSuiteExport(const QString& source, const QString& target,
                       TkvRecalc recalc = TkvRecalc::Never,
                       QStringList* warnings = nullptr) noexcept;

#pragma once
// The page layout options (FitWidth, Orientation, PaperSize, PdfA) of one
// item, and their page settings applied to every sheet of an open
// workbook through the spreadsheet object model's PageSetup. They change
// only the loaded copy: the workbook is never saved.

#include <QString>

class TkvAutoObject;
class TkvOptionSource;

struct TkvPageLayout {
  // The object model's XlPageOrientation and XlPaperSize values.
  static constexpr int kPortrait = 1, kLandscape = 2;
  static constexpr int kPaperLetter = 1, kPaperLegal = 5, kPaperA3 = 8, kPaperA4 = 9, kPaperA5 = 11;

  bool fitWidth = false;  // one page wide, as many tall as needed
  int orientation = 0;    // 0 keeps each sheet's own
  int paperSize = 0;      // 0 keeps each sheet's own
  bool pdfA = false;

  // From the option texts (letter case ignored; empty, or a value that is
  // none of the choices, keeps each sheet's own).
  static TkvPageLayout Parse(bool fitWidth, const QString& orientation, const QString& paperSize,
                             bool pdfA);
  // From FitWidth, Orientation, PaperSize and PdfA.
  static TkvPageLayout FromOptions(const TkvOptionSource& options);

  bool ChangesPages() const { return fitWidth || orientation != 0 || paperSize != 0; }
  // Sets paper size, orientation and the width fit on the PageSetup of
  // every sheet of `workbook`, in sheet order. The first failure raises.
  void Apply(TkvAutoObject& workbook) const;
};

#pragma once
// The window's pictures (`imgList`): state icons of the result list and the
// action icons. Action icons come from the desktop's freedesktop theme when
// it has them, otherwise from simple pictures drawn here. The product
// picture is drawn here too (the same design as icons/tabrix.svg).
// UI thread only (needs a QGuiApplication).

#include <QIcon>
#include <QPixmap>

namespace TkvImage {
// Roles, as image indexes of the list and the actions.
enum Role : int {
  Waiting = 0,
  Success = 1,
  Failure = 2,
  Open = 3,
  New = 4,
  Save = 5,
  SaveAs = 6,
  Update = 7,
  Help = 8,
  Home = 9,
  Support = 10,
  About = 11,
  // A row of a stopped run that was never converted.
  NotConverted = 12,
  Config = 14,
};
}  // namespace TkvImage

class TkvImageList {
 public:
  TkvImageList();
  TkvImageList(const TkvImageList&) = delete;
  TkvImageList& operator=(const TkvImageList&) = delete;

  // An empty icon for an index without a picture.
  QIcon Icon(int index) const;
  static constexpr int kCount = 15;

 private:
  QIcon icons_[kCount];
};

// The product picture, `size` device-independent pixels square, drawn at
// `devicePixelRatio` device pixels each; transparent background.
QPixmap TkvProductPicture(int size, qreal devicePixelRatio = 1.0);

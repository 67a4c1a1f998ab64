#include "ui/images.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

// Draws a 16-unit design into a pixmap of `size` pixels.
QPixmap Render(int size, const Drawing& draw) {
  QPixmap pix(size, size);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  draw(p);
  return pix;
}

QIcon Drawn(const Drawing& draw) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) icon.addPixmap(Render(size, draw));
  return icon;
}

QPen Pen(const QColor& c, qreal w = 1.2) {
  return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Sheet(QPainter& p, const QColor& fill) {
  QPainterPath path;
  path.moveTo(3, 1.5);
  path.lineTo(10, 1.5);
  path.lineTo(13, 4.5);
  path.lineTo(13, 14.5);
  path.lineTo(3, 14.5);
  path.closeSubpath();
  p.setPen(Pen(QColor(70, 70, 70), 1));
  p.setBrush(fill);
  p.drawPath(path);
}

void Disk(QPainter& p) {
  p.setPen(Pen(QColor(20, 50, 110), 1));
  p.setBrush(QColor(60, 110, 200));
  p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.5, 1.5);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4.5, 2.5, 7, 4));
  p.setBrush(QColor(200, 200, 200));
  p.drawRect(QRectF(5, 9.5, 6, 4));
}

void Circle(QPainter& p, const QColor& fill) {
  p.setPen(Pen(fill.darker(140), 1));
  p.setBrush(fill);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void Letter(QPainter& p, const QString& text, qreal px) {
  QFont f;
  f.setBold(true);
  f.setPixelSize(qRound(px));
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

const Drawing kWaiting = [](QPainter& p) {
  Circle(p, QColor(150, 150, 150));
  p.setPen(Pen(Qt::white, 1.4));
  p.drawLine(QPointF(8, 8), QPointF(8, 4));
  p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
};
const Drawing kSuccess = [](QPainter& p) {
  Circle(p, QColor(40, 160, 60));
  p.setPen(Pen(Qt::white, 2));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
};
const Drawing kFailure = [](QPainter& p) {
  Circle(p, QColor(210, 40, 40));
  p.setPen(Pen(Qt::white, 2));
  p.drawLine(QPointF(5, 5), QPointF(11, 11));
  p.drawLine(QPointF(11, 5), QPointF(5, 11));
};
const Drawing kNotConverted = [](QPainter& p) {
  Circle(p, QColor(225, 150, 30));
  p.setPen(Pen(Qt::white, 2));
  p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
};
const Drawing kOpen = [](QPainter& p) {
  p.setPen(Pen(QColor(140, 100, 20), 1));
  p.setBrush(QColor(240, 200, 90));
  p.drawRect(QRectF(1.5, 4, 13, 10));
  p.setBrush(QColor(250, 220, 120));
  p.drawPolygon(
      QPolygonF({QPointF(1.5, 14), QPointF(4, 7.5), QPointF(15, 7.5), QPointF(12.5, 14)}));
};
const Drawing kNew = [](QPainter& p) {
  Sheet(p, Qt::white);
  p.setPen(Pen(QColor(40, 160, 60), 1.8));
  p.drawLine(QPointF(8, 6.5), QPointF(8, 12.5));
  p.drawLine(QPointF(5, 9.5), QPointF(11, 9.5));
};
const Drawing kSave = [](QPainter& p) { Disk(p); };
const Drawing kSaveAs = [](QPainter& p) {
  Disk(p);
  p.setPen(Pen(QColor(200, 120, 0), 1.8));
  p.drawLine(QPointF(9, 15), QPointF(15, 9));
};
const Drawing kUpdate = [](QPainter& p) {
  Circle(p, QColor(30, 130, 200));
  p.setPen(Pen(Qt::white, 1.8));
  p.drawLine(QPointF(8, 4), QPointF(8, 11.5));
  p.drawPolyline(QPolygonF({QPointF(5, 8.5), QPointF(8, 11.5), QPointF(11, 8.5)}));
};
const Drawing kHelp = [](QPainter& p) {
  Circle(p, QColor(30, 130, 200));
  Letter(p, QStringLiteral("?"), 11);
};
const Drawing kHome = [](QPainter& p) {
  p.setPen(Pen(QColor(90, 50, 20), 1));
  p.setBrush(QColor(230, 120, 60));
  p.drawPolygon(QPolygonF({QPointF(1.5, 8), QPointF(8, 2), QPointF(14.5, 8)}));
  p.setBrush(QColor(250, 240, 220));
  p.drawRect(QRectF(3.5, 8, 9, 6.5));
  p.setBrush(QColor(120, 80, 40));
  p.drawRect(QRectF(7, 10.5, 2.5, 4));
};
const Drawing kSupport = [](QPainter& p) {
  p.setPen(Pen(QColor(80, 80, 80), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(1.5, 3.5, 13, 9));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)}));
};
const Drawing kAbout = [](QPainter& p) {
  Circle(p, QColor(0, 85, 255));
  Letter(p, QStringLiteral("i"), 11);
};
const Drawing kConfig = [](QPainter& p) {
  p.setPen(Pen(QColor(80, 80, 80), 1));
  p.setBrush(QColor(180, 180, 190));
  p.drawEllipse(QRectF(2, 2, 12, 12));
  p.setBrush(QColor(240, 240, 240));
  p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
  p.setPen(Pen(QColor(80, 80, 80), 2));
  for (int i = 0; i < 4; ++i) {
    p.save();
    p.translate(8, 8);
    p.rotate(45 * i);
    p.drawLine(QPointF(0, -7.5), QPointF(0, -6));
    p.drawLine(QPointF(0, 7.5), QPointF(0, 6));
    p.restore();
  }
};

}  // namespace

TkvImageList::TkvImageList() {
  using namespace TkvImage;
  icons_[Waiting] = Drawn(kWaiting);
  icons_[Success] = Drawn(kSuccess);
  icons_[Failure] = Drawn(kFailure);
  icons_[NotConverted] = Drawn(kNotConverted);
  const struct {
    int role;
    const char* theme;
    const Drawing* own;
  } themed[] = {
      {Open, "document-open", &kOpen},
      {New, "document-new", &kNew},
      {Save, "document-save", &kSave},
      {SaveAs, "document-save-as", &kSaveAs},
      {Update, "system-software-update", &kUpdate},
      {Help, "help-contents", &kHelp},
      {Home, "go-home", &kHome},
      {Support, "mail-send", &kSupport},
      {About, "help-about", &kAbout},
      {Config, "preferences-system", &kConfig},
  };
  for (const auto& t : themed)
    icons_[t.role] = QIcon::fromTheme(QString::fromLatin1(t.theme), Drawn(*t.own));
}

QIcon TkvImageList::Icon(int index) const {
  if (index < 0 || index >= kCount) return {};
  return icons_[index];
}

QPixmap TkvProductPicture(int size, qreal devicePixelRatio) {
  // A workbook grid turning into a red PDF page: 128-unit design, drawn at
  // the screen's own pixels.
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  const int pixels = qRound(size * ratio);
  QPixmap pix(pixels, pixels);
  pix.fill(Qt::transparent);
  pix.setDevicePixelRatio(ratio);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 128.0, size / 128.0);
  p.setPen(QPen(QColor(20, 90, 40), 3));
  p.setBrush(QColor(235, 248, 238));
  p.drawRoundedRect(QRectF(8, 14, 74, 90), 6, 6);
  p.setPen(QPen(QColor(60, 150, 80), 2));
  for (int y = 34; y < 104; y += 14) p.drawLine(QPointF(8, y), QPointF(82, y));
  for (int x = 32; x < 82; x += 24) p.drawLine(QPointF(x, 14), QPointF(x, 104));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 120, 60));
  p.drawRoundedRect(QRectF(8, 14, 74, 20), 6, 6);
  p.setPen(QPen(QColor(130, 20, 20), 3));
  p.setBrush(Qt::white);
  QPainterPath page;
  page.moveTo(52, 40);
  page.lineTo(102, 40);
  page.lineTo(120, 58);
  page.lineTo(120, 120);
  page.lineTo(52, 120);
  page.closeSubpath();
  p.drawPath(page);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 30, 30));
  p.drawRect(QRectF(60, 78, 52, 24));
  QFont f;
  f.setBold(true);
  f.setPixelSize(18);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(60, 78, 52, 24), Qt::AlignCenter, QStringLiteral("PDF"));
  return pix;
}

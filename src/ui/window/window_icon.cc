// The window's icon: an old grey database, an arrow, a new blue one. Drawn
// without smoothing in colours of the 16-colour palette.
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "ui/window/form1.h"

namespace mirutone::ui {

namespace {

const QColor kGrey(0x80, 0x80, 0x80);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kRed(0x80, 0x00, 0x00);
const QColor kWhite(0xFF, 0xFF, 0xFF);

// A cylinder of width w at (x, y), h high, in units of the 32-pixel grid.
void cylinder(QPainter& p, int x, int y, int w, int h, const QColor& side, const QColor& top,
              const QColor& line) {
  const int lid = 4;
  p.setPen(line);
  p.setBrush(side);
  p.drawRect(x, y + lid / 2, w - 1, h - lid);
  p.drawEllipse(x, y + h - lid - 1, w - 1, lid);
  p.setPen(Qt::NoPen);
  p.drawRect(x + 1, y + lid / 2 + 1, w - 2, h - lid);
  p.setPen(line);
  p.setBrush(top);
  p.drawEllipse(x, y, w - 1, lid);
  // Bands between the records.
  p.setPen(line);
  for (int band = y + lid + 4; band < y + h - lid; band += 5) p.drawLine(x + 1, band, x + w - 2, band);
}

QPixmap draw(int size) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  {
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    cylinder(p, 1, 3, 12, 22, kSilver, kWhite, kGrey);
    cylinder(p, 19, 7, 12, 22, kBlue, kWhite, kNavy);
    // The arrow from old to new.
    const QPoint arrow[] = {{12, 14}, {17, 14}, {17, 11}, {21, 16}, {17, 21}, {17, 18}, {12, 18}};
    p.setPen(kRed);
    p.setBrush(kYellow);
    p.drawPolygon(arrow, 7);
  }
  if (size == 32) return pixmap;
  return pixmap.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

}  // namespace

QIcon window_icon() {
  QIcon icon;
  icon.addPixmap(draw(32));
  icon.addPixmap(draw(16));
  return icon;
}

}  // namespace mirutone::ui

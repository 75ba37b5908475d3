#include "gui/app/toolbar_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace brelvik {

namespace {

const QColor kInk(32, 32, 32);
const QColor kBlue(30, 90, 200);
const QColor kRed(200, 40, 40);
const QColor kGreen(20, 140, 50);

void drawArrow(QPainter& p, QPointF from, QPointF to) {
  p.drawLine(from, to);
  const QPointF d = to - from;
  const double len = std::hypot(d.x(), d.y());
  if (len <= 0) return;
  const QPointF u = d / len;
  const QPointF n(-u.y(), u.x());
  p.drawLine(to, to - 3 * u + 2 * n);
  p.drawLine(to, to - 3 * u - 2 * n);
}

void drawGlyph(QPainter& p, CommandId id) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(kInk, 1));
  switch (id) {
    case kCmdOpen: {  // open folder
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(QRectF(1.5, 4.5, 12, 8));
      p.drawRect(QRectF(1.5, 2.5, 5, 2));
      break;
    }
    case kCmdSave: {  // disk
      p.setBrush(QColor(70, 90, 160));
      p.drawRect(QRectF(1.5, 1.5, 12, 12));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 6, 4));
      p.drawRect(QRectF(3.5, 8.5, 8, 5));
      break;
    }
    case kCmdNew: {  // blank sheet
      p.setBrush(Qt::white);
      QPainterPath path;
      path.moveTo(3.5, 1.5);
      path.lineTo(9.5, 1.5);
      path.lineTo(12.5, 4.5);
      path.lineTo(12.5, 13.5);
      path.lineTo(3.5, 13.5);
      path.closeSubpath();
      p.drawPath(path);
      p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
      p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
      break;
    }
    case kCmdStart: {  // play triangle
      p.setBrush(kGreen);
      QPolygonF tri({QPointF(4, 2), QPointF(13, 7.5), QPointF(4, 13)});
      p.drawPolygon(tri);
      break;
    }
    case kCmdStop: {  // square
      p.setBrush(kRed);
      p.drawRect(QRectF(3.5, 3.5, 9, 8));
      break;
    }
    case kCmdShowScene: {  // sphere
      QRadialGradient g(QPointF(6, 5), 7);
      g.setColorAt(0, Qt::white);
      g.setColorAt(1, QColor(110, 110, 110));
      p.setBrush(g);
      p.drawEllipse(QRectF(2, 1.5, 12, 12));
      break;
    }
    case kCmdOrientation: {  // three axes
      p.setPen(QPen(kRed, 1.2));
      drawArrow(p, QPointF(4, 11), QPointF(14, 11));
      p.setPen(QPen(kGreen, 1.2));
      drawArrow(p, QPointF(4, 11), QPointF(4, 1));
      p.setPen(QPen(kBlue, 1.2));
      drawArrow(p, QPointF(4, 11), QPointF(10, 5));
      break;
    }
    case kCmdVelocityField: {  // row of arrows
      p.setPen(QPen(kBlue, 1.2));
      for (int r = 0; r < 3; ++r) drawArrow(p, QPointF(2, 3 + 4.5 * r), QPointF(13, 3 + 4.5 * r));
      break;
    }
    case kCmdFlowLines: {  // curved lines round a body
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kBlue, 1.2));
      for (int r = 0; r < 3; ++r) {
        QPainterPath path;
        const double y = 2.5 + 5 * r;
        const double bulge = (r == 1) ? 0 : (r == 0 ? -2 : 2);
        path.moveTo(1, y);
        path.cubicTo(5, y, 8, y + bulge, 15, y);
        p.drawPath(path);
      }
      p.setBrush(QColor(150, 150, 150));
      p.setPen(QPen(kInk, 1));
      p.drawEllipse(QRectF(6, 5.5, 4, 4));
      break;
    }
    case kCmdDragCoefficient: {  // history curve on axes
      p.drawLine(QPointF(2, 1), QPointF(2, 13.5));
      p.drawLine(QPointF(2, 13.5), QPointF(15, 13.5));
      p.setPen(QPen(kRed, 1.2));
      QPainterPath path;
      path.moveTo(2.5, 2);
      path.cubicTo(5, 12, 8, 9, 15, 9);
      p.setBrush(Qt::NoBrush);
      p.drawPath(path);
      break;
    }
    case kCmdDomainParameters: {  // grid
      p.setPen(QPen(kInk, 1));
      for (int i = 0; i < 4; ++i) {
        p.drawLine(QPointF(2.5 + 4 * i, 1.5), QPointF(2.5 + 4 * i, 13.5));
        p.drawLine(QPointF(2.5, 1.5 + 4 * i), QPointF(14.5, 1.5 + 4 * i));
      }
      break;
    }
    case kCmdFlowParameters: {  // "Re"
      QFont f = p.font();
      f.setPixelSize(10);
      f.setBold(true);
      p.setFont(f);
      p.setPen(kBlue);
      p.drawText(QRectF(0, 0, kToolIconWidth, kToolIconHeight), Qt::AlignCenter,
                 QStringLiteral("Re"));
      break;
    }
    case kCmdVisualisation: {  // eye
      p.setBrush(Qt::white);
      QPainterPath path;
      path.moveTo(1, 7.5);
      path.quadTo(8, 0, 15, 7.5);
      path.quadTo(8, 15, 1, 7.5);
      p.drawPath(path);
      p.setBrush(kBlue);
      p.drawEllipse(QRectF(5.5, 5, 5, 5));
      break;
    }
    default:
      break;
  }
}

}  // namespace

QIcon commandIcon(CommandId id) {
  QPixmap pm(kToolIconWidth, kToolIconHeight);
  pm.fill(Qt::transparent);
  {
    QPainter p(&pm);
    drawGlyph(p, id);
  }
  return QIcon(pm);
}

QIcon applicationIcon() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  QRadialGradient g(QPointF(12, 11), 16);
  g.setColorAt(0, Qt::white);
  g.setColorAt(1, QColor(60, 90, 160));
  p.setBrush(g);
  p.setPen(QPen(QColor(20, 30, 60), 1));
  p.drawEllipse(QRectF(4, 4, 24, 24));
  return QIcon(pm);
}

}  // namespace brelvik

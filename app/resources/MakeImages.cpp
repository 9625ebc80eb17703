// Draws the two 32 x 32 RGBA button images of the window into a folder:
//   Relogio.png   a clock face (button "Atualizar")
//   Desligar.png  a red circular power symbol (button "Fechar")
// Build the target dz_make_images and run it with the folder to remake them:
//   dz_make_images app/resources

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cmath>

#include <cstdio>

namespace {

constexpr int ImageSize = 32;

QImage EmptyImage() {
  QImage image(ImageSize, ImageSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

QImage ClockFace() {
  QImage image = EmptyImage();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(16, 16);

  // Rim: a dark blue ring around a white dial with a light shade towards the bottom.
  QRadialGradient dial(QPointF(13, 12), 18);
  dial.setColorAt(0, QColor(255, 255, 255));
  dial.setColorAt(1, QColor(214, 224, 236));
  p.setPen(QPen(QColor(30, 60, 120), 2.5));
  p.setBrush(dial);
  p.drawEllipse(centre, 14, 14);

  // Hour marks: longer at 12, 3, 6 and 9.
  for (int hour = 0; hour < 12; ++hour) {
    const double angle = hour * 30.0 * M_PI / 180.0;
    const double outer = 11.5;
    const double inner = hour % 3 == 0 ? 8.5 : 10.0;
    const QPointF direction(std::sin(angle), -std::cos(angle));
    p.setPen(QPen(QColor(40, 40, 40), hour % 3 == 0 ? 1.8 : 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + direction * inner, centre + direction * outer);
  }

  // Hands at ten past ten: hour hand short and thick, minute hand long and thin.
  auto hand = [&](double degrees, double length, double thickness, const QColor& colour) {
    const double angle = degrees * M_PI / 180.0;
    const QPointF direction(std::sin(angle), -std::cos(angle));
    p.setPen(QPen(colour, thickness, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + direction * length);
  };
  hand(305, 6.5, 2.4, QColor(20, 20, 20));
  hand(60, 9.5, 1.6, QColor(20, 20, 20));
  hand(180, 9.0, 0.9, QColor(200, 30, 30));  // second hand

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 30, 30));
  p.drawEllipse(centre, 1.6, 1.6);
  return image;
}

QImage PowerSymbol() {
  QImage image = EmptyImage();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(16, 16);

  // A red round button, lit from the upper left, with a darker rim.
  QRadialGradient face(QPointF(12, 10), 20);
  face.setColorAt(0, QColor(255, 110, 100));
  face.setColorAt(0.55, QColor(215, 25, 20));
  face.setColorAt(1, QColor(140, 0, 0));
  p.setPen(QPen(QColor(110, 0, 0), 1.5));
  p.setBrush(face);
  p.drawEllipse(centre, 14.5, 14.5);

  // The power symbol in white: a circle open at the top, and a bar through the opening.
  QPen symbol(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap);
  p.setPen(symbol);
  p.setBrush(Qt::NoBrush);
  const QRectF ring(centre.x() - 7.5, centre.y() - 6.5, 15, 15);
  p.drawArc(ring, (90 + 40) * 16, (360 - 80) * 16);
  p.drawLine(QPointF(16, 6.0), QPointF(16, 14.5));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: dz_make_images <folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const bool saved = ClockFace().save(folder + "/Relogio.png", "PNG") &&
                     PowerSymbol().save(folder + "/Desligar.png", "PNG");
  if (!saved) {
    std::fprintf(stderr, "dz_make_images: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork.h"

#include <algorithm>

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QRadialGradient>
#include <QRectF>
#include <QTransform>

namespace sorvina::resources {
namespace {

// Every drawing below is laid out on a 256 x 256 canvas and scaled to the target size.
constexpr qreal kCanvas = 256.0;

const QColor kTileTop(0x2f, 0x8c, 0xe0);
const QColor kTileBottom(0x5b, 0x3c, 0xc4);
const QColor kNoteColour(0xff, 0xff, 0xff);
const QColor kShuffleColour(0xff, 0xc5, 0x3d);

// The rounded tile behind the mark, with a soft sheen on its upper half. `inset` keeps a
// transparent margin around it.
void DrawTile(QPainter& painter, qreal inset) {
  const QRectF tile(inset, inset, kCanvas - 2 * inset, kCanvas - 2 * inset);
  QLinearGradient fill(tile.topLeft(), tile.bottomRight());
  fill.setColorAt(0.0, kTileTop);
  fill.setColorAt(1.0, kTileBottom);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(tile, 52, 52);

  QLinearGradient sheen(0, 8, 0, 128);
  sheen.setColorAt(0.0, QColor(255, 255, 255, 70));
  sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
  painter.setBrush(sheen);
  painter.drawRoundedRect(tile, 52, 52);
}

// An oval note head tilted like printed music.
void DrawNoteHead(QPainter& painter, QPointF centre, qreal rx, qreal ry) {
  painter.save();
  painter.translate(centre);
  painter.rotate(-22);
  painter.drawEllipse(QPointF(0, 0), rx, ry);
  painter.restore();
}

// One eighth note, big and plain, for the small sizes where detail turns to mush.
void DrawSingleNote(QPainter& painter, const QColor& colour) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  DrawNoteHead(painter, QPointF(100, 180), 50, 36);
  painter.drawRect(QRectF(122, 44, 28, 134));
  QPainterPath flag;
  flag.moveTo(122, 44);
  flag.cubicTo(150, 60, 206, 80, 190, 150);
  flag.cubicTo(186, 112, 168, 100, 150, 96);
  flag.closeSubpath();
  painter.drawPath(flag);
}

// Two beamed eighth notes above a pair of crossing shuffle arrows: music, drawn at random.
void DrawNotesAndShuffle(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(kNoteColour);
  DrawNoteHead(painter, QPointF(82, 136), 30, 21);
  DrawNoteHead(painter, QPointF(170, 116), 30, 21);
  painter.drawRect(QRectF(98, 50, 13, 84));
  painter.drawRect(QRectF(186, 34, 13, 80));
  painter.drawPolygon(
      QPolygonF({QPointF(98, 50), QPointF(199, 30), QPointF(199, 58), QPointF(98, 78)}));

  QPen stroke(kShuffleColour, 15, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
  painter.setPen(stroke);
  painter.setBrush(Qt::NoBrush);
  QPainterPath down;
  down.moveTo(44, 176);
  down.cubicTo(118, 176, 124, 216, 190, 216);
  QPainterPath up;
  up.moveTo(44, 216);
  up.cubicTo(118, 216, 124, 176, 190, 176);
  painter.drawPath(down);
  painter.drawPath(up);

  painter.setPen(Qt::NoPen);
  painter.setBrush(kShuffleColour);
  for (qreal y : {176.0, 216.0}) {
    painter.drawPolygon(QPolygonF({QPointF(186, y - 17), QPointF(218, y), QPointF(186, y + 17)}));
  }
}

QPainterPath HeartPath(QPointF centre, qreal size) {
  // A heart in a unit box, top notch at (0.5, 0.3), point at (0.5, 1).
  QPainterPath heart;
  heart.moveTo(0.5, 0.3);
  heart.cubicTo(0.5, 0.05, 0.0, 0.0, 0.0, 0.35);
  heart.cubicTo(0.0, 0.65, 0.35, 0.8, 0.5, 1.0);
  heart.cubicTo(0.65, 0.8, 1.0, 0.65, 1.0, 0.35);
  heart.cubicTo(1.0, 0.0, 0.5, 0.05, 0.5, 0.3);
  heart.closeSubpath();
  QTransform place;
  place.translate(centre.x() - size / 2, centre.y() - size / 2);
  place.scale(size, size);
  return place.map(heart);
}

}  // namespace

QImage DonationPicture(int scale, const QString& word) {
  constexpr int kWidth = kDonationSize.width();
  constexpr int kHeight = kDonationSize.height();
  scale = std::max(scale, 1);
  QImage image(kDonationSize * scale, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  painter.scale(scale, scale);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient card(0, 0, 0, kHeight);
  card.setColorAt(0.0, QColor(0xff, 0xf8, 0xe1));
  card.setColorAt(1.0, QColor(0xff, 0xe3, 0x9a));
  painter.fillRect(QRectF(0, 0, kWidth, kHeight), card);

  // Coin, behind and to the right of the heart.
  const QPointF coinCentre(42.5, 13.5);
  QRadialGradient gold(coinCentre - QPointF(3, 3), 12);
  gold.setColorAt(0.0, QColor(0xff, 0xe8, 0x7a));
  gold.setColorAt(1.0, QColor(0xe0, 0xa0, 0x10));
  painter.setPen(QPen(QColor(0xa8, 0x6e, 0x00), 1.2));
  painter.setBrush(gold);
  painter.drawEllipse(coinCentre, 10, 10);
  painter.setPen(QPen(QColor(0xc0, 0x84, 0x08), 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(coinCentre, 7, 7);

  // Heart, in front.
  QLinearGradient red(0, 2, 0, 26);
  red.setColorAt(0.0, QColor(0xff, 0x5a, 0x5f));
  red.setColorAt(1.0, QColor(0xc8, 0x10, 0x2e));
  painter.setPen(QPen(QColor(0x8c, 0x0a, 0x1e), 1.0));
  painter.setBrush(red);
  painter.drawPath(HeartPath(QPointF(28, 14), 23));

  // Lettering, as large as fits the width.
  QFont font;
  font.setFamilies(
      {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  for (int pixels = 12; pixels >= 7; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).horizontalAdvance(word) <= kWidth - 6) break;
  }
  painter.setFont(font);
  painter.setPen(QColor(0x6b, 0x2e, 0x00));
  painter.drawText(QRect(0, 27, kWidth, 14), Qt::AlignHCenter | Qt::AlignVCenter, word);
  painter.end();
  image = image.convertToFormat(QImage::Format_RGB888);
  image.setDevicePixelRatio(scale);
  return image;
}

QIcon DonationIcon(const QString& word) {
  QIcon icon;
  for (int scale : {1, 2, 3})
    icon.addPixmap(QPixmap::fromImage(DonationPicture(scale, word)));
  return icon;
}

QImage RenderProgramIcon(int size) {
  if (size <= 0) return QImage();
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kCanvas, size / kCanvas);
  // A margin of a whole number of pixels (none at the smallest sizes) keeps the tile's
  // edges sharp.
  DrawTile(painter, (size / 32) * kCanvas / size);
  if (size < 48) {
    DrawSingleNote(painter, kNoteColour);
  } else {
    DrawNotesAndShuffle(painter);
  }
  painter.end();
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(RenderProgramIcon(size)));
  return icon;
}

}  // namespace sorvina::resources

#include "ui/shell/link_button.h"

#include <algorithm>

#include <QColor>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>
#include <QRect>

#include "resources/artwork.h"

namespace sorvina::ui {
namespace {

// The width and height of a window border, in pixels: the unit of every inset below.
constexpr int kBorder = 1;

// Draws one ring of the edge: `topLeft` owns the top row and the left column up to the
// pixel before the far corner, `bottomRight` the bottom row and the right column whole.
void DrawRing(QPainter& painter, const QRect& ring, const QColor& topLeft,
              const QColor& bottomRight) {
  if (ring.width() <= 0 || ring.height() <= 0) return;
  painter.fillRect(QRect(ring.left(), ring.top(), ring.width() - 1, 1), topLeft);
  painter.fillRect(QRect(ring.left(), ring.top(), 1, ring.height() - 1), topLeft);
  painter.fillRect(QRect(ring.left(), ring.bottom(), ring.width(), 1), bottomRight);
  painter.fillRect(QRect(ring.right(), ring.top(), 1, ring.height()), bottomRight);
}

// A soft two-pixel button edge around `rect`, raised or sunken, its face filled with the
// button colour.
void DrawButtonEdge(QPainter& painter, const QRect& rect, const QPalette& palette, bool sunken) {
  const QColor highlight = palette.color(QPalette::Light);
  const QColor light = palette.color(QPalette::Midlight);
  const QColor shadow = palette.color(QPalette::Dark);
  const QColor darkShadow = palette.color(QPalette::Shadow);
  const QRect inner = rect.adjusted(1, 1, -1, -1);
  if (sunken) {
    DrawRing(painter, rect, darkShadow, highlight);
    DrawRing(painter, inner, shadow, light);
  } else {
    DrawRing(painter, rect, highlight, darkShadow);
    DrawRing(painter, inner, light, shadow);
  }
  const QRect face = rect.adjusted(2, 2, -2, -2);
  if (face.isValid()) painter.fillRect(face, palette.color(QPalette::Button));
}

// Replaces every second pixel of `image`, in a checkerboard, with `colour`.
void Dither(QImage& image, const QColor& colour) {
  const QRgb value = colour.rgb();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); x += 2) {
      const int column = x + y % 2;
      if (column < image.width()) image.setPixel(column, y, value);
    }
  }
}

// The dotted focus rectangle: every second pixel of the outline of `frame` (right and
// bottom exclusive) inverted, so that it shows on any background. Each pixel is touched
// once, corners included, so the inversion never cancels itself.
void DrawFocusFrame(QPainter& painter, const QRect& frame, const QColor& fallback) {
  const int left = frame.left();
  const int top = frame.top();
  const int right = left + frame.width() - 1;   // last column, inclusive
  const int bottom = top + frame.height() - 1;  // last row, inclusive
  if (right < left || bottom < top) return;

  painter.save();
  if (painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes)) {
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
  } else {
    painter.setPen(fallback);
  }
  auto dot = [&](int x, int y) {
    if ((x + y) % 2 == 0) painter.drawPoint(x, y);
  };
  for (int x = left; x <= right; ++x) {
    dot(x, top);
    if (bottom != top) dot(x, bottom);
  }
  for (int y = top + 1; y < bottom; ++y) {
    dot(left, y);
    if (right != left) dot(right, y);
  }
  painter.restore();
}

}  // namespace

LinkButton::LinkButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

QSize LinkButton::sizeHint() const {
  const QImage picture = resources::LoadBitmapResource(bitmapNormal & 0xFFFF);
  // Room for the two-pixel edge, the focus rectangle and the press offset on every side, so
  // that the centred picture shows whole at rest and pressed.
  const int margin = 6 * kBorder;
  return picture.size() + QSize(2 * margin, 2 * margin);
}

void LinkButton::paintEvent(QPaintEvent* /*event*/) {
  const int cx = kBorder;
  const int cy = kBorder;
  const bool pressed = isDown();
  const bool disabled = !isEnabled();

  QPainter painter(this);
  const QRect whole = rect();
  const int w = whole.width() - 4 * cx;
  const int h = whole.height() - 4 * cy;

  // The picture for the state; without a picture of its own the disabled state shows the
  // normal one dithered.
  int bitmap = bitmapNormal;
  bool dither = false;
  if (pressed) {
    if (bitmapPressed != 0) bitmap = bitmapPressed;
  } else if (disabled) {
    if (bitmapDisabled != 0) {
      bitmap = bitmapDisabled;
    } else {
      dither = true;
    }
  }
  // Drawn afresh every time, so dithering never builds up on a kept copy.
  QImage picture = resources::LoadBitmapResource(bitmap & 0xFFFF);
  const int bw = picture.width();
  const int bh = picture.height();

  // Place the picture: xo, yo is the focus rectangle's corner, the picture starts one border
  // inside it; sx, sy is where the visible part of a picture too large for the face begins.
  int xo = 2 * cx;
  int yo = 2 * cy;
  int sx = 0;
  int sy = 0;
  int destX = 3 * cx;
  int destY = 3 * cy;
  int iw = bw;
  int ih = bh;
  if (stretchImage != 0) {
    iw = w - cx;
    ih = h - cy;
  } else {
    if (alignment & Qt::AlignRight) {
      xo = w - bw;
      if (xo < 2 * cx) {
        sx = bw - w;
        xo = 2 * cx;
      }
      destX = xo + cx;
    } else if (!(alignment & Qt::AlignLeft)) {
      xo = (w - bw) / 2 + cx;
      if (xo < 2 * cx) {
        sx = (bw - w) / 2;
        xo = 2 * cx;
      }
      destX = xo + cx;
    }
    if (alignment & Qt::AlignBottom) {
      yo = h - bh;
      if (yo < 2 * cy) {
        sy = bh - h;
        yo = 2 * cy;
      }
      destY = yo + cy;
    } else if (!(alignment & Qt::AlignTop)) {
      yo = (h - bh) / 2 + cy;
      if (yo < 2 * cy) {
        sy = (bh - h) / 2;
        yo = 2 * cy;
      }
      destY = yo + cy;
    }
  }
  QRect focus(xo, yo, iw + 2 * cx, ih + 2 * cy);

  const int dx = pressed ? cx : 0;
  const int dy = pressed ? cy : 0;
  DrawButtonEdge(painter, whole, palette(), pressed);
  focus.translate(dx, dy);
  destX += dx;
  destY += dy;

  if (picture.isNull()) {
    // Nothing to show: the face alone, with the focus around the inner rectangle.
    focus = whole.adjusted(2 * cx, 2 * cy, -2 * cx, -2 * cy);
  } else {
    if (dither) Dither(picture, palette().color(QPalette::Button));
    if (stretchImage != 0) {
      if (iw > 0 && ih > 0) painter.drawImage(QRect(destX, destY, iw, ih), picture);
    } else {
      const int width = std::min(bw, w - dx - destX);
      const int height = std::min(bh, h - dy - destY);
      if (width > 0 && height > 0) painter.drawImage(destX, destY, picture, sx, sy, width, height);
    }
  }

  if (hasFocus()) DrawFocusFrame(painter, focus, palette().color(QPalette::WindowText));
}

}  // namespace sorvina::ui

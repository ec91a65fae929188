#pragma once

#include <QAbstractButton>

namespace sorvina::ui {

// A push button that shows a picture (a bitmap resource) instead of text: a raised face
// with the picture centred on it, a sunken face with the picture shifted one border width
// when pressed, the picture dithered with the button face colour when disabled, and a
// dotted focus rectangle one border width outside the picture. The picture is loaded
// anew for every paint; nothing is kept between paints.
class LinkButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit LinkButton(QWidget* parent = nullptr);

  // Non-zero: stretch the picture over the face; zero: its own size, placed by
  // `alignment`.
  int stretchImage = 0;
  // Bitmap resource ids (only the low 16 bits count); 0 for pressed or disabled means the
  // normal picture (dithered when disabled).
  int bitmapNormal = 0;
  int bitmapPressed = 0;
  int bitmapDisabled = 0;
  // Where an unstretched picture sits: left/right/centre and top/bottom/centre.
  Qt::Alignment alignment = Qt::AlignCenter;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvina::ui

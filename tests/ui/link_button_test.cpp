// The bitmap button's looks, checked pixel by pixel against the picture it was given, and
// its click.

#include "ui/shell/link_button.h"

#include <algorithm>
#include <memory>

#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "resources/artwork.h"
#include "resources/resource_ids.h"
#include "tests/ui/ui_test_support.h"

namespace sorvina::ui {
namespace {

const QColor kFace(200, 200, 200);
const QColor kHighlight(255, 255, 255);
const QColor kLight(230, 230, 230);
const QColor kShadow(128, 128, 128);
const QColor kDarkShadow(0, 0, 0);

// Inner rectangle 79 x 50: the 71 x 42 donation picture sits 6 pixels in on every side.
constexpr QSize kRoomy(83, 54);

std::unique_ptr<LinkButton> MakeButton(QSize size) {
  auto button = std::make_unique<LinkButton>();
  button->bitmapNormal = resources::kIdbDonation;
  button->setFixedSize(size);
  QPalette palette = button->palette();
  palette.setColor(QPalette::Button, kFace);
  palette.setColor(QPalette::Light, kHighlight);
  palette.setColor(QPalette::Midlight, kLight);
  palette.setColor(QPalette::Dark, kShadow);
  palette.setColor(QPalette::Shadow, kDarkShadow);
  button->setPalette(palette);
  return button;
}

QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Picture(int id = resources::kIdbDonation) {
  return resources::LoadBitmapResource(id).convertToFormat(QImage::Format_RGB32);
}

// Whether the `size` block of `image` at `at` equals the block of `picture` at `from`.
bool SameBlock(const QImage& image, QPoint at, const QImage& picture, QPoint from, QSize size) {
  return image.copy(QRect(at, size)) == picture.copy(QRect(from, size));
}

QColor At(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y));
}

// The pixels that differ between two renderings, each of which must lie on the outline of
// `frame`; fails the check otherwise.
QList<QPoint> ChangesOnOutline(const QImage& before, const QImage& after, const QRect& frame) {
  QList<QPoint> changed;
  for (int y = 0; y < before.height(); ++y) {
    for (int x = 0; x < before.width(); ++x) {
      if (before.pixel(x, y) == after.pixel(x, y)) continue;
      const bool onOutline = frame.contains(x, y) && (x == frame.left() || x == frame.right() ||
                                                      y == frame.top() || y == frame.bottom());
      if (!onOutline) qWarning("changed off the focus outline at %d,%d", x, y);
      changed << QPoint(x, y);
    }
  }
  return changed;
}

}  // namespace

class LinkButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }
  void cleanup() { QCOMPARE(test::TopLevelWidgetsLeft(), QStringList()); }

  void restingIsRaisedAndCentredPressedIsSunkenAndShifted() {
    auto button = MakeButton(kRoomy);
    const QImage resting = Render(*button);
    const QImage picture = Picture();
    QCOMPARE(At(resting, 0, 0), kHighlight);
    QCOMPARE(At(resting, 1, 1), kLight);
    QCOMPARE(At(resting, 82, 0), kDarkShadow);
    QCOMPARE(At(resting, 82, 53), kDarkShadow);
    QCOMPARE(At(resting, 81, 52), kShadow);
    QCOMPARE(At(resting, 5, 6), kFace);
    QVERIFY(SameBlock(resting, QPoint(6, 6), picture, QPoint(0, 0), picture.size()));

    button->setDown(true);
    const QImage pressed = Render(*button);
    QCOMPARE(At(pressed, 0, 0), kDarkShadow);
    QCOMPARE(At(pressed, 1, 1), kShadow);
    QCOMPARE(At(pressed, 82, 53), kHighlight);
    QCOMPARE(At(pressed, 81, 52), kLight);
    QCOMPARE(At(pressed, 6, 7), kFace);
    QVERIFY(SameBlock(pressed, QPoint(7, 7), picture, QPoint(0, 0), picture.size()));

    button->setDown(false);
    QCOMPARE(Render(*button), resting);
  }

  void disabledPictureIsACheckerboardThatNeverBuildsUp() {
    // The picture is 71 wide: the checkerboard must stop at its last column.
    auto button = MakeButton(kRoomy);
    button->setEnabled(false);
    const QImage first = Render(*button);
    const QImage picture = Picture();
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) {
        const QColor expected = (x + y) % 2 == 0 ? kFace : QColor(picture.pixel(x, y));
        QCOMPARE(At(first, 6 + x, 6 + y), expected);
      }
    }
    QCOMPARE(At(first, 0, 0), kHighlight);
    QCOMPARE(Render(*button), first);
    QCOMPARE(Render(*button), first);

    // Pictures of their own for pressed and disabled are shown as they are; only the low 16
    // bits of an id count. 16 x 16 centred in 79 x 50 starts at 33, 19.
    button->bitmapDisabled = 0x10000 | resources::kIdbWatermark;
    const QImage watermark = Picture(resources::kIdbWatermark);
    QVERIFY(SameBlock(Render(*button), QPoint(33, 19), watermark, QPoint(0, 0), QSize(16, 16)));
    button->setEnabled(true);
    button->bitmapPressed = resources::kIdbWatermark;
    button->setDown(true);
    QVERIFY(SameBlock(Render(*button), QPoint(34, 20), watermark, QPoint(0, 0), QSize(16, 16)));
  }

  void pictureLargerThanTheFaceShowsItsMiddleInsideTheEdge() {
    // Inner 36 x 26 for 71 x 42: from column (71 - 36) / 2 and row (42 - 26) / 2.
    auto button = MakeButton(QSize(40, 30));
    const QImage image = Render(*button);
    const QImage picture = Picture();
    QVERIFY(SameBlock(image, QPoint(3, 3), picture, QPoint(17, 8), QSize(33, 23)));
    QCOMPARE(At(image, 39, 15), kDarkShadow);
    QCOMPARE(At(image, 38, 15), kShadow);
    QCOMPARE(At(image, 20, 29), kDarkShadow);
    QCOMPARE(At(image, 20, 28), kShadow);

    // Left and top alignment put the picture's corner at the inner corner instead.
    button->alignment = Qt::AlignLeft | Qt::AlignTop;
    QVERIFY(SameBlock(Render(*button), QPoint(3, 3), picture, QPoint(0, 0), QSize(33, 23)));
  }

  void focusRectangleIsDottedOneBorderOutsideThePicture() {
    auto button = MakeButton(kRoomy);
    const QImage plain = Render(*button);
    button->setDown(true);
    const QImage pressedPlain = Render(*button);
    button->setDown(false);
    button->show();
    button->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(button.get()));
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());

    // The picture covers (6, 6) to (76, 47).
    const QRect frame(5, 5, 73, 44);
    const QList<QPoint> changed = ChangesOnOutline(plain, Render(*button), frame);
    for (QPoint point : changed)
      QVERIFY(!changed.contains(point + QPoint(1, 0)) && !changed.contains(point + QPoint(0, 1)));
    for (int side : {frame.left(), frame.right()})
      QVERIFY(std::count_if(changed.begin(), changed.end(),
                            [&](QPoint p) { return p.x() == side; }) >= frame.height() / 2 - 1);
    for (int side : {frame.top(), frame.bottom()})
      QVERIFY(std::count_if(changed.begin(), changed.end(),
                            [&](QPoint p) { return p.y() == side; }) >= frame.width() / 2 - 1);

    button->setDown(true);
    QVERIFY(!ChangesOnOutline(pressedPlain, Render(*button), frame.translated(1, 1)).isEmpty());
    button->close();
  }

  void clickReachesTheOwner() {
    auto button = MakeButton(kRoomy);
    QCOMPARE(button->focusPolicy(), Qt::StrongFocus);
    QSignalSpy clicked(button.get(), &QAbstractButton::clicked);
    QTest::mouseClick(button.get(), Qt::LeftButton);
    QTest::keyClick(button.get(), Qt::Key_Space);
    QCOMPARE(clicked.count(), 2);
    button->setEnabled(false);
    QTest::mouseClick(button.get(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 2);
  }

  void picturesHaveTheirSizes() {
    QCOMPARE(resources::LoadBitmapResource(resources::kIdbWatermark).size(), QSize(16, 16));
    const QImage donation = resources::LoadBitmapResource(resources::kIdbDonation);
    QCOMPARE(donation.size(), QSize(71, 42));
    QCOMPARE(donation.format(), QImage::Format_RGB888);
    // The lettering along the bottom is drawn: dark pixels on the light card.
    int dark = 0;
    for (int y = 28; y < 42; ++y) {
      for (int x = 0; x < 71; ++x)
        dark += qGray(donation.pixel(x, y)) < 100;
    }
    QVERIFY(dark > 30);
    for (int size : {16, 256}) {
      const QImage icon = resources::RenderProgramIcon(size);
      QCOMPARE(icon.size(), QSize(size, size));
      QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
      QVERIFY(qAlpha(icon.pixel(0, 0)) < 32);  // rounded corners
    }
    QCOMPARE(resources::ProgramIcon().availableSizes().size(), 7);
  }
};

}  // namespace sorvina::ui

QTEST_MAIN(sorvina::ui::LinkButtonTest)
#include "link_button_test.moc"

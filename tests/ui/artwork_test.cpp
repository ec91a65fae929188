// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, drawn in code: the donation picture at each screen scale and as
// the last page's button, and the program icon.

#include "resources/artwork.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "tests/ui/ui_test_support.h"
#include "tests/ui/widget_test_case.h"
#include "ui/shell/web_page.h"
#include "ui/wizard/amount_page.h"

namespace sorvina::ui {
namespace {

// How colourful `image` is: the mean saturation of its pixels, 0 for grey.
double MeanSaturation(const QImage& image) {
  double total = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      total += QColor(image.pixel(x, y)).hsvSaturationF();
  }
  return total / (image.width() * image.height());
}

// The dark pixels of the lettering along the picture's bottom, at `scale`.
int DarkPixelsOfTheLettering(const QImage& picture, int scale) {
  int dark = 0;
  for (int y = 28 * scale; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x)
      dark += qGray(picture.pixel(x, y)) < 100;
  }
  return dark;
}

// Whether `block` stands in `image` with its centre within two pixels of `image`'s centre.
bool ShowsNearTheCentre(const QImage& image, const QImage& block) {
  const QPoint corner = image.rect().center() - block.rect().center();
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      if (image.copy(QRect(corner + QPoint(dx, dy), block.size())) == block) return true;
    }
  }
  return false;
}

}  // namespace

class ArtworkTest : public sorvina::test::WidgetTestCase {
  Q_OBJECT

 private:
  void TidyUp() override { SetUrlOpener({}); }

 private slots:
  void initTestCase() { test::QuietOffscreenWarnings(); }

  void theDonationPictureIsSharpAtEveryScale_data() {
    QTest::addColumn<int>("scale");
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
    QTest::newRow("3") << 3;
  }
  void theDonationPictureIsSharpAtEveryScale() {
    QFETCH(int, scale);
    const QImage picture = resources::DonationPicture(scale);
    QCOMPARE(picture.size(), resources::kDonationSize * scale);
    QCOMPARE(picture.devicePixelRatio(), qreal(scale));
    QCOMPARE(picture.format(), QImage::Format_RGB888);
    // The lettering is drawn, finer at the larger scales rather than blown up.
    QVERIFY(DarkPixelsOfTheLettering(picture, scale) > 30 * scale);
    QCOMPARE(resources::DonationIcon().pixmap(resources::kDonationSize, qreal(scale)).size(),
             resources::kDonationSize * scale);
  }

  void theDonationButtonShowsThePictureGreyedWhenDisabledAndClicks() {
    engine::SettingsText settings;
    AmountPage page(settings);
    page.show();
    auto* button = page.findChild<QToolButton*>(QStringLiteral("donationButton"));
    QVERIFY(button);
    QCOMPARE(button->iconSize(), resources::kDonationSize);
    QCOMPARE(button->focusPolicy(), Qt::StrongFocus);
    QVERIFY(button->width() >= resources::kDonationSize.width());
    QVERIFY(button->height() >= resources::kDonationSize.height());

    // The picture stands whole in the middle of the button, pixel for pixel.
    const QImage picture = resources::DonationPicture().convertToFormat(QImage::Format_RGB32);
    const auto shown = [button] {
      return button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QVERIFY(ShowsNearTheCentre(shown(), picture));

    // Disabled, the style greys it.
    button->setEnabled(false);
    const QImage greyed = shown();
    QVERIFY(!ShowsNearTheCentre(greyed, picture));
    const QRect middle(greyed.rect().center() - picture.rect().center(), picture.size());
    QVERIFY(MeanSaturation(greyed.copy(middle)) < MeanSaturation(picture) / 2);

    QList<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) {
      opened << url;
      return true;
    });
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 0);
    button->setEnabled(true);
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(opened.size(), 2);
  }

  void theProgramIconHasItsSizes() {
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

QTEST_MAIN(sorvina::ui::ArtworkTest)
#include "artwork_test.moc"

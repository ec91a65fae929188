// SPDX-License-Identifier: GPL-3.0-or-later
// sorvina-render-icon SIZE OUTPUT.png: writes the program icon at SIZE x SIZE pixels, for
// the build to install beside the executable. The file appears only once it is complete.

#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include "resources/artwork.h"

namespace {

constexpr int kLargestSize = 4096;

int Usage() {
  std::fprintf(stderr, "usage: sorvina-render-icon SIZE OUTPUT.png (SIZE 1 to %d)\n", kLargestSize);
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) return Usage();
  char* end = nullptr;
  const long size = std::strtol(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || size < 1 || size > kLargestSize) return Usage();
  const QString output = QString::fromLocal8Bit(argv[2]);

  // A build machine need not have a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  const QImage icon = sorvina::resources::RenderProgramIcon(static_cast<int>(size));
  QSaveFile file(output);
  if (!file.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "sorvina-render-icon: cannot write %s: %s\n", argv[2],
                 file.errorString().toLocal8Bit().constData());
    return 1;
  }
  if (!icon.save(&file, "PNG")) {
    file.cancelWriting();
    std::fprintf(stderr, "sorvina-render-icon: cannot encode the icon as PNG for %s\n", argv[2]);
    return 1;
  }
  if (!file.commit()) {
    std::fprintf(stderr, "sorvina-render-icon: cannot write %s: %s\n", argv[2],
                 file.errorString().toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

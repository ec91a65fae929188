#include "ui/shell/web_page.h"

#include <QDesktopServices>

#include "ui/website.h"

namespace sorvina::ui {
namespace {

UrlOpener& Opener() {
  static UrlOpener opener;
  return opener;
}

}  // namespace

QString WebsiteAddress() {
  return QString::fromUtf8(kWebsite);
}

void OpenWebPage(const QString& path) {
  const QUrl url(WebsiteAddress() + path);
  if (Opener()) {
    Opener()(url);
    return;
  }
  QDesktopServices::openUrl(url);
}

void OpenHelpPage() {
  OpenWebPage(QString::fromLatin1(kHelpPagePath));
}

void SetUrlOpener(UrlOpener opener) {
  Opener() = std::move(opener);
}

}  // namespace sorvina::ui

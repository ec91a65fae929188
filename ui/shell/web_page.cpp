// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/web_page.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include "ui/shell/message_box.h"
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

void OpenWebPage(const QString& path, QWidget* parent) {
  const QUrl url(WebsiteAddress() + path);
  const bool opened = Opener() ? Opener()(url) : QDesktopServices::openUrl(url);
  if (opened) return;
  ShowInformation(parent, QCoreApplication::translate("sorvina::ui::WebPage",
                                                      "No web browser could be started.\n"
                                                      "The page is at:\n%1")
                              .arg(url.toString()));
}

void OpenHelpPage(QWidget* parent) {
  OpenWebPage(QString::fromLatin1(kHelpPagePath), parent);
}

void SetUrlOpener(UrlOpener opener) {
  Opener() = std::move(opener);
}

}  // namespace sorvina::ui

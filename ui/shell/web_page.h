// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QUrl>

class QWidget;

namespace sorvina::ui {

inline constexpr char kHelpPagePath[] = "/sorvina/index.html";
inline constexpr char kDonationPagePath[] = "/sorvina/donate.html";

// The product web site's scheme and host, as the build configured it.
QString WebsiteAddress();

// Opens `path` of the product web site in the user's browser. Where no browser can be
// started, a message over `parent` says so and gives the address, to be copied from it.
void OpenWebPage(const QString& path, QWidget* parent = nullptr);

// Opens the help page.
void OpenHelpPage(QWidget* parent = nullptr);

// Test seam: stands in for the browser and says whether one was started; an empty
// function restores the browser.
using UrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);

}  // namespace sorvina::ui

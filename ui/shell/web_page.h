#pragma once

#include <functional>

#include <QString>
#include <QUrl>

namespace sorvina::ui {

inline constexpr char kHelpPagePath[] = "/sorvina/index.html";
inline constexpr char kDonationPagePath[] = "/sorvina/donate.html";

// The product web site's scheme and host, as the build configured it.
QString WebsiteAddress();

// Opens `path` of the product web site in the user's browser. Whether that worked is not
// reported: there is nothing the user could do about it here.
void OpenWebPage(const QString& path);

// Opens the help page.
void OpenHelpPage();

// Test seam: replaces the browser; an empty function restores it.
using UrlOpener = std::function<void(const QUrl&)>;
void SetUrlOpener(UrlOpener opener);

}  // namespace sorvina::ui

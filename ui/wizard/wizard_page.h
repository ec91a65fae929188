// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWizardPage>

#include "engine/settings/settings_text.h"

class QLineEdit;

namespace sorvina::ui {

// What the four pages share: a caption for the title bar and a header title, the settings
// they edit, and the hooks the wizard calls. Each page reads the settings into its controls
// in ShowSettings and writes them back in StoreInto; Next (and Finish on the last page) is
// validatePage(), Back is cleanupPage().
class WizardPage : public QWizardPage {
  Q_OBJECT

 public:
  WizardPage(const QString& caption, const QString& title, engine::SettingsText& settings,
             QWidget* parent = nullptr);

  // What the title bar shows while the page is current.
  const QString& caption() const { return caption_; }

  // Shows the settings in the page's controls; runs every time the page becomes the
  // current page, Back included.
  virtual void ShowSettings() = 0;
  // The wizard's Help button.
  virtual void OnHelp();

  // Back stores nothing unless a page says otherwise (and never resets fields).
  void cleanupPage() override {}

  // Stores what the page's controls hold into `settings`, as leaving it forward would.
  virtual void StoreInto(engine::SettingsText& settings) const = 0;

  // Makes the wizard at least as large as the page's controls need now: the wizard sizes
  // itself for a page as it switches to it, not when a text shown later needs more room.
  void GrowWizardToFit();

 protected:
  engine::SettingsText& settings_;

 private:
  QString caption_;
};

// `widget`, named `name` for tests and style sheets to find it by.
template <class Widget>
Widget* Named(const char* name, Widget* widget) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// Makes `field` as wide as `characters` average characters of its font and its frame, for
// a short number: it follows the font, and a window made wider does not stretch it.
void FitToCharacters(QLineEdit* field, int characters);

}  // namespace sorvina::ui

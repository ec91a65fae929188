#pragma once

#include <QString>
#include <QWizardPage>

#include "engine/settings/settings_text.h"
#include "ui/shell/dialog_builder.h"

namespace sorvina::ui {

// Which of the wizard's buttons a page wants enabled.
inline constexpr int kWizardBack = 1;
inline constexpr int kWizardNext = 2;
inline constexpr int kWizardFinish = 4;

// What the four pages share: controls placed from the page's dialog template, a caption
// for the title bar and a header title, the settings they edit, and the hooks the wizard
// calls. Next (and Finish on the last page) is validatePage(), Back is cleanupPage().
class WizardPage : public QWizardPage {
  Q_OBJECT

 public:
  WizardPage(int templateId, int captionId, int headerId, engine::SettingsText& settings,
             QWidget* parent = nullptr);

  // What the title bar shows while the page is current.
  const QString& caption() const { return caption_; }

  // Runs every time the page becomes the current page, Back included.
  virtual void OnEntered() = 0;
  // The wizard's Help button.
  virtual void OnHelp();

  // Back stores nothing unless a page says otherwise (and never resets fields).
  void cleanupPage() override {}

  // Stores what the page's controls hold into `settings`, as leaving it forward would;
  // a page whose controls are stored as they change stores nothing more here.
  virtual void StoreInto(engine::SettingsText& /*settings*/) const {}

 protected:
  // The template's control `id`, as the widget the template made of it.
  template <class Widget>
  Widget* Control(int id) const {
    return qobject_cast<Widget*>(built_.controls.at(id));
  }
  // Gives control `id` an object name that tests and style sheets can find.
  void NameControl(int id, const char* name) const;

  // Asks the wizard to enable exactly `buttons`, once the page change under way is done.
  void SetWizardButtons(int buttons);

  engine::SettingsText& settings_;

 private:
  BuiltDialog built_;
  QString caption_;
};

}  // namespace sorvina::ui

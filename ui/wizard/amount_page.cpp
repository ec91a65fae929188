#include "ui/wizard/amount_page.h"

#include <algorithm>

#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "resources/resource_ids.h"
#include "ui/progress/wizard_file_operation.h"
#include "ui/progress/wizard_run_ports.h"
#include "ui/shell/link_button.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/web_page.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {

using namespace resources;

namespace {
constexpr int kDefaultFillsToAvoid = 2;
}  // namespace

AmountPage::AmountPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(kIddFinalPage, kIdsPage4Caption, kIdsPage4Header, settings, parent),
      hoursField_(Control<QLineEdit>(kIdcHoursField)),
      megabyteField_(Control<QLineEdit>(kIdcMegabyteField)),
      hoursButton_(Control<QRadioButton>(kIdcHoursButton)),
      megabyteButton_(Control<QRadioButton>(kIdcMegabyteButton)),
      allButton_(Control<QRadioButton>(kIdcAllButton)),
      donationButton_(Control<LinkButton>(kIdcDonation)),
      freeSpaceButton_(Control<QPushButton>(kIdcFreeSpace)),
      keepFilling_(Control<QCheckBox>(kIdcKeepFilling)),
      avoidLast_(Control<QCheckBox>(kIdcAvoidLast)),
      avoidLastCount_(Control<QLineEdit>(kIdcAvoidLastCount)),
      summary_(Control<QLabel>(kIdcSummary)) {
  NameControl(kIdcHoursField, "hoursField");
  NameControl(kIdcMegabyteField, "megabyteField");
  NameControl(kIdcHoursButton, "hoursButton");
  NameControl(kIdcMegabyteButton, "megabyteButton");
  NameControl(kIdcAllButton, "allButton");
  NameControl(kIdcDonation, "donationButton");
  NameControl(kIdcSaveSettings, "saveSettings");
  Control<QPushButton>(kIdcSaveSettings)->setToolTip(tr("Saves the settings to a file"));
  NameControl(kIdcFreeSpace, "freeSpaceButton");
  NameControl(kIdcKeepFilling, "keepFilling");
  NameControl(kIdcSummary, "summaryLine");
  NameControl(kIdcAvoidLast, "avoidLast");
  NameControl(kIdcAvoidLastCount, "avoidLastCount");
  avoidLastCount_->setValidator(new QIntValidator(1, 999, avoidLastCount_));
  freeSpaceButton_->setToolTip(tr("Fill the destination's free space"));

  donationButton_->bitmapNormal = kIdbDonation;
  donationButton_->bitmapPressed = 0;
  donationButton_->bitmapDisabled = 0;
  donationButton_->setToolTip(tr("Opens the donation page in your browser"));
  megabyteButton_->setChecked(true);

  connect(donationButton_, &LinkButton::clicked, this,
          [this] { OpenWebPage(QString::fromLatin1(kDonationPagePath), window()); });
  connect(megabyteButton_, &QRadioButton::clicked, this, [this] { megabyteField_->setFocus(); });
  connect(hoursButton_, &QRadioButton::clicked, this, [this] { hoursField_->setFocus(); });
  // An amount typed is the amount meant: its button follows.
  connect(megabyteField_, &QLineEdit::textEdited, this,
          [this] { megabyteButton_->setChecked(true); });
  connect(hoursField_, &QLineEdit::textEdited, this, [this] { hoursButton_->setChecked(true); });
  connect(freeSpaceButton_, &QPushButton::clicked, this, [this] {
    megabyteButton_->setChecked(true);
    megabyteField_->setText(QString::fromLatin1(engine::kFreeSpaceAmount));
    megabyteField_->setFocus();
  });
  connect(keepFilling_, &QCheckBox::toggled, this,
          [this](bool checked) { settings_.options.fill = checked; });
  connect(avoidLast_, &QCheckBox::toggled, this, [this](bool checked) {
    avoidLastCount_->setEnabled(checked);
    StoreAvoidLast();
  });
  connect(avoidLastCount_, &QLineEdit::textChanged, this, [this] { StoreAvoidLast(); });
  connect(Control<QPushButton>(kIdcSaveSettings), &QPushButton::clicked, this, [this] {
    engine::SettingsText toSave = settings_;
    StoreInto(toSave);
    // The limit counts as stored once the file was opened, as Back would store it.
    if (SaveSettings(this, toSave)) StoreLimitChoice();
  });
}

void AmountPage::OnEntered() {
  SetWizardButtons(kWizardBack | kWizardFinish);
  RestoreLimitChoice();
  keepFilling_->setChecked(settings_.options.fill);
  const int avoidLast = settings_.options.avoidLast;
  // Until the user says otherwise, avoiding means the last two fills.
  avoidLastCount_->setText(QString::number(avoidLast > 0 ? avoidLast : kDefaultFillsToAvoid));
  avoidLast_->setChecked(avoidLast > 0);
  avoidLastCount_->setEnabled(avoidLast > 0);
  // Only a copy destination has free space to fill.
  freeSpaceButton_->setEnabled(settings_.copyToFolder);
  summary_->clear();
}

void AmountPage::StoreAvoidLast() {
  // A count left empty while the box is checked still avoids the last fill.
  settings_.options.avoidLast =
      avoidLast_->isChecked() ? std::max(1, avoidLastCount_->text().toInt()) : 0;
}

void AmountPage::RestoreLimitChoice() {
  const QString amount = FromEngineText(settings_.amountText);
  switch (settings_.limitMode) {
    case engine::kLimitMegabytes:
      megabyteButton_->setChecked(true);
      megabyteField_->setText(amount);
      megabyteField_->setFocus();
      break;
    case engine::kLimitHours:
      hoursButton_->setChecked(true);
      hoursField_->setText(amount);
      hoursField_->setFocus();
      break;
    case engine::kLimitAll:
      allButton_->setChecked(true);
      break;
    default:
      // A hand-edited settings file may hold any mode; the buttons stay as they are.
      break;
  }
}

void AmountPage::StoreLimitChoice() {
  StoreInto(settings_);
}

void AmountPage::cleanupPage() {
  StoreLimitChoice();
}

void AmountPage::StoreInto(engine::SettingsText& settings) const {
  // "All" keeps the amount last typed, so that choosing a limit again brings it back.
  if (megabyteButton_->isChecked()) {
    settings.limitMode = engine::kLimitMegabytes;
    settings.amountText = ToEngineText(megabyteField_->text());
  } else if (hoursButton_->isChecked()) {
    settings.limitMode = engine::kLimitHours;
    settings.amountText = ToEngineText(hoursField_->text());
  } else if (allButton_->isChecked()) {
    settings.limitMode = engine::kLimitAll;
  }
}

QString AmountPage::megabytesText() const {
  return megabyteField_->text();
}

QString AmountPage::hoursText() const {
  return hoursField_->text();
}

void AmountPage::SetAmountTexts(const QString& megabytes, const QString& hours) {
  megabyteField_->setText(megabytes);
  hoursField_->setText(hours);
}

bool AmountPage::validatePage() {
  // The run lets pending events through while it shows progress; a second Finish
  // arriving then must not start a run inside the run.
  if (running_) return false;
  running_ = true;
  summary_->clear();
  WizardRunPorts ports(window());
  WizardFileOperation fileOperation(window());
  engine::SettingsText asTyped = settings_;
  StoreInto(asTyped);
  const engine::SelectionOutcome outcome =
      engine::SelectionRun(engine::ParseSettings(asTyped), ports, {&fileOperation, {}, false});
  if (outcome.summary) {
    const QString line = Translated(engine::SummaryText(*outcome.summary));
    summary_->setText(summary_->fontMetrics().elidedText(line, Qt::ElideMiddle, summary_->width()));
    summary_->setToolTip(line);
  }
  running_ = false;
  emit selectionRun();
  return false;
}

}  // namespace sorvina::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/amount_page.h"

#include <algorithm>
#include <optional>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "platform/file_system.h"
#include "resources/artwork.h"
#include "ui/progress/wizard_file_operation.h"
#include "ui/progress/wizard_run_ports.h"
#include "ui/shell/number_text.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/web_page.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {
namespace {

constexpr int kDefaultFillsToAvoid = 2;
// Room in the amount fields, in characters.
constexpr int kAmountWidth = 6;
constexpr int kCountWidth = 4;

QLineEdit* MakeField(const char* name, int characters, QWidget* parent) {
  auto* field = Named(name, new QLineEdit(parent));
  FitToCharacters(field, characters);
  return field;
}

}  // namespace

AmountPage::AmountPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(tr("Sorvina step 4"), tr("Set how many mp3s to select"), settings, parent) {
  // Made in the order Tab visits them. The round buttons have no text of their own: the
  // label beside each says what it chooses.
  auto* frame = new QGroupBox(this);
  megabyteButton_ = Named("megabyteButton", new QRadioButton(frame));
  megabyteField_ = MakeField("megabyteField", kAmountWidth, frame);
  auto* megabyteLabel = new QLabel(tr("Select up to this number of MB"), frame);
  auto* freeSpace = Named("freeSpaceButton", new QPushButton(tr("Free space"), frame));
  freeSpace->setToolTip(tr("Fill the destination's free space"));
  freeSpaceButton_ = freeSpace;
  freeSpaceFigure_ = Named("freeSpaceFigure", new QLabel(frame));
  hoursButton_ = Named("hoursButton", new QRadioButton(frame));
  hoursField_ = MakeField("hoursField", kAmountWidth, frame);
  auto* hoursLabel = new QLabel(tr("Select up to this many hours"), frame);
  allButton_ = Named("allButton", new QRadioButton(frame));
  auto* allLabel = new QLabel(tr("Select all"), frame);
  keepFilling_ =
      Named("keepFilling", new QCheckBox(tr("Keep filling with files that still fit"), frame));
  avoidLast_ = Named("avoidLast", new QCheckBox(tr("Avoid songs of the last"), frame));
  avoidLastCount_ = MakeField("avoidLastCount", kCountWidth, frame);
  avoidLastCount_->setValidator(new QIntValidator(1, 999, avoidLastCount_));
  avoidLastUnit_ = new QLabel(frame);
  auto* saveSettings = Named("saveSettings", new QPushButton(tr("Save Settings"), this));
  saveSettings->setToolTip(tr("Saves the settings to a file"));
  auto* donation = Named("donationButton", new QToolButton(this));
  donation->setIcon(resources::DonationIcon());
  donation->setIconSize(resources::kDonationSize);
  donation->setFocusPolicy(Qt::StrongFocus);
  donation->setToolTip(tr("Opens the donation page in your browser"));
  auto* invitation = new QLabel(tr("Sorvina is free, but if you like it please") +
                                    QLatin1Char('\n') + tr("consider sending a few dollars my way"),
                                this);
  summary_ = Named("summaryLine", new QLabel(this));
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);

  auto* limits = new QGridLayout;
  limits->addWidget(megabyteButton_, 0, 0);
  limits->addWidget(megabyteField_, 0, 1);
  limits->addWidget(megabyteLabel, 0, 2);
  limits->addWidget(freeSpace, 0, 3);
  limits->addWidget(freeSpaceFigure_, 0, 4);
  limits->addWidget(hoursButton_, 1, 0);
  limits->addWidget(hoursField_, 1, 1);
  limits->addWidget(hoursLabel, 1, 2);
  limits->addWidget(allButton_, 2, 0);
  limits->addWidget(allLabel, 2, 1, 1, 2);
  limits->setColumnStretch(4, 1);
  auto* avoidRow = new QHBoxLayout;
  avoidRow->addWidget(avoidLast_);
  avoidRow->addWidget(avoidLastCount_);
  avoidRow->addWidget(avoidLastUnit_, 1);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addLayout(limits);
  frameLayout->addSpacing(fontMetrics().height() / 2);
  frameLayout->addWidget(keepFilling_, 0, Qt::AlignLeft);
  frameLayout->addLayout(avoidRow);
  auto* top = new QHBoxLayout;
  top->addWidget(frame, 1);
  top->addWidget(saveSettings, 0, Qt::AlignTop);
  auto* donationRow = new QHBoxLayout;
  donationRow->addWidget(donation);
  donationRow->addWidget(invitation, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(top);
  page->addLayout(donationRow);
  page->addWidget(summary_);
  page->addStretch();

  megabyteButton_->setChecked(true);
  connect(donation, &QToolButton::clicked, this,
          [this] { OpenWebPage(QString::fromLatin1(kDonationPagePath), window()); });
  connect(megabyteButton_, &QRadioButton::clicked, this, [this] { megabyteField_->setFocus(); });
  connect(hoursButton_, &QRadioButton::clicked, this, [this] { hoursField_->setFocus(); });
  connect(allButton_, &QRadioButton::toggled, this, [this] { ShowWhatApplies(); });
  // An amount typed is the amount meant: its button follows.
  connect(megabyteField_, &QLineEdit::textEdited, this,
          [this] { megabyteButton_->setChecked(true); });
  connect(hoursField_, &QLineEdit::textEdited, this, [this] { hoursButton_->setChecked(true); });
  connect(freeSpace, &QPushButton::clicked, this, [this] {
    megabyteButton_->setChecked(true);
    megabyteField_->setText(QString::fromLatin1(engine::kFreeSpaceAmount));
    megabyteField_->setFocus();
  });
  // Filling and avoiding count at once, whichever way the page is left.
  connect(keepFilling_, &QCheckBox::toggled, this, [this] { StoreOptions(settings_.options); });
  connect(avoidLast_, &QCheckBox::toggled, this, [this](bool checked) {
    avoidLastCount_->setEnabled(checked);
    StoreOptions(settings_.options);
  });
  connect(avoidLastCount_, &QLineEdit::textChanged, this,
          [this] { StoreOptions(settings_.options); });
  connect(saveSettings, &QPushButton::clicked, this, [this] {
    engine::SettingsText toSave = settings_;
    StoreInto(toSave);
    // The limit counts as stored once the file was opened, as Back would store it.
    if (SaveSettings(this, toSave)) StoreInto(settings_);
  });
  setFinalPage(true);
}

void AmountPage::ShowSettings() {
  ShowLimitChoice();
  // A copy: each box stores what it shows as it changes.
  const engine::ExtraOptions options = settings_.options;
  keepFilling_->setChecked(options.fill);
  // Until the user says otherwise, avoiding means the last two fills.
  const int avoidLast = options.avoidLast;
  avoidLastCount_->setText(QString::number(avoidLast > 0 ? avoidLast : kDefaultFillsToAvoid));
  avoidLast_->setChecked(avoidLast > 0);
  avoidLastCount_->setEnabled(avoidLast > 0);
  summary_->clear();
  summary_->setToolTip({});
  ShowWhatApplies();
  ShowFreeSpace();
}

void AmountPage::ShowLimitChoice() {
  const QString amount = FromEngineNumber(settings_.amountText);
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

void AmountPage::ShowWhatApplies() {
  // Only a copy destination has free space to fill; with everything chosen there is no
  // room to fill up.
  freeSpaceButton_->setEnabled(settings_.copyToFolder);
  freeSpaceFigure_->setEnabled(settings_.copyToFolder);
  keepFilling_->setEnabled(!allButton_->isChecked());
  avoidLastUnit_->setText(settings_.copyToFolder ? tr("fills") : tr("playlists written here"));
}

void AmountPage::ShowFreeSpace() {
  std::optional<platform::FileSystemSpace> space;
  if (settings_.copyToFolder && !settings_.destination.empty())
    space = platform::SpaceOf(settings_.destination);
  freeSpaceFigure_->setText(
      space && space->totalBytes > 0
          ? tr("free: %1")
                .arg(Translated(engine::SizeText(static_cast<std::int64_t>(space->availableBytes))))
          : QString());
}

void AmountPage::StoreOptions(engine::ExtraOptions& options) const {
  options.fill = keepFilling_->isChecked();
  // A count left empty while the box is checked still avoids the last fill.
  options.avoidLast = avoidLast_->isChecked() ? std::max(1, avoidLastCount_->text().toInt()) : 0;
}

void AmountPage::cleanupPage() {
  StoreInto(settings_);
}

// Filling and avoiding were stored as they changed. "All" keeps the amount last typed, so
// that choosing a limit again brings it back.
void AmountPage::StoreInto(engine::SettingsText& settings) const {
  if (megabyteButton_->isChecked()) {
    settings.limitMode = engine::kLimitMegabytes;
    settings.amountText = ToEngineNumber(megabyteField_->text());
  } else if (hoursButton_->isChecked()) {
    settings.limitMode = engine::kLimitHours;
    settings.amountText = ToEngineNumber(hoursField_->text());
  } else if (allButton_->isChecked()) {
    settings.limitMode = engine::kLimitAll;
  }
}

void AmountPage::StoreEntered(engine::EnteredState& entered) const {
  entered.megabytesText = ToEngineNumber(megabyteField_->text());
  entered.hoursText = ToEngineNumber(hoursField_->text());
}

void AmountPage::ShowEntered(const engine::EnteredState& entered) {
  megabyteField_->setText(FromEngineNumber(entered.megabytesText.value_or("")));
  hoursField_->setText(FromEngineNumber(entered.hoursText.value_or("")));
}

bool AmountPage::isComplete() const {
  return !running_;
}

bool AmountPage::validatePage() {
  // The run lets pending events through while it shows progress; a second Finish
  // arriving then must not start a run inside the run.
  if (running_) return false;
  running_ = true;
  emit completeChanged();
  summary_->clear();
  summary_->setToolTip({});
  // The copy's window shows the steps that follow the copy, such as the playlist on the
  // player, so that one progress window is up at a time.
  WizardFileOperation fileOperation(window());
  WizardRunPorts ports(window(), &fileOperation);
  engine::SettingsText asTyped = settings_;
  StoreInto(asTyped);
  engine::SelectionRunOptions options;
  options.fileOperationOwner = &fileOperation;
  const engine::SelectionOutcome outcome =
      engine::SelectionRun(engine::ParseSettings(asTyped), ports, options);
  if (outcome.summary) {
    const QString line = Translated(engine::SummaryText(*outcome.summary));
    summary_->setText(line);
    summary_->setToolTip(line);
  }
  ShowFreeSpace();
  running_ = false;
  emit completeChanged();
  emit selectionRun();
  return false;
}

}  // namespace sorvina::ui

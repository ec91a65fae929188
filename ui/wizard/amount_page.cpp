// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/amount_page.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "engine/history/play_history.h"
#include "engine/player/player_lookup.h"
#include "engine/player/player_profile.h"
#include "engine/report/summary_line.h"
#include "engine/run/selection_run.h"
#include "engine/settings/conversion_choice.h"
#include "media/codecs.h"
#include "platform/file_system.h"
#include "resources/artwork.h"
#include "text/user_text.h"
#include "ui/progress/wizard_file_operation.h"
#include "ui/progress/wizard_run_ports.h"
#include "ui/shell/number_text.h"
#include "ui/shell/path_text.h"
#include "ui/shell/removable_volumes.h"
#include "ui/shell/translated_text.h"
#include "ui/shell/web_page.h"
#include "ui/wizard/settings_dialogs.h"

namespace sorvina::ui {
namespace {

constexpr int kDefaultFillsToAvoid = 2;
// Room in the amount fields, in digits: megabytes of a disk of a few terabytes.
constexpr int kAmountDigits = 7;
constexpr int kCountWidth = 4;

// The bitrates offered for converted songs, kbit/s.
constexpr int kLowestBitrate = 32;
constexpr int kHighestBitrate = 320;
// The loudness every song may be brought to, LUFS, and the one offered until one is chosen.
constexpr double kQuietestLoudness = -40;
constexpr double kLoudestLoudness = -5;
constexpr double kDefaultLoudness = -16;
// A loudness as wide as any.
constexpr char kWidestLoudness[] = "-00.0";

// The formats songs are converted to: the settings' name, the list's, and the codec.
struct ConversionFormat {
  std::string_view name;
  const char* label;
  media::TargetCodec codec;
};
constexpr ConversionFormat kConversionFormats[] = {{"mp3", "MP3", media::TargetCodec::kMp3},
                                                   {"aac", "AAC", media::TargetCodec::kAac},
                                                   {"opus", "Opus", media::TargetCodec::kOpus}};

// What follows the number of earlier fills or playlists to avoid, in its plural form.
QString AvoidedUnit(bool copying, int count) {
  return Translated(text::Counted(copying
                                      ? SORVINA_PLURAL_TEXT("sorvina", "fill(s)")
                                      : SORVINA_PLURAL_TEXT("sorvina", "playlist(s) written here"),
                                  count));
}

// The "convert" setting that converts what the player cannot play to `format`.
std::string OnlyUnplayable(const ConversionFormat& format) {
  return format.name == "mp3" ? std::string("auto") : "auto:" + std::string(format.name);
}

QLineEdit* MakeField(const char* name, int characters, QWidget* parent) {
  auto* field = Named(name, new QLineEdit(parent));
  FitToCharacters(field, characters);
  return field;
}

// The average characters of `field`'s font that `text` takes, rounded up.
int CharactersOf(const QLineEdit& field, const QString& text) {
  const QFontMetrics metrics = field.fontMetrics();
  const int average = metrics.averageCharWidth();
  return (metrics.horizontalAdvance(text) + average - 1) / average;
}

int WithinBitrates(int kbps) {
  return std::clamp(kbps, kLowestBitrate, kHighestBitrate);
}

// What a bitrate field holds, kbit/s; 0 (the format's own quality) when empty. A figure
// the user typed counts within the range offered; one shown from the settings stays as it
// is, since the command line takes others.
int BitrateIn(const QLineEdit& field) {
  const QString text = field.text();
  if (text.isEmpty()) return 0;
  const int kbps = QLocale().toInt(text);
  return field.isModified() ? WithinBitrates(kbps) : kbps;
}

// A bitrate field: empty, or a figure in range, into which one typed out of range is
// brought when the field is left.
class BitrateValidator final : public QIntValidator {
 public:
  explicit BitrateValidator(QObject* parent)
      : QIntValidator(kLowestBitrate, kHighestBitrate, parent) {}

  State validate(QString& text, int& position) const override {
    return text.isEmpty() ? Acceptable : QIntValidator::validate(text, position);
  }
  void fixup(QString& text) const override {
    text = QString::number(WithinBitrates(QLocale().toInt(text)));
  }
};

// A loudness as typed, "-14,5" with the reader's decimal sign or "-14.5" with a point: at
// most two digits before the sign and one after. A number typed without its minus counts
// as negative, as every loudness is.
struct TypedLoudness {
  std::optional<double> lufs;  // once a digit is typed
  bool finished = false;       // with its minus, and no decimal sign waiting for its digit
};

// Nothing where typing on cannot make `text` a loudness.
std::optional<TypedLoudness> ReadLoudness(const QString& text) {
  static const QRegularExpression shape(QStringLiteral("^(-?)([0-9]{0,2})(?:(\\.)([0-9]?))?$"));
  const QRegularExpressionMatch match = shape.match(FromEngineText(ToEngineNumber(text)));
  if (!match.hasMatch()) return std::nullopt;
  const QString whole = match.captured(2);
  const QString decimal = match.captured(4);
  TypedLoudness typed;
  if (whole.isEmpty() && decimal.isEmpty()) return typed;
  const QString number = (whole.isEmpty() ? QStringLiteral("0") : whole) + QLatin1Char('.') +
                         (decimal.isEmpty() ? QStringLiteral("0") : decimal);
  typed.lufs = -number.toDouble();
  typed.finished = !match.captured(1).isEmpty() && !whole.isEmpty() &&
                   (match.captured(3).isEmpty() || !decimal.isEmpty());
  return typed;
}

bool InLoudnessRange(double lufs) {
  return lufs >= kQuietestLoudness && lufs <= kLoudestLoudness;
}

// The loudness a field's text asks for, within range; the one offered first where it asks
// for none.
double LoudnessOf(const QString& text) {
  const std::optional<TypedLoudness> typed = ReadLoudness(text);
  if (!typed || !typed->lufs) return kDefaultLoudness;
  return std::clamp(*typed->lufs, kQuietestLoudness, kLoudestLoudness);
}

// "-16", "-14.5" with the reader's decimal sign.
QString LoudnessText(double lufs) {
  QString text = QString::number(lufs, 'f', 1);
  if (text.endsWith(QLatin1String(".0"))) text.chop(2);
  return FromEngineNumber(ToEngineText(text));
}

// A loudness field: a loudness in range, which a number typed out of it (or none) becomes
// when the field is left.
class LoudnessValidator final : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& text, int& /*position*/) const override {
    const std::optional<TypedLoudness> typed = ReadLoudness(text);
    if (!typed) return Invalid;
    return typed->finished && InLoudnessRange(*typed->lufs) ? Acceptable : Intermediate;
  }
  void fixup(QString& text) const override { text = LoudnessText(LoudnessOf(text)); }
};

}  // namespace

AmountPage::AmountPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(tr("Sorvina step 4"), tr("Set how many mp3s to select"), settings, parent) {
  // Made in the order Tab visits them. The round buttons have no text of their own: the
  // label beside each says what it chooses.
  auto* frame = new QGroupBox(this);
  megabyteButton_ = Named("megabyteButton", new QRadioButton(frame));
  megabyteField_ = Named("megabyteField", new QLineEdit(frame));
  auto* megabyteLabel = new QLabel(tr("Select up to this number of MB"), frame);
  auto* freeSpace = Named("freeSpaceButton", new QPushButton(tr("Free space"), frame));
  freeSpace->setToolTip(tr("Fill the destination's free space"));
  freeSpaceButton_ = freeSpace;
  freeSpaceFigure_ = Named("freeSpaceFigure", new QLabel(frame));
  // Room for the widest figures from the start, so that the page keeps its width when one
  // is shown.
  int widestFigure = 0;
  for (const std::int64_t bytes : {std::int64_t{1023} << 20, std::int64_t{999} << 30})
    widestFigure = std::max(
        widestFigure, freeSpaceFigure_->fontMetrics().horizontalAdvance(FreeSpaceFigure(bytes)));
  freeSpaceFigure_->setMinimumWidth(widestFigure);
  hoursButton_ = Named("hoursButton", new QRadioButton(frame));
  hoursField_ = Named("hoursField", new QLineEdit(frame));
  // Both amount fields show a figure of megabytes as large as a disk holds, and the word
  // for the free space, whole.
  for (QLineEdit* field : {megabyteField_, hoursField_}) {
    FitToCharacters(field, std::max(CharactersOf(*field, QString(kAmountDigits, QLatin1Char('0'))),
                                    CharactersOf(*field, FreeSpaceWord())) +
                               1);
  }
  auto* hoursLabel = new QLabel(tr("Select up to this many hours"), frame);
  allButton_ = Named("allButton", new QRadioButton(frame));
  auto* allLabel = new QLabel(tr("Select all"), frame);
  keepFilling_ =
      Named("keepFilling", new QCheckBox(tr("Keep filling with files that still fit"), frame));
  avoidLast_ = Named("avoidLast", new QCheckBox(tr("Avoid songs of the last"), frame));
  avoidLastCount_ = MakeField("avoidLastCount", kCountWidth, frame);
  avoidLastCount_->setValidator(new QIntValidator(1, 999, avoidLastCount_));
  avoidLastUnit_ = Named("avoidLastUnit", new QLabel(frame));
  convert_ = Named("convert", new QCheckBox(tr("&Convert songs the player cannot play to"), frame));
  convertTo_ = Named("convertTo", new QComboBox(frame));
  // Wide enough for whichever entries it lists: "every song to Opus" comes and goes.
  convertTo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  convertTo_->setToolTip(tr("The format songs are converted to"));
  ListConversions({});
  bitrate_ = Named("bitrate", new QLineEdit(frame));
  bitrate_->setValidator(new BitrateValidator(bitrate_));
  bitrate_->setPlaceholderText(tr("auto"));
  // Room for a figure, and for the word an empty field shows, whatever the language.
  FitToCharacters(bitrate_,
                  std::max(kCountWidth, CharactersOf(*bitrate_, bitrate_->placeholderText()) + 1));
  bitrate_->setToolTip(tr("The bitrate of converted songs, from %1 to %2 kbit/s; empty: the "
                          "format's own quality")
                           .arg(kLowestBitrate)
                           .arg(kHighestBitrate));
  bitrateUnit_ = new QLabel(QStringLiteral("kbit/s"), frame);
  loudness_ = Named("loudness", new QCheckBox(tr("&Even out loudness to"), frame));
  loudness_->setToolTip(tr("Brings every song copied to one loudness (EBU R128)"));
  loudnessTarget_ = Named("loudnessTarget", new QLineEdit(frame));
  FitToCharacters(loudnessTarget_,
                  CharactersOf(*loudnessTarget_, FromEngineNumber(kWidestLoudness)) + 1);
  loudnessTarget_->setValidator(new LoudnessValidator(loudnessTarget_));
  loudnessTarget_->setToolTip(
      tr("From %1 (quiet) to %2 (loud)")
          .arg(LoudnessText(kQuietestLoudness), LoudnessText(kLoudestLoudness)));
  loudnessUnit_ = new QLabel(QStringLiteral("LUFS"), frame);
  auto* saveSettings = Named("saveSettings", new QPushButton(tr("Save Settings"), this));
  saveSettings->setToolTip(tr("Saves the settings to a file"));
  auto* donation = Named("donationButton", new QToolButton(this));
  // The picture's word is drawn in the reader's language.
  donation->setIcon(resources::DonationIcon(tr("Donate", "the word on the donation picture")));
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
  auto* convertRow = new QHBoxLayout;
  convertRow->addWidget(convert_);
  convertRow->addWidget(convertTo_);
  convertRow->addWidget(bitrate_);
  convertRow->addWidget(bitrateUnit_, 1);
  auto* loudnessRow = new QHBoxLayout;
  loudnessRow->addWidget(loudness_);
  loudnessRow->addWidget(loudnessTarget_);
  loudnessRow->addWidget(loudnessUnit_, 1);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addLayout(limits);
  frameLayout->addSpacing(fontMetrics().height() / 2);
  frameLayout->addWidget(keepFilling_, 0, Qt::AlignLeft);
  frameLayout->addLayout(avoidRow);
  // What the copy does to the songs, apart from which songs it takes.
  frameLayout->addSpacing(fontMetrics().height() / 2);
  frameLayout->addLayout(convertRow);
  frameLayout->addLayout(loudnessRow);
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
    megabyteField_->setText(FreeSpaceWord());
    megabyteField_->setFocus();
  });
  connect(keepFilling_, &QCheckBox::toggled, this, &AmountPage::OptionChanged);
  connect(avoidLast_, &QCheckBox::toggled, this, [this](bool checked) {
    avoidLastCount_->setEnabled(checked);
    OptionChanged();
  });
  for (QCheckBox* box : {convert_, loudness_}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      ShowWhatApplies();
      OptionChanged();
    });
  }
  connect(convertTo_, &QComboBox::currentIndexChanged, this, &AmountPage::OptionChanged);
  for (QLineEdit* field : {avoidLastCount_, bitrate_, loudnessTarget_})
    connect(field, &QLineEdit::textChanged, this, &AmountPage::OptionChanged);
  connect(avoidLastCount_, &QLineEdit::textChanged, this, [this](const QString& count) {
    avoidLastUnit_->setText(AvoidedUnit(settings_.copyToFolder, count.toInt()));
  });
  connect(saveSettings, &QPushButton::clicked, this, [this] {
    engine::SettingsText toSave = settings_;
    StoreInto(toSave);
    // The limit counts as stored once the file was opened, as Back would store it.
    if (SaveSettings(this, toSave)) StoreInto(settings_);
  });
  setFinalPage(true);
}

void AmountPage::ShowSettings() {
  // The options stay as the settings hold them until the user changes one.
  showing_ = true;
  ShowLimitChoice();
  const engine::ExtraOptions& options = settings_.options;
  keepFilling_->setChecked(options.fill);
  // Until the user says otherwise, avoiding means the last two fills.
  const int avoidLast = options.avoidLast;
  avoidLastCount_->setText(QString::number(avoidLast > 0 ? avoidLast : kDefaultFillsToAvoid));
  avoidLast_->setChecked(avoidLast > 0);
  avoidLastCount_->setEnabled(avoidLast > 0);
  player_ = PlayerChosen();
  // A format the player cannot play is not kept: the list shows what is stored.
  const std::string convert = ListConversions(options.convert);
  if (convert != options.convert) settings_.options.convert = convert;
  convert_->setChecked(!convert.empty());
  bitrate_->setText(options.bitrate > 0 ? QString::number(options.bitrate) : QString());
  loudnessTarget_->setText(LoudnessText(options.loudness.value_or(kDefaultLoudness)));
  loudness_->setChecked(options.loudness.has_value());
  showing_ = false;
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
      megabyteField_->setText(ShownMegabytes(settings_.amountText));
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
  freeSpaceButton_->setEnabled(settings_.copyToFolder && !freeSpaceUnknown_);
  freeSpaceFigure_->setEnabled(settings_.copyToFolder);
  keepFilling_->setEnabled(!allButton_->isChecked());
  avoidLastUnit_->setText(AvoidedUnit(settings_.copyToFolder, avoidLastCount_->text().toInt()));
  // Converting and loudness change the copies; a playlist names the songs as they are.
  // A player that plays none of the formats offered gets nothing converted.
  const bool formatOffered = convertTo_->count() > 0;
  convert_->setEnabled(settings_.copyToFolder && formatOffered);
  convert_->setToolTip(formatOffered
                           ? tr("Converts them as they are copied, for the player chosen on page 2")
                           : tr("The player chosen on page 2 plays none of the formats songs are "
                                "converted to"));
  loudness_->setEnabled(settings_.copyToFolder);
  const bool converting = settings_.copyToFolder && convert_->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{convertTo_, bitrate_, bitrateUnit_})
    control->setEnabled(converting);
  const bool evening = settings_.copyToFolder && loudness_->isChecked();
  loudnessTarget_->setEnabled(evening);
  loudnessUnit_->setEnabled(evening);
}

std::string AmountPage::ListConversions(const std::string& convert) {
  convertTo_->clear();
  for (const ConversionFormat& format : kConversionFormats) {
    if (player_ && !engine::PlaysConversionTarget(*player_, format.codec)) continue;
    convertTo_->addItem(QString::fromLatin1(format.label), FromEngineText(OnlyUnplayable(format)));
  }
  std::string listed = convert;
  int shown = 0;
  const std::optional<engine::ConversionChoice> choice = engine::ParseConversionChoice(convert);
  if (player_ && choice && !engine::PlaysConversionTarget(*player_, choice->codec)) {
    // Songs converted so would not play either: the first format the player plays stands
    // in, or none.
    listed = convertTo_->count() > 0 ? ToEngineText(convertTo_->itemData(0).toString()) : "";
  } else if (!convert.empty()) {
    const QString chosen = FromEngineText(convert);
    shown = convertTo_->findData(chosen);
    if (shown < 0) {
      // Every song to one format, or a choice written by hand, stays as it is.
      QString label = chosen;
      for (const ConversionFormat& format : kConversionFormats) {
        if (convert == format.name) label = EverySongTo(format.label);
      }
      convertTo_->addItem(label, chosen);
      shown = convertTo_->count() - 1;
    }
  }
  convertTo_->setCurrentIndex(shown);
  // The list asks for the room of its longest entry, and no less: it measures its least
  // once, with the entries it had then.
  convertTo_->setMinimumWidth(std::max(convertTo_->minimumWidth(), convertTo_->sizeHint().width()));
  return listed;
}

std::optional<engine::PlayerProfile> AmountPage::PlayerChosen() const {
  // Only a copy is made for a player; "auto" needs a destination to look at.
  if (!settings_.copyToFolder) return std::nullopt;
  const std::string& choice = settings_.options.player;
  if (choice == "auto" && settings_.destination.empty()) return std::nullopt;
  // A profile that cannot be read was refused on page 2; should it be broken since,
  // every format is offered and Finish says what is wrong.
  engine::FoundPlayer found = engine::FindPlayerProfile(choice, settings_.destination);
  if (found.error) return std::nullopt;
  return std::move(found.profile);
}

// Where the destination reports no room (its entry among the players plugged in says
// so, or its file system gives a size of 0), the user is told to enter an amount before
// Finish would say it.
void AmountPage::ShowFreeSpace() {
  std::optional<platform::FileSystemSpace> space;
  freeSpaceUnknown_ = false;
  if (settings_.copyToFolder && !settings_.destination.empty()) {
    const std::optional<RemovableVolume> volume =
        RemovableVolumeOf(FromEngineText(settings_.destination));
    // A phone reached over MTP has no folder here: its storage says what room it has.
    if (volume && volume->rootPath.startsWith(QLatin1String("mtp:"))) {
      space = platform::FileSystemSpace{static_cast<std::uint64_t>(volume->bytesTotal),
                                        static_cast<std::uint64_t>(volume->bytesFree), 1};
    } else {
      space = platform::SpaceOf(settings_.destination);
    }
    freeSpaceUnknown_ = (volume && volume->bytesTotal <= 0) || (space && space->totalBytes == 0);
  }
  freeSpaceButton_->setEnabled(settings_.copyToFolder && !freeSpaceUnknown_);
  if (freeSpaceUnknown_) {
    freeSpaceFigure_->setText(tr("Free space not reported: enter a number of MB"));
    return;
  }
  freeSpaceFigure_->setText(space && space->totalBytes > 0
                                ? FreeSpaceFigure(static_cast<std::int64_t>(space->availableBytes))
                                : QString());
}

void AmountPage::StoreOptions(engine::ExtraOptions& options) const {
  options.fill = keepFilling_->isChecked();
  // A count left empty while the box is checked still avoids the last fill.
  options.avoidLast = avoidLast_->isChecked() ? std::max(1, avoidLastCount_->text().toInt()) : 0;
  options.convert =
      convert_->isChecked() ? ToEngineText(convertTo_->currentData().toString()) : std::string();
  options.bitrate = BitrateIn(*bitrate_);
  options.loudness = loudness_->isChecked()
                         ? std::optional<double>(LoudnessOf(loudnessTarget_->text()))
                         : std::nullopt;
}

void AmountPage::OptionChanged() {
  if (!showing_) StoreOptions(settings_.options);
}

QString AmountPage::EverySongTo(const char* format) {
  return tr("every song to %1").arg(QString::fromLatin1(format));
}

QString AmountPage::FreeSpaceFigure(std::int64_t bytes) {
  return tr("free: %1").arg(Translated(engine::SizeText(bytes)));
}

QString AmountPage::FreeSpaceWord() {
  return tr("free", "typed for the megabytes: fill the destination's free space");
}

QString AmountPage::ShownMegabytes(const std::string& stored) {
  // In English the text stays as the settings hold it.
  const QString word = FreeSpaceWord();
  if (word != QLatin1String(engine::kFreeSpaceAmount) && engine::MeansFreeSpace(stored))
    return word;
  return FromEngineNumber(stored);
}

std::string AmountPage::StoredMegabytes(const QString& typed) {
  // The settings file keeps the English word, whichever word was typed.
  if (typed.trimmed().compare(FreeSpaceWord(), Qt::CaseInsensitive) == 0)
    return engine::kFreeSpaceAmount;
  return ToEngineNumber(typed);
}

void AmountPage::cleanupPage() {
  StoreInto(settings_);
}

// The options were stored as they changed. "All" keeps the amount last typed, so
// that choosing a limit again brings it back.
void AmountPage::StoreInto(engine::SettingsText& settings) const {
  if (megabyteButton_->isChecked()) {
    settings.limitMode = engine::kLimitMegabytes;
    settings.amountText = StoredMegabytes(megabyteField_->text());
  } else if (hoursButton_->isChecked()) {
    settings.limitMode = engine::kLimitHours;
    settings.amountText = ToEngineNumber(hoursField_->text());
  } else if (allButton_->isChecked()) {
    settings.limitMode = engine::kLimitAll;
  }
}

void AmountPage::StoreEntered(engine::EnteredState& entered) const {
  entered.megabytesText = StoredMegabytes(megabyteField_->text());
  entered.hoursText = ToEngineNumber(hoursField_->text());
}

void AmountPage::ShowEntered(const engine::EnteredState& entered) {
  megabyteField_->setText(ShownMegabytes(entered.megabytesText.value_or("")));
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
  options.gatherHistory = [](const engine::HistoryRequest& history, engine::RunPorts& ports) {
    return engine::GatherPlayHistory(history, ports);
  };
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

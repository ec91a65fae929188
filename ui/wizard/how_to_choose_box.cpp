// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/how_to_choose_box.h"

#include <algorithm>
#include <optional>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include "engine/settings/folder_weights.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/number_text.h"
#include "ui/shell/path_text.h"
#include "ui/wizard/weight_dialog.h"
#include "ui/wizard/wizard_page.h"

namespace sorvina::ui {
namespace {

// Until the user says otherwise, a cap keeps three songs of an artist, and favourites
// weigh more the more stars they have, unrated songs as much as three stars.
constexpr int kDefaultMaxPerArtist = 3;
constexpr std::array<double, 6> kDefaultStarWeights = {1, 0.2, 0.5, 1, 2, 4};
// Until the user says otherwise, songs played in the last week are left out.
constexpr int kDefaultAvoidPlayedDays = 7;
constexpr int kLargestAvoidPlayedDays = 100'000;
// The largest cap the command line takes.
constexpr int kLargestMaxPerArtist = 1'000'000;
// Room in a star weight field, in characters: "0.25", "12.5".
constexpr int kStarWeightWidth = 5;

const char* const kStarWeightNames[] = {"starWeight0", "starWeight1", "starWeight2",
                                        "starWeight3", "starWeight4", "starWeight5"};

}  // namespace

HowToChooseBox::HowToChooseBox(QWidget* parent) : QGroupBox(tr("How to choose"), parent) {
  // Made in the order Tab visits them.
  spread_ = Named("spreadArtists", new QCheckBox(tr("Keep songs of the same artist apart"), this));
  spread_->setToolTip(tr("In the play order, as far as their numbers allow"));
  maxPerArtist_ = Named("maxPerArtist", new QCheckBox(tr("At most"), this));
  maxCount_ = Named("maxPerArtistCount", new QSpinBox(this));
  maxCount_->setRange(1, kLargestMaxPerArtist);
  maxUnit_ = new QLabel(tr("songs per artist"), this);
  balance_ = Named("balance", new QCheckBox(tr("Equal chance per"), this));
  balanceBy_ = Named("balanceBy", new QComboBox(this));
  balanceBy_->addItem(tr("artist"), static_cast<int>(engine::DrawBalance::kArtist));
  balanceBy_->addItem(tr("album"), static_cast<int>(engine::DrawBalance::kAlbum));
  balanceBy_->addItem(tr("folder"), static_cast<int>(engine::DrawBalance::kFolder));
  balanceBy_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  albums_ = Named("wholeAlbums", new QCheckBox(tr("Whole albums, in track order"), this));
  preferUnplayed_ =
      Named("preferUnplayed", new QCheckBox(tr("Songs not played lately more often"), this));
  preferUnplayed_->setToolTip(
      tr("Never played: four times as often as a song played a week ago; played in the last "
         "day: a quarter as often"));
  avoidPlayed_ =
      Named("avoidPlayed", new QCheckBox(tr("Leave out songs played in the last"), this));
  avoidDays_ = Named("avoidPlayedDays", new QSpinBox(this));
  avoidDays_->setRange(1, kLargestAvoidPlayedDays);
  avoidUnit_ = new QLabel(tr("days"), this);
  historyLabel_ = new QLabel(tr("Plays also from:"), this);
  historyFile_ = Named("historyFile", new QLineEdit(this));
  historyFile_->setToolTip(
      tr("A music program's record of plays: a beets library, an MPD sticker database, a "
         "Strawberry database, a Rhythmbox rhythmdb.xml or a ListenBrainz export; the player's "
         "own logs are read in any case"));
  historyLabel_->setBuddy(historyFile_);
  chooseHistory_ = Named("chooseHistory", new QPushButton(tr("..."), this));
  chooseHistory_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  chooseHistory_->setFixedWidth(
      chooseHistory_->fontMetrics().horizontalAdvance(chooseHistory_->text()) +
      4 * chooseHistory_->fontMetrics().averageCharWidth());
  connect(chooseHistory_, &QPushButton::clicked, this, [this] {
    if (const std::optional<QString> chosen =
            ChooseFileToOpen(this, AllFilesFilter(), {}, QFileInfo(historyFile_->text()).path()))
      historyFile_->setText(*chosen);
  });
  favourites_ = Named("favourites", new QCheckBox(tr("Favourites more often"), this));
  favourites_->setToolTip(
      tr("Each song's chance is multiplied by the weight of its stars; 0: never chosen"));
  for (int stars = 0; stars < kStarFields; ++stars) {
    starLabels_[stars] = new QLabel(
        stars == 0 ? tr("unrated") : QString(stars, QChar(0x2605) /* black star */), this);
    starLabels_[stars]->setAlignment(Qt::AlignCenter);
    QLineEdit* field = Named(kStarWeightNames[stars], new QLineEdit(this));
    FitToCharacters(field, kStarWeightWidth);
    field->setToolTip(stars == 0 ? tr("The weight of songs without stars")
                                 : tr("The weight of songs with %n star(s)", nullptr, stars));
    starLabels_[stars]->setBuddy(field);
    starWeights_[stars] = field;
  }

  auto* maxRow = new QHBoxLayout;
  maxRow->addWidget(maxPerArtist_);
  maxRow->addWidget(maxCount_);
  maxRow->addWidget(maxUnit_, 1);
  auto* avoidRow = new QHBoxLayout;
  avoidRow->addWidget(avoidPlayed_);
  avoidRow->addWidget(avoidDays_);
  avoidRow->addWidget(avoidUnit_, 1);
  auto* historyRow = new QHBoxLayout;
  historyRow->addWidget(historyLabel_);
  historyRow->addWidget(historyFile_, 1);
  historyRow->addWidget(chooseHistory_);
  auto* balanceRow = new QHBoxLayout;
  balanceRow->addWidget(balance_);
  balanceRow->addWidget(balanceBy_);
  balanceRow->addStretch();
  // The weights stand below their box, each under the stars it weighs, indented as far as
  // the box's text.
  auto* weights = new QGridLayout;
  const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, favourites_) +
                     style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, favourites_);
  weights->setColumnMinimumWidth(0, indent);
  weights->setVerticalSpacing(0);
  for (int stars = 0; stars < kStarFields; ++stars) {
    weights->addWidget(starLabels_[stars], 0, stars + 1);
    weights->addWidget(starWeights_[stars], 1, stars + 1, Qt::AlignCenter);
  }
  weights->setColumnStretch(kStarFields + 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(spread_, 0, Qt::AlignLeft);
  layout->addLayout(maxRow);
  layout->addLayout(balanceRow);
  layout->addWidget(albums_, 0, Qt::AlignLeft);
  layout->addWidget(preferUnplayed_, 0, Qt::AlignLeft);
  layout->addLayout(avoidRow);
  layout->addLayout(historyRow);
  layout->addWidget(favourites_, 0, Qt::AlignLeft);
  layout->addLayout(weights);

  for (QCheckBox* box : {maxPerArtist_, balance_, albums_, avoidPlayed_, favourites_})
    connect(box, &QCheckBox::toggled, this, &HowToChooseBox::ShowWhatApplies);
  Show({});
}

void HowToChooseBox::Show(const engine::ExtraOptions& options) {
  spread_->setChecked(options.spread);
  maxPerArtist_->setChecked(options.maxPerArtist > 0);
  maxCount_->setValue(options.maxPerArtist > 0 ? options.maxPerArtist : kDefaultMaxPerArtist);
  balance_->setChecked(options.balance != engine::DrawBalance::kNone);
  if (options.balance != engine::DrawBalance::kNone)
    balanceBy_->setCurrentIndex(balanceBy_->findData(static_cast<int>(options.balance)));
  albums_->setChecked(options.albums);
  preferUnplayed_->setChecked(options.preferUnplayed);
  avoidPlayed_->setChecked(options.avoidPlayedDays > 0);
  avoidDays_->setValue(options.avoidPlayedDays > 0 ? options.avoidPlayedDays
                                                   : kDefaultAvoidPlayedDays);
  // The file shown stands first; others a settings file names stay after it.
  historyFile_->setText(
      options.historySources.empty() ? QString() : FromEngineText(options.historySources.front()));
  moreHistorySources_.assign(
      options.historySources.begin() + std::min<std::size_t>(options.historySources.size(), 1),
      options.historySources.end());
  favourites_->setChecked(options.ratingWeights.has_value());
  // Each weight in the shortest form the settings write it, with the reader's decimal sign.
  const QStringList shown =
      FromEngineText(engine::RatingWeightsText(options.ratingWeights.value_or(kDefaultStarWeights)))
          .split(QLatin1Char(','));
  for (int stars = 0; stars < kStarFields; ++stars)
    starWeights_[stars]->setText(FromEngineNumber(ToEngineText(shown.value(stars))));
  ShowWhatApplies();
}

void HowToChooseBox::ShowWhatApplies() {
  maxCount_->setEnabled(maxPerArtist_->isChecked());
  maxUnit_->setEnabled(maxPerArtist_->isChecked());
  avoidDays_->setEnabled(avoidPlayed_->isChecked());
  avoidUnit_->setEnabled(avoidPlayed_->isChecked());
  // Whole albums are drawn neither with an equal chance nor with a cap per artist, which
  // would cut albums short. Should a settings file hold both, whole albums stay free to
  // be unchecked, which frees the others.
  const bool albums = albums_->isChecked();
  const bool capped = maxPerArtist_->isChecked();
  balance_->setEnabled(!albums);
  balanceBy_->setEnabled(!albums && balance_->isChecked());
  maxPerArtist_->setEnabled(!albums || capped);
  albums_->setEnabled(albums || (!balance_->isChecked() && !capped));
  const QString notWithAlbums = tr("Not together with whole albums");
  balance_->setToolTip(
      albums ? notWithAlbums
             : tr("First an artist, album or folder is drawn, then one of its songs, however "
                  "many it has"));
  balanceBy_->setToolTip(albums ? notWithAlbums : QString());
  maxPerArtist_->setToolTip(albums ? notWithAlbums
                                   : tr("The artists are read from the songs' tags"));
  albums_->setToolTip(
      albums_->isEnabled()
          ? tr("Whole albums are chosen, copied and listed in disc and track order")
      : capped ? tr("Not together with at most so many songs per artist, which would cut albums "
                    "short")
               : tr("Not together with an equal chance per artist, album or folder"));
  for (int stars = 0; stars < kStarFields; ++stars) {
    starLabels_[stars]->setEnabled(favourites_->isChecked());
    starWeights_[stars]->setEnabled(favourites_->isChecked());
  }
}

HowToChooseBox::WeightsRead HowToChooseBox::ReadWeights() const {
  WeightsRead read;
  std::array<double, kStarFields> weights{};
  bool anyAbove = false;
  for (int stars = 0; stars < kStarFields; ++stars) {
    QLineEdit* field = starWeights_[stars];
    const QString text = field->text().trimmed();
    const std::optional<double> weight = ReadWeightText(text);
    if (!weight || !(*weight >= 0 && *weight < engine::kWeightLimit)) {
      read.fault = field;
      read.problem = text.isEmpty() ? tr("Every star weight needs a number of 0 or more.")
                                    : tr("Star weights are numbers of 0 or more, decimals allowed: "
                                         "\"%1\" is not one.")
                                          .arg(text);
      return read;
    }
    weights[stars] = *weight;
    anyAbove = anyAbove || *weight > 0;
  }
  if (!anyAbove) {
    read.fault = starWeights_[0];
    read.problem =
        tr("At least one star weight must be above 0: with all at 0, no song "
           "can be chosen.");
    return read;
  }
  read.weights = weights;
  return read;
}

bool HowToChooseBox::AcceptWeights() {
  if (!favourites_->isChecked()) return true;
  const WeightsRead read = ReadWeights();
  if (read.weights) return true;
  ShowInformation(this, read.problem);
  read.fault->selectAll();
  read.fault->setFocus();
  return false;
}

void HowToChooseBox::StoreInto(engine::ExtraOptions& options) const {
  options.spread = spread_->isChecked();
  options.maxPerArtist = maxPerArtist_->isChecked() ? maxCount_->value() : 0;
  options.balance = balance_->isChecked()
                        ? static_cast<engine::DrawBalance>(balanceBy_->currentData().toInt())
                        : engine::DrawBalance::kNone;
  options.albums = albums_->isChecked();
  options.preferUnplayed = preferUnplayed_->isChecked();
  options.avoidPlayedDays = avoidPlayed_->isChecked() ? avoidDays_->value() : 0;
  options.historySources.clear();
  if (const QString file = historyFile_->text().trimmed(); !file.isEmpty()) {
    options.historySources.push_back(ToEngineText(QFileInfo(file).absoluteFilePath()));
    options.historySources.insert(options.historySources.end(), moreHistorySources_.begin(),
                                  moreHistorySources_.end());
  }
  if (!favourites_->isChecked()) {
    options.ratingWeights.reset();
  } else if (const WeightsRead read = ReadWeights(); read.weights) {
    options.ratingWeights = read.weights;
  }
}

}  // namespace sorvina::ui

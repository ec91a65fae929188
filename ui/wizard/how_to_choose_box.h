// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <QGroupBox>
#include <QString>

#include "engine/settings/extra_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace sorvina::ui {

// "How to choose", below page 3's weights: how the draw treats artists, albums and stars.
// Songs of one artist kept apart; at most N songs per artist; an equal chance per artist,
// album or folder; whole albums in track order; favourites more often, each song's chance
// multiplied by the weight of its stars (unrated, then 1 to 5 stars). What a box needs
// beside it is enabled while it is checked. Whole albums and an equal chance exclude each
// other: while one is checked the other is disabled, its tool tip saying why. A cap per
// artist with whole albums cuts albums short; both boxes' tool tips say so. Songs not
// played lately can be chosen more often, and those played in the last N days left out.
class HowToChooseBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit HowToChooseBox(QWidget* parent = nullptr);

  void Show(const engine::ExtraOptions& options);
  // Star weights that are not valid leave those `options` hold as they are.
  void StoreInto(engine::ExtraOptions& options) const;
  // True when the star weights can be stored (or do not count); otherwise says what is
  // wrong in a message box and selects the field at fault, for typing again.
  bool AcceptWeights();

 private:
  static constexpr int kStarFields = 6;

  // The six weights as typed, where each is a number of 0 or more and one is above 0;
  // otherwise the field at fault (none where all are 0) and the message that says so.
  struct WeightsRead {
    std::optional<std::array<double, kStarFields>> weights;
    QLineEdit* fault = nullptr;
    QString problem;
  };
  WeightsRead ReadWeights() const;
  void ShowWhatApplies();

  QCheckBox* spread_;
  QCheckBox* maxPerArtist_;
  QSpinBox* maxCount_;
  QLabel* maxUnit_;
  QCheckBox* balance_;
  QComboBox* balanceBy_;
  QCheckBox* albums_;
  QCheckBox* preferUnplayed_;
  QCheckBox* avoidPlayed_;
  QSpinBox* avoidDays_;
  QLabel* avoidUnit_;
  QLabel* historyLabel_;
  QLineEdit* historyFile_;
  QPushButton* chooseHistory_;
  std::vector<std::string> moreHistorySources_;  // a settings file's, after the one shown
  QCheckBox* favourites_;
  std::array<QLabel*, kStarFields> starLabels_;
  std::array<QLineEdit*, kStarFields> starWeights_;
};

}  // namespace sorvina::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/leave_out_box.h"

#include <string>
#include <utility>
#include <vector>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "engine/scan/path_pattern.h"
#include "engine/settings/filter_options.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/wizard/wizard_page.h"

namespace sorvina::ui {
namespace {

// Until the user says otherwise: the nineties, songs of two to eight minutes, and songs
// changed in the last month.
constexpr int kDefaultFirstYear = 1990;
constexpr int kDefaultLastYear = 1999;
constexpr int kDefaultDays = 30;
const char* const kDefaultShortest = "2:00";
const char* const kDefaultLongest = "8:00";
constexpr int kPatternLines = 3;

}  // namespace

LeaveOutBox::LeaveOutBox(QWidget* parent) : QGroupBox(tr("Leave out"), parent) {
  // Made in the order Tab visits them.
  patterns_ = Named("excludePatterns", new QPlainTextEdit(this));
  patterns_->setTabChangesFocus(true);
  patterns_->setLineWrapMode(QPlainTextEdit::NoWrap);
  patterns_->setFixedHeight(fontMetrics().lineSpacing() * kPatternLines +
                            2 * patterns_->frameWidth() + 8);
  patterns_->setPlaceholderText(tr("Christmas/**\n*/Live/*"));
  patterns_->setToolTip(
      tr("Paths below their source, one pattern a line: * and ? within a name, ** across "
         "folders, letter case ignored; a pattern without / matches any name in the path"));
  genres_ = Named("onlyGenres", new QLineEdit(this));
  genres_->setToolTip(tr("Only songs of one of these genres, separated by commas"));
  notGenres_ = Named("notGenres", new QLineEdit(this));
  notGenres_->setToolTip(tr("No songs of any of these genres, separated by commas"));
  years_ = Named("years", new QCheckBox(tr("Only years"), this));
  firstYear_ = Named("firstYear", new QSpinBox(this));
  lastYear_ = Named("lastYear", new QSpinBox(this));
  for (QSpinBox* year : {firstYear_, lastYear_})
    year->setRange(0, 9999);
  length_ = Named("length", new QCheckBox(tr("Only lengths"), this));
  shortest_ = Named("shortest", new QLineEdit(this));
  longest_ = Named("longest", new QLineEdit(this));
  for (QLineEdit* end : {shortest_, longest_}) {
    FitToCharacters(end, 6);
    end->setPlaceholderText(tr("m:ss"));
  }
  changed_ = Named("changedWithin", new QCheckBox(tr("Only changed in the last"), this));
  days_ = Named("changedDays", new QSpinBox(this));
  days_->setRange(1, 100000);
  duplicates_ = Named("skipDuplicates", new QCheckBox(tr("One copy of each recording"), this));
  duplicates_->setToolTip(
      tr("Of the files of one recording (by MusicBrainz id, ISRC, or artist, title and length) "
         "one is chosen: one the player plays as it is, else the best"));

  const auto row = [](std::initializer_list<QWidget*> widgets, QLabel* unit = nullptr) {
    auto* layout = new QHBoxLayout;
    for (QWidget* widget : widgets)
      layout->addWidget(widget);
    if (unit != nullptr) layout->addWidget(unit);
    layout->addStretch();
    return layout;
  };
  auto* form = new QFormLayout;
  auto* patternsLabel = new QLabel(tr("&Paths:"), this);
  patternsLabel->setBuddy(patterns_);
  form->addRow(patternsLabel, patterns_);
  auto* genresLabel = new QLabel(tr("&Genres:"), this);
  genresLabel->setBuddy(genres_);
  form->addRow(genresLabel, genres_);
  auto* notGenresLabel = new QLabel(tr("N&ot genres:"), this);
  notGenresLabel->setBuddy(notGenres_);
  form->addRow(notGenresLabel, notGenres_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(row({years_, firstYear_, new QLabel(tr("to"), this), lastYear_}));
  layout->addLayout(row({length_, shortest_, new QLabel(tr("to"), this), longest_}));
  layout->addLayout(row({changed_, days_}, new QLabel(tr("days"), this)));
  layout->addWidget(duplicates_, 0, Qt::AlignLeft);
  layout->addStretch();

  for (QCheckBox* box : {years_, length_, changed_})
    connect(box, &QCheckBox::toggled, this, &LeaveOutBox::ShowWhatApplies);
  Show({});
}

void LeaveOutBox::Show(const engine::ExtraOptions& options) {
  QStringList patterns;
  for (const std::string& pattern : options.excludePatterns)
    patterns.append(FromEngineText(pattern));
  patterns_->setPlainText(patterns.join(QLatin1Char('\n')));
  genres_->setText(FromEngineText(engine::GenreListText(options.genres)).replace(",", ", "));
  notGenres_->setText(FromEngineText(engine::GenreListText(options.notGenres)).replace(",", ", "));
  years_->setChecked(options.years.has_value());
  firstYear_->setValue(options.years ? options.years->first : kDefaultFirstYear);
  lastYear_->setValue(options.years ? options.years->second : kDefaultLastYear);
  length_->setChecked(options.lengthSeconds.has_value());
  if (options.lengthSeconds) {
    // The ends as the settings write them: an open end is left empty.
    const QString text = FromEngineText(engine::LengthRangeText(*options.lengthSeconds));
    shortest_->setText(text.section(QLatin1Char('-'), 0, 0));
    longest_->setText(text.section(QLatin1Char('-'), 1));
  } else {
    shortest_->setText(QString::fromLatin1(kDefaultShortest));
    longest_->setText(QString::fromLatin1(kDefaultLongest));
  }
  changed_->setChecked(options.addedWithinDays > 0);
  days_->setValue(options.addedWithinDays > 0 ? options.addedWithinDays : kDefaultDays);
  duplicates_->setChecked(options.skipDuplicates);
  ShowWhatApplies();
}

void LeaveOutBox::ShowWhatApplies() {
  firstYear_->setEnabled(years_->isChecked());
  lastYear_->setEnabled(years_->isChecked());
  shortest_->setEnabled(length_->isChecked());
  longest_->setEnabled(length_->isChecked());
  days_->setEnabled(changed_->isChecked());
}

QStringList LeaveOutBox::Patterns() const {
  QStringList patterns;
  for (const QString& line : patterns_->toPlainText().split(QLatin1Char('\n'))) {
    if (!line.trimmed().isEmpty()) patterns.append(line.trimmed());
  }
  return patterns;
}

std::string LeaveOutBox::LengthText() const {
  return ToEngineText(shortest_->text().trimmed() + QLatin1Char('-') + longest_->text().trimmed());
}

bool LeaveOutBox::AcceptFilters() {
  for (const QString& pattern : Patterns()) {
    if (!engine::PathPattern::Parse(ToEngineText(pattern))) {
      ShowInformation(this, tr("A pattern may be no longer than %1 characters: \"%2...\" is "
                               "longer.")
                                .arg(engine::PathPattern::kMaxPatternBytes)
                                .arg(pattern.left(20)));
      patterns_->setFocus();
      return false;
    }
  }
  if (length_->isChecked() && !engine::ParseLengthRange(LengthText())) {
    ShowInformation(this, tr("Lengths are minutes and seconds, such as 2:00 and 7:30, the "
                             "shorter first; one of them may be left empty."));
    shortest_->selectAll();
    shortest_->setFocus();
    return false;
  }
  if (years_->isChecked() && firstYear_->value() > lastYear_->value()) {
    ShowInformation(this, tr("The first year must not come after the last."));
    firstYear_->selectAll();
    firstYear_->setFocus();
    return false;
  }
  return true;
}

void LeaveOutBox::StoreInto(engine::ExtraOptions& options) const {
  std::vector<std::string> patterns;
  for (const QString& pattern : Patterns()) {
    if (engine::PathPattern::Parse(ToEngineText(pattern)))
      patterns.push_back(ToEngineText(pattern));
  }
  options.excludePatterns = std::move(patterns);
  options.genres = engine::ParseGenreList(ToEngineText(genres_->text()));
  options.notGenres = engine::ParseGenreList(ToEngineText(notGenres_->text()));
  if (!years_->isChecked())
    options.years.reset();
  else if (firstYear_->value() <= lastYear_->value())
    options.years = std::pair(firstYear_->value(), lastYear_->value());
  if (!length_->isChecked())
    options.lengthSeconds.reset();
  else if (const auto lengths = engine::ParseLengthRange(LengthText()))
    options.lengthSeconds = lengths;
  options.addedWithinDays = changed_->isChecked() ? days_->value() : 0;
  options.skipDuplicates = duplicates_->isChecked();
}

}  // namespace sorvina::ui

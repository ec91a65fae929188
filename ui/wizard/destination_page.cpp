// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard/destination_page.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/player/player_lookup.h"
#include "engine/report/summary_line.h"
#include "ui/shell/choose_folder.h"
#include "ui/shell/drop_down_list.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

// What the playlist written into the destination folder is called until the user names it.
constexpr char kDefaultDevicePlaylist[] = "Sorvina.m3u8";

// The profile choice that looks for the player the destination lies on.
constexpr char kFoundPlayer[] = "auto";

// Room in the profile list, in characters, whatever its entries.
constexpr int kProfileListCharacters = 16;

// How long typing in the destination pauses before the player there is looked for.
constexpr int kProfileFoundDelayMs = 300;

// A label whose text wraps, and that asks for all the lines it needs at its width, so that
// a long text (a profile file's error, with its path) shows whole: the window grows for it.
class WrappingLabel final : public QLabel {
 public:
  explicit WrappingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
  }

  QSize minimumSizeHint() const override {
    const QSize hint = QLabel::minimumSizeHint();
    if (width() <= 0) return hint;
    return {hint.width(), std::max(hint.height(), heightForWidth(width()))};
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    // Narrower or wider, the text takes more or fewer lines.
    if (event->size().width() != event->oldSize().width()) updateGeometry();
  }
};

// Whether `path` lies in the folder `root` or is that folder.
bool LiesIn(const QString& path, const QString& root) {
  const QString folder = QDir::cleanPath(root);
  const QString inside = QDir::cleanPath(path);
  return inside == folder ||
         inside.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

}  // namespace

bool DestinationIsPlaylist(const QString& destination) {
  return destination.size() > 4 && destination.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive);
}

DestinationPage::DestinationPage(engine::SettingsText& settings, QWidget* parent)
    : WizardPage(tr("Sorvina step 2"), tr("Set what to do with the mp3 selection"), settings,
                 parent) {
  // Made in the order Tab visits them.
  copyToFolder_ =
      Named("copyToFolder", new QRadioButton(tr("Copy files to destination folder"), this));
  keepFolders_ = Named("keepFolders", new QCheckBox(tr("Keep each file's folders"), this));
  replacePrevious_ =
      Named("replacePrevious", new QCheckBox(tr("Replace the songs of the previous fill"), this));
  replaceHeard_ = Named(
      "replaceHeard", new QCheckBox(tr("Replace only the songs played since the last fill"), this));
  replaceHeard_->setToolTip(tr("Songs not played yet stay on the player, where they were"));
  devicePlaylist_ =
      Named("devicePlaylist", new QCheckBox(tr("Write a playlist into the folder:"), this));
  devicePlaylistName_ = Named("devicePlaylistName", new QLineEdit(this));
  devicePlaylistName_->setToolTip(tr("A name ending in .m3u8, inside the folder"));
  books_ = Named("books", new QCheckBox(tr("Audiobooks and podcasts from"), this));
  books_->setToolTip(
      tr("Each fill puts the next hours of the books there in order, "
         "never among the random songs"));
  booksFolder_ = Named("booksFolder", new QLineEdit(this));
  chooseBooks_ = Named("chooseBooks", new QPushButton(tr("..."), this));
  booksAhead_ = Named("booksAhead", new QDoubleSpinBox(this));
  booksAhead_->setRange(0.5, 10000);
  booksAhead_->setDecimals(1);
  booksAhead_->setSuffix(tr(" hours ahead"));
  booksAhead_->setToolTip(tr("How many hours of the books each fill puts on the player"));
  profileLabel_ = new QLabel(tr("&Player:"), this);
  profiles_ = Named("player", new DropDownList(this));
  // A long profile path is cut short in the list rather than widening the window.
  profiles_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  profiles_->setMinimumContentsLength(kProfileListCharacters);
  profiles_->setToolTip(tr("What the player plays, where its music goes and what it takes"));
  profileLabel_->setBuddy(profiles_);
  profileFound_ = Named("playerFound", new WrappingLabel(this));
  numberFiles_ = Named("numberFiles", new QCheckBox(tr("N&umber the files in play order"), this));
  playOrder_ = Named("playOrder", new QCheckBox(tr("Keep each folder in play &order"), this));
  playOrder_->setToolTip(tr("Replacing the previous fill always keeps play order"));
  createPlaylist_ = Named("createPlaylist", new QRadioButton(tr("Create playlist"), this));
  relative_ =
      Named("relativePaths", new QCheckBox(tr("Write paths relative to the playlist"), this));
  auto* set = Named("setDestination", new QPushButton(tr("Set"), this));
  label_ =
      Named("destinationLabel", new QLabel(tr("Set destination folder or playlist file"), this));
  destinationField_ = Named("destinationField", new QLineEdit(this));
  auto* playerLabel = new QLabel(tr("Plugged in:"), this);
  players_ = Named("playerChoice", new DropDownList(this));
  players_->setToolTip(tr("USB sticks, memory cards and players plugged in"));
  playerLabel->setBuddy(players_);

  // Each choice's options stand beneath its text, indented past its round button.
  auto* choices = new QGridLayout;
  choices->setColumnMinimumWidth(
      0, style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, copyToFolder_));
  choices->setColumnStretch(1, 1);
  // Each button takes the room of its text only, where a click counts.
  choices->addWidget(copyToFolder_, 0, 0, 1, 2, Qt::AlignLeft);
  choices->addWidget(keepFolders_, 1, 1, Qt::AlignLeft);
  auto* replaceRow = new QHBoxLayout;
  replaceRow->addWidget(replacePrevious_);
  replaceRow->addWidget(replaceHeard_);
  replaceRow->addStretch();
  choices->addLayout(replaceRow, 2, 1);
  auto* devicePlaylistRow = new QHBoxLayout;
  devicePlaylistRow->addWidget(devicePlaylist_);
  devicePlaylistRow->addWidget(devicePlaylistName_, 1);
  choices->addLayout(devicePlaylistRow, 3, 1);
  auto* booksRow = new QHBoxLayout;
  booksRow->addWidget(books_);
  booksRow->addWidget(booksFolder_, 1);
  // The button that picks the folder is as wide as its three dots need, not a text button.
  chooseBooks_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  chooseBooks_->setFixedWidth(chooseBooks_->fontMetrics().horizontalAdvance(chooseBooks_->text()) +
                              4 * chooseBooks_->fontMetrics().averageCharWidth());
  booksRow->addWidget(chooseBooks_);
  booksRow->addWidget(booksAhead_);
  // What the profile chosen means stands beneath the list, as a note on it.
  auto* profileRows = new QGridLayout;
  profileRows->addWidget(profileLabel_, 0, 0);
  profileRows->addWidget(profiles_, 0, 1);
  profileRows->addWidget(profileFound_, 1, 1);
  profileRows->setColumnStretch(1, 1);
  choices->addLayout(booksRow, 4, 1);
  choices->addLayout(profileRows, 5, 1);
  choices->addWidget(numberFiles_, 6, 1, Qt::AlignLeft);
  choices->addWidget(playOrder_, 7, 1, Qt::AlignLeft);
  choices->addWidget(createPlaylist_, 8, 0, 1, 2, Qt::AlignLeft);
  choices->addWidget(relative_, 9, 1, Qt::AlignLeft);
  auto* setRow = new QHBoxLayout;
  setRow->addWidget(set);
  setRow->addWidget(label_, 1);
  auto* playerRow = new QHBoxLayout;
  playerRow->addWidget(playerLabel);
  playerRow->addWidget(players_, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(choices);
  page->addSpacing(fontMetrics().height() / 2);
  page->addLayout(setRow);
  page->addWidget(destinationField_);
  page->addLayout(playerRow);
  page->addStretch();

  connect(copyToFolder_, &QRadioButton::clicked, this, [this] { SwitchChoice(true); });
  connect(createPlaylist_, &QRadioButton::clicked, this, [this] { SwitchChoice(false); });
  connect(devicePlaylist_, &QCheckBox::toggled, this,
          [this] { ShowChoice(copyToFolder_->isChecked()); });
  connect(books_, &QCheckBox::toggled, this, [this] { ShowChoice(copyToFolder_->isChecked()); });
  connect(chooseBooks_, &QPushButton::clicked, this, [this] {
    if (const std::optional<QString> chosen = ChooseFolder(this, booksFolder_->text())) {
      booksFolder_->setText(*chosen);
      books_->setChecked(true);
    }
  });
  connect(replacePrevious_, &QCheckBox::toggled, this, &DestinationPage::ShowPlayOrder);
  // Only the user's own clicks reach here: ShowPlayOrder sets the box quietly.
  connect(playOrder_, &QCheckBox::toggled, this, [this](bool checked) { orderChosen_ = checked; });
  connect(profiles_, &DropDownList::aboutToOpen, this, [this] { ListProfiles(profileChoice_); });
  connect(profiles_, &QComboBox::activated, this, &DestinationPage::ChooseProfile);
  profileFoundTimer_ = new QTimer(this);
  profileFoundTimer_->setSingleShot(true);
  profileFoundTimer_->setInterval(kProfileFoundDelayMs);
  connect(profileFoundTimer_, &QTimer::timeout, this, &DestinationPage::ShowProfileFound);
  connect(set, &QPushButton::clicked, this, &DestinationPage::ChooseDestination);
  // The text of the choice shown is that choice's own, however it came there.
  connect(destinationField_, &QLineEdit::textChanged, this, [this](const QString& text) {
    (showingCopy_ ? folderText_ : playlistText_) = text;
    ShowPlayerOf(text);
    profileFoundTimer_->start();
  });
  connect(players_, &DropDownList::aboutToOpen, this, &DestinationPage::ListPlayers);
  connect(players_, &QComboBox::activated, this, &DestinationPage::ChoosePlayer);
}

void DestinationPage::ShowChoice(bool copy) {
  label_->setText(copy ? tr("Set destination folder") : tr("Set playlist file"));
  // Folders, replacing, a playlist inside, the player and its play order, and the players
  // plugged in go with a copy; relative paths with a playlist.
  for (QWidget* copyOption : std::initializer_list<QWidget*>{
           keepFolders_, replacePrevious_, devicePlaylist_, profileLabel_, profiles_, profileFound_,
           numberFiles_, players_, books_, chooseBooks_})
    copyOption->setEnabled(copy);
  devicePlaylistName_->setEnabled(copy && devicePlaylist_->isChecked());
  booksFolder_->setEnabled(copy && books_->isChecked());
  booksAhead_->setEnabled(copy && books_->isChecked());
  ShowPlayOrder();
  relative_->setEnabled(!copy);
}

void DestinationPage::ShowPlayOrder() {
  // Replacing the previous fill always leaves each folder in play order; the box says so,
  // and keeps what the user chose for fills that do not replace.
  const bool replacing = replacePrevious_->isChecked();
  const QSignalBlocker quiet(playOrder_);
  playOrder_->setChecked(replacing || orderChosen_);
  playOrder_->setEnabled(copyToFolder_->isChecked() && !replacing);
  replaceHeard_->setEnabled(copyToFolder_->isChecked() && replacing);
}

void DestinationPage::SwitchChoice(bool copy) {
  if (copy != showingCopy_) {
    showingCopy_ = copy;
    destinationField_->setText(copy ? folderText_ : playlistText_);
  }
  ShowChoice(copy);
}

void DestinationPage::ShowSettings() {
  const QString destination = FromEngineText(settings_.destination);
  // An empty destination has no ending to tell the choice; the one last made stands.
  const bool copy =
      destination.isEmpty() ? copyWhenEmpty_.value_or(true) : !DestinationIsPlaylist(destination);
  const engine::ExtraOptions& options = settings_.options;
  createPlaylist_->setChecked(!copy);
  copyToFolder_->setChecked(copy);
  showingCopy_ = copy;
  (copy ? folderText_ : playlistText_) = destination;
  destinationField_->setText(destination);
  keepFolders_->setChecked(options.keepFolders);
  replacePrevious_->setChecked(options.replacePrevious);
  replaceHeard_->setChecked(options.replaceHeard);
  devicePlaylist_->setChecked(!options.devicePlaylist.empty());
  devicePlaylistName_->setText(options.devicePlaylist.empty()
                                   ? QString::fromLatin1(kDefaultDevicePlaylist)
                                   : FromEngineText(options.devicePlaylist));
  relative_->setChecked(options.relative);
  books_->setChecked(!options.bookFolders.empty());
  booksFolder_->setText(options.bookFolders.empty() ? QString()
                                                    : FromEngineText(options.bookFolders.front()));
  booksAhead_->setValue(options.booksAheadHours);
  loadedBooksAhead_ = booksAhead_->value();
  moreBookFolders_.assign(
      options.bookFolders.begin() + std::min<std::size_t>(options.bookFolders.size(), 1),
      options.bookFolders.end());
  numberFiles_->setChecked(options.number);
  orderChosen_ = options.order;
  ShowChoice(copy);
  ListPlayers();
  ListProfiles(FromEngineText(options.player));
  ShowProfileFound();
}

bool DestinationPage::validatePage() {
  // A copy for a profile that cannot be read could not be made: the user hears why here,
  // where the profile is chosen, rather than at Finish.
  if (copyToFolder_->isChecked()) {
    const engine::FoundPlayer found = FindChosenProfile();
    if (found.error) {
      ShowProfileFound();
      ShowInformation(this, Translated(*found.error));
      profiles_->setFocus();
      return false;
    }
  }
  StoreInto(settings_);
  if (destinationField_->text().isEmpty()) {
    copyWhenEmpty_ = copyToFolder_->isChecked();
  } else {
    copyWhenEmpty_.reset();
  }
  return true;
}

void DestinationPage::StoreInto(engine::SettingsText& settings) const {
  settings.copyToFolder = copyToFolder_->isChecked();
  settings.destination = ToEngineText(destinationField_->text());
  engine::ExtraOptions& options = settings.options;
  options.keepFolders = keepFolders_->isChecked();
  options.replacePrevious = replacePrevious_->isChecked();
  options.replaceHeard = options.replacePrevious && replaceHeard_->isChecked();
  options.devicePlaylist =
      devicePlaylist_->isChecked() ? ToEngineText(devicePlaylistName_->text().trimmed()) : "";
  options.relative = relative_->isChecked();
  // The folder shown stands first; others a settings file names stay after it.
  options.bookFolders.clear();
  const QString booksFolder = booksFolder_->text().trimmed();
  if (books_->isChecked() && !booksFolder.isEmpty()) {
    options.bookFolders.push_back(ToEngineText(booksFolder));
    options.bookFolders.insert(options.bookFolders.end(), moreBookFolders_.begin(),
                               moreBookFolders_.end());
  }
  // The box shows tenths of an hour from half an hour: a value of the settings file it
  // cannot show (0.05) stays as it was until the user changes the box.
  if (booksAhead_->value() != loadedBooksAhead_) options.booksAheadHours = booksAhead_->value();
  options.player = ToEngineText(profileChoice_);
  options.number = numberFiles_->isChecked();
  options.order = orderChosen_;
}

void DestinationPage::SetDestination(const QString& destination) {
  // A destination chosen counts at once; one typed counts from Next on.
  settings_.destination = ToEngineText(destination);
  destinationField_->setText(destination);
}

void DestinationPage::ChooseDestination() {
  // The dialogs start where the destination shown lies.
  const QString current = destinationField_->text();
  std::optional<QString> chosen;
  if (copyToFolder_->isChecked()) {
    chosen = ChooseFolder(this, current);
  } else {
    chosen = ChooseFileToSave(
        this, FilterWithAllFiles(tr("Play List Files (*.m3u)"), QStringLiteral("*.m3u")),
        QStringLiteral("m3u"), current.isEmpty() ? QString() : QFileInfo(current).path());
  }
  if (chosen) SetDestination(*chosen);
}

void DestinationPage::ListPlayers() {
  volumes_ = RemovableVolumes();
  players_->clear();
  for (const RemovableVolume& volume : volumes_) {
    // Phones may report no room at all: a size of 0 would read as full.
    if (volume.bytesTotal <= 0) {
      players_->addItem(tr("%1 (free space not reported)").arg(volume.name));
      continue;
    }
    players_->addItem(tr("%1 (%2, %3 free)")
                          .arg(volume.name, Translated(engine::SizeText(volume.bytesTotal)),
                               Translated(engine::SizeText(volume.bytesFree))));
  }
  players_->setPlaceholderText(volumes_.empty() ? tr("No player found") : tr("Choose a player"));
  ShowPlayerOf(destinationField_->text());
}

void DestinationPage::ShowPlayerOf(const QString& destination) {
  int shown = -1;
  for (std::size_t i = 0; i < volumes_.size() && !destination.isEmpty(); ++i) {
    if (LiesIn(destination, volumes_[i].rootPath)) shown = static_cast<int>(i);
  }
  players_->setCurrentIndex(shown);
}

void DestinationPage::ChoosePlayer(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= volumes_.size()) return;
  SetDestination(DestinationOnVolume(volumes_[static_cast<std::size_t>(index)]));
}

QString DestinationPage::BuiltInProfileLabel(const std::string& name) {
  if (name == "any") return tr("Any player");
  if (name == "car") return tr("Car stereo");
  return FromEngineText(name);
}

void DestinationPage::ListProfiles(const QString& choice) {
  // "any" is the profile of no name, whichever way it is written.
  const QString wanted = choice == QLatin1String("any") ? QString() : choice;
  profiles_->clear();
  profiles_->addItem(tr("Found on the stick"), QString::fromLatin1(kFoundPlayer));
  profiles_->addItem(BuiltInProfileLabel("any"), QString());
  for (const std::string& name : engine::BuiltInProfileNames()) {
    if (name == "any") continue;  // listed above, as the settings name it: no name at all
    profiles_->addItem(BuiltInProfileLabel(name), FromEngineText(name));
  }
  for (const std::string& name : engine::UserProfileNames())
    profiles_->addItem(FromEngineText(name), FromEngineText(name));
  int chosen = profiles_->findData(wanted);
  if (chosen < 0) {
    profiles_->addItem(wanted, wanted);
    chosen = profiles_->count() - 1;
  }
  // The last entry has no value: it asks for a file.
  profiles_->addItem(tr("Other profile file…"));
  profiles_->setCurrentIndex(chosen);
  profileChoice_ = wanted;
}

void DestinationPage::ChooseProfile(int index) {
  const QVariant value = profiles_->itemData(index);
  if (value.isValid()) {
    profileChoice_ = value.toString();
  } else {
    // Starts where the profile file chosen now lies.
    const QString folder =
        profileChoice_.contains(QLatin1Char('/')) ? QFileInfo(profileChoice_).path() : QString();
    const std::optional<QString> file = ChooseFileToOpen(
        this, FilterWithAllFiles(tr("Player Profiles (*.mpi)"), QStringLiteral("*.mpi")),
        QStringLiteral("mpi"), folder);
    // Cancelled: the choice made before stays.
    ListProfiles(file.value_or(profileChoice_));
  }
  ShowProfileFound();
}

engine::FoundPlayer DestinationPage::FindChosenProfile() const {
  const std::string destination = ToEngineText(destinationField_->text());
  // Without a destination there is no player to look for.
  if (destination.empty() && profileChoice_ == QLatin1String(kFoundPlayer)) return {};
  return engine::FindPlayerProfile(ToEngineText(profileChoice_), destination);
}

QString DestinationPage::ProfileFoundText() const {
  const engine::FoundPlayer found = FindChosenProfile();
  if (found.error) return Translated(*found.error);
  if (profileChoice_ == QLatin1String(kFoundPlayer)) {
    // Where nothing tells which player it is, the fill takes any.
    return found.profile && found.profile != engine::BuiltInProfile("any")
               ? tr("Player: %1").arg(Translated(engine::DescribeProfile(*found.profile)))
               : tr("No player found here: any player");
  }
  if (!found.profile) return {};
  // A built-in profile is named as the list names it.
  engine::PlayerProfile described = *found.profile;
  const std::vector<std::string> builtIn = engine::BuiltInProfileNames();
  if (profileChoice_.isEmpty() ||
      std::find(builtIn.begin(), builtIn.end(), ToEngineText(profileChoice_)) != builtIn.end())
    described.displayName = ToEngineText(BuiltInProfileLabel(described.name));
  return tr("Player: %1").arg(Translated(engine::DescribeProfile(described)));
}

void DestinationPage::ShowProfileFound() {
  profileFoundTimer_->stop();
  profileFound_->setText(ProfileFoundText());
  // A longer text, an error naming a file, may take more lines than there was room for.
  if (isVisible()) GrowWizardToFit();
}

}  // namespace sorvina::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/folder_dialog.h"

#include <string>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>

#include "text/path_style.h"
#include "ui/folder_text/file_system_folder_queries.h"
#include "ui/folder_text/folder_name_completion.h"
#include "ui/folder_text/folder_text_checks.h"
#include "ui/shell/file_dialog.h"
#include "ui/shell/folder_edit.h"
#include "ui/shell/message_box.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

constexpr text::PathStyle kStyle = text::NativePathStyle();
const QChar kSeparator = QLatin1Char(text::Separator(kStyle));

// Where a picker opened without a folder starts: where the last one ended with Open.
QString& LastChosenFolder() {
  static QString folder;
  return folder;
}

QString StartFolder(const std::optional<QString>& initialFolder) {
  for (const QString& candidate : {initialFolder.value_or(QString()), LastChosenFolder(),
                                   QDir::currentPath(), QDir::homePath()}) {
    const QFileInfo info(candidate);
    if (!candidate.isEmpty() && info.isDir()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return QDir::rootPath();
}

// The checks' questions and messages as the program's message boxes.
class MessageBoxPrompts final : public FolderPrompts {
 public:
  explicit MessageBoxPrompts(QWidget* parent) : parent_(parent) {}

  void ShowMessage(const text::UserText& text) override {
    ShowPlainMessage(parent_, Translated(text));
  }
  bool AskYesNo(const text::UserText& text) override {
    return sorvina::ui::AskYesNo(parent_, Translated(text));
  }

 private:
  QWidget* parent_;
};

// Everything one check of a typed text needs; relative texts count from `baseFolder`.
class TypedTextJudge {
 public:
  TypedTextJudge(const QString& baseFolder, QWidget* parent)
      : queries_(ToEngineText(baseFolder)), prompts_(parent) {}

  FolderTextContext context() { return {kStyle, queries_, prompts_}; }
  FileSystemFolderQueries& queries() { return queries_; }

 private:
  FileSystemFolderQueries queries_;
  MessageBoxPrompts prompts_;
};

}  // namespace

FolderDialog::FolderDialog(const std::optional<QString>& initialFolder,
                           const std::optional<QString>& extraFilter, QWidget* owner)
    : QDialog(owner) {
  setObjectName(QStringLiteral("folderDialog"));
  setWindowTitle(tr("Select Folder"));
  BuildLayout();
  FillFilterChoice(extraFilter);
  DisplayFolder(StartFolder(initialFolder));
  const QFontMetrics metrics = fontMetrics();
  resize(metrics.averageCharWidth() * 90, metrics.height() * 26);
}

// The model's background reader uses the icon provider until the model is gone, so the
// model goes first.
FolderDialog::~FolderDialog() {
  view_->setModel(nullptr);
  delete model_;
}

void FolderDialog::setVisible(bool visible) {
  QDialog::setVisible(visible);
  if (visible) folderEdit_->end(false);
}

void FolderDialog::BuildLayout() {
  icons_ = std::make_unique<QFileIconProvider>();
  model_ = new QFileSystemModel(this);
  model_->setIconProvider(icons_.get());
  model_->setReadOnly(true);

  lookIn_ = new QComboBox(this);
  lookIn_->setObjectName(QStringLiteral("lookIn"));
  lookIn_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  upButton_ = new QToolButton(this);
  upButton_->setObjectName(QStringLiteral("upButton"));
  upButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  upButton_->setToolTip(tr("Up One Level"));
  homeButton_ = new QToolButton(this);
  homeButton_->setObjectName(QStringLiteral("homeButton"));
  homeButton_->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
  homeButton_->setToolTip(tr("Home Folder"));

  view_ = new QTreeView(this);
  view_->setObjectName(QStringLiteral("folderView"));
  view_->setModel(model_);
  view_->setRootIsDecorated(false);
  view_->setItemsExpandable(false);
  view_->setUniformRowHeights(true);
  view_->setSortingEnabled(true);
  view_->sortByColumn(0, Qt::AscendingOrder);
  view_->header()->resizeSection(0, fontMetrics().averageCharWidth() * 30);
  view_->installEventFilter(this);

  folderEdit_ = new FolderEdit(this);
  folderEdit_->setObjectName(QStringLiteral("folderField"));
  openButton_ = new QPushButton(tr("Open"), this);
  openButton_->setObjectName(QStringLiteral("openButton"));
  openButton_->setDefault(true);
  cancelButton_ = new QPushButton(tr("Cancel"), this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  fileTypes_ = new QComboBox(this);
  fileTypes_->setObjectName(QStringLiteral("fileTypes"));

  auto* folderLabel = new QLabel(tr("Folder:"), this);
  folderLabel->setBuddy(folderEdit_);
  auto* lookInLabel = new QLabel(tr("Look in:"), this);
  lookInLabel->setBuddy(lookIn_);
  auto* typesLabel = new QLabel(tr("Files of type:"), this);
  typesLabel->setBuddy(fileTypes_);

  auto* tools = new QHBoxLayout;
  tools->addWidget(upButton_);
  tools->addWidget(homeButton_);
  auto* grid = new QGridLayout(this);
  grid->addWidget(lookInLabel, 0, 0);
  grid->addWidget(lookIn_, 0, 1);
  grid->addLayout(tools, 0, 2, Qt::AlignLeft);
  grid->addWidget(view_, 1, 0, 1, 3);
  grid->addWidget(folderLabel, 2, 0);
  grid->addWidget(folderEdit_, 2, 1);
  grid->addWidget(typesLabel, 3, 0);
  grid->addWidget(fileTypes_, 3, 1);
  // Open beside the field and Cancel beneath it, as a file dialog has them.
  auto* buttons = new QDialogButtonBox(Qt::Vertical, this);
  buttons->addButton(openButton_, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
  grid->addWidget(buttons, 2, 2, 2, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);

  // The field is followed by Open and Cancel, as Tab in the field expects.
  setTabOrder(lookIn_, upButton_);
  setTabOrder(upButton_, homeButton_);
  setTabOrder(homeButton_, view_);
  setTabOrder(view_, folderEdit_);
  setTabOrder(folderEdit_, openButton_);
  setTabOrder(openButton_, cancelButton_);
  setTabOrder(cancelButton_, fileTypes_);

  connect(lookIn_, &QComboBox::activated, this,
          [this](int index) { DisplayFolder(lookIn_->itemData(index).toString()); });
  connect(upButton_, &QToolButton::clicked, this, &FolderDialog::OnUp);
  connect(homeButton_, &QToolButton::clicked, this,
          [this] { DisplayFolder(QDir::cleanPath(QDir::homePath())); });
  connect(view_, &QTreeView::doubleClicked, this, &FolderDialog::OnItemActivated);
  connect(fileTypes_, &QComboBox::currentIndexChanged, this, &FolderDialog::OnFilterChosen);
  connect(openButton_, &QPushButton::clicked, this, &FolderDialog::OnOpen);
  connect(cancelButton_, &QPushButton::clicked, this, &FolderDialog::reject);
  connect(folderEdit_, &FolderEdit::tabPressed, this, [this] { openButton_->setFocus(); });
  connect(folderEdit_, &FolderEdit::enterPressed, this, &FolderDialog::OnEnter);
  connect(folderEdit_, &FolderEdit::escapePressed, this, &FolderDialog::reject);
  connect(folderEdit_, &FolderEdit::characterTyped, this, &FolderDialog::OnCharacter);
  connect(folderEdit_, &FolderEdit::deletePressed, this, &FolderDialog::OnDelete);
}

// The first choice, whose pattern "." matches no file, lists folders only.
void FolderDialog::FillFilterChoice(const std::optional<QString>& extraFilter) {
  filterText_ =
      tr("Show Folders Only") + QStringLiteral("|.|") + extraFilter.value_or(AllFilesFilter());
  for (const FilterPair& pair : SplitFilterString(filterText_)) {
    const QStringList patterns =
        pair.patterns == QLatin1String(".") ? QStringList() : FilterPatterns(pair.patterns);
    fileTypes_->addItem(pair.name, patterns);
  }
  OnFilterChosen(fileTypes_->currentIndex());
}

void FolderDialog::OnFilterChosen(int index) {
  const QStringList patterns = fileTypes_->itemData(index).toStringList();
  model_->setNameFilterDisables(false);
  model_->setNameFilters(patterns);
  model_->setFilter(patterns.isEmpty() ? QDir::AllDirs | QDir::NoDotAndDotDot
                                       : QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
}

void FolderDialog::DisplayFolder(const QString& absolutePath) {
  model_->setRootPath(absolutePath);
  view_->setRootIndex(model_->index(absolutePath));
  UpdateLookIn(absolutePath);
  upButton_->setEnabled(!QDir(absolutePath).isRoot());
  OnFolderChanged(absolutePath);
}

void FolderDialog::OnFolderChanged(const QString& absolutePath) {
  folderPath_ = absolutePath;
  if (!folderPath_.isEmpty() && !folderPath_.endsWith(kSeparator)) folderPath_ += kSeparator;
  folderEdit_->setText(folderPath_);
  folderEdit_->end(false);
  folderEdit_->setFocus();
}

// The displayed folder first, then each folder above it.
void FolderDialog::UpdateLookIn(const QString& absolutePath) {
  lookIn_->clear();
  const QIcon folderIcon = icons_->icon(QFileIconProvider::Folder);
  QDir folder(absolutePath);
  do {
    lookIn_->addItem(folderIcon, QDir::toNativeSeparators(folder.absolutePath()),
                     folder.absolutePath());
  } while (folder.cdUp());
}

QString FolderDialog::BaseFolder() const {
  return folderPath_.isEmpty() ? QDir::currentPath() : QDir::cleanPath(folderPath_);
}

void FolderDialog::DisplayTypedFolder(const QString& text) {
  if (text.isEmpty()) return;
  const FileSystemFolderQueries queries(ToEngineText(BaseFolder()));
  const QString path = QDir::cleanPath(FromEngineText(queries.Resolve(ToEngineText(text))));
  // A file or a missing path is not displayed: the picker stays where it is.
  if (QFileInfo(path).isDir()) DisplayFolder(path);
}

void FolderDialog::NavigateTo(const QString& text) {
  const QString typed = folderEdit_->text();
  const bool hadSelection = folderEdit_->hasSelectedText();
  const int selectionStart = folderEdit_->selectionStart();
  const int selectionEnd = folderEdit_->selectionEnd();
  const int cursor = folderEdit_->cursorPosition();

  DisplayTypedFolder(text);

  const QString shown = folderEdit_->text();
  const bool otherSpelling = typed.compare(shown, Qt::CaseInsensitive) == 0 ||
                             (typed + kSeparator).compare(shown, Qt::CaseInsensitive) == 0;
  if (typed.isEmpty() || typed.startsWith(QLatin1Char('.')) || otherSpelling) {
    folderEdit_->end(false);
    return;
  }
  folderEdit_->setText(typed);
  if (!hadSelection)
    folderEdit_->setCursorPosition(cursor);
  else if (cursor == selectionStart)
    folderEdit_->setSelection(selectionEnd, selectionStart - selectionEnd);
  else
    folderEdit_->setSelection(selectionStart, selectionEnd - selectionStart);
}

void FolderDialog::OnOpen() {
  TypedTextJudge judge(BaseFolder(), this);
  const std::optional<std::string> accepted =
      CheckFolderForOpen(ToEngineText(folderEdit_->text()), judge.context());
  if (!accepted) {
    folderEdit_->setFocus();
    return;
  }
  NavigateTo(FromEngineText(*accepted));
  LastChosenFolder() = folderPath_;
  accept();
}

bool FolderDialog::NamesDisplayedFolder(const QString& text) const {
  if (text.isEmpty() || folderPath_.isEmpty()) return false;
  const FileSystemFolderQueries queries(ToEngineText(BaseFolder()));
  return QDir::cleanPath(FromEngineText(queries.Resolve(ToEngineText(text)))) ==
         QDir::cleanPath(folderPath_);
}

void FolderDialog::OnEnter() {
  // A second Enter on what is already displayed chooses it.
  if (NamesDisplayedFolder(folderEdit_->text())) {
    OnOpen();
    return;
  }
  TypedTextJudge judge(BaseFolder(), this);
  const std::optional<std::string> shown =
      CheckFolderForEnter(ToEngineText(folderEdit_->text()), judge.context());
  if (!shown) return;
  NavigateTo(FromEngineText(*shown));
  if (!folderEdit_->text().endsWith(kSeparator))
    folderEdit_->setText(folderEdit_->text() + kSeparator);
  folderEdit_->end(false);
  folderEdit_->setFocus();
}

void FolderDialog::OnCharacter(bool backspace) {
  const QString text = folderEdit_->text();
  const int selectionStart = folderEdit_->hasSelectedText() ? folderEdit_->selectionStart()
                                                            : folderEdit_->cursorPosition();
  TypedTextJudge judge(BaseFolder(), this);
  switch (IsNavigableFolderText(ToEngineText(text), kStyle, judge.queries())) {
    case Navigability::kDisplay:
      NavigateTo(text);
      break;
    case Navigability::kSettled:
      break;
    case Navigability::kPartial:
      if (backspace || selectionStart != text.size()) break;
      if (const std::optional<std::string> completed =
              CompleteFolderName(ToEngineText(text), kStyle, judge.queries())) {
        // The added part is selected, so that the next character typed replaces it.
        const QString completedText = FromEngineText(*completed);
        folderEdit_->setText(completedText);
        folderEdit_->setSelection(text.size(),
                                  std::max<int>(completedText.size() - text.size(), 0));
      }
      break;
  }
  folderEdit_->setFocus();
}

void FolderDialog::OnDelete() {
  TypedTextJudge judge(BaseFolder(), this);
  const QString text = folderEdit_->text();
  if (IsNavigableFolderText(ToEngineText(text), kStyle, judge.queries()) == Navigability::kDisplay)
    NavigateTo(text);
  folderEdit_->setFocus();
}

void FolderDialog::OnItemActivated(const QModelIndex& index) {
  if (index.isValid() && model_->isDir(index)) DisplayFolder(model_->filePath(index));
}

void FolderDialog::OnUp() {
  QDir folder(BaseFolder());
  if (folder.cdUp()) DisplayFolder(folder.absolutePath());
}

// In the list, Enter opens the current folder (instead of pressing Open) and Backspace
// goes up one level.
bool FolderDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        OnItemActivated(view_->currentIndex());
        return true;
      case Qt::Key_Backspace:
        OnUp();
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace sorvina::ui

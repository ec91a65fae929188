// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress/copy_progress_dialog.h"

#include <algorithm>
#include <cstdint>

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/report/messages.h"
#include "ui/shell/path_text.h"
#include "ui/shell/translated_text.h"

namespace sorvina::ui {
namespace {

// Width of the file name line, in average characters; longer names are shortened in the
// middle.
constexpr int kNameCharacters = 56;

// Where the bar stands: by bytes, or by files when every file is empty.
int BarValue(const transfer::FileProgress& progress) {
  if (progress.bytesTotal > 0) {
    const std::uint64_t done = std::min(progress.bytesDone, progress.bytesTotal);
    const double share = static_cast<double>(done) / static_cast<double>(progress.bytesTotal);
    return static_cast<int>(share * CopyProgressDialog::kBarSteps);
  }
  if (progress.fileCount == 0) return 0;
  const std::size_t index = std::min(progress.fileIndex, progress.fileCount);
  return static_cast<int>(static_cast<double>(index) / static_cast<double>(progress.fileCount) *
                          CopyProgressDialog::kBarSteps);
}

}  // namespace

CopyProgressDialog::CopyProgressDialog(QWidget* owner)
    : QDialog(owner),
      count_(new QLabel(this)),
      name_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setObjectName(QStringLiteral("copyProgress"));
  setWindowTitle(tr("Copying"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowModality(Qt::WindowModal);

  count_->setObjectName(QStringLiteral("copyCount"));
  count_->setTextFormat(Qt::PlainText);
  name_->setObjectName(QStringLiteral("copyName"));
  name_->setTextFormat(Qt::PlainText);
  name_->setFixedWidth(fontMetrics().averageCharWidth() * kNameCharacters);
  bar_->setObjectName(QStringLiteral("copyBar"));
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  cancel_->setObjectName(QStringLiteral("copyCancel"));
  cancel_->setAutoDefault(false);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::rejected, this, &CopyProgressDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(count_);
  layout->addWidget(name_);
  layout->addWidget(bar_);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

CopyProgressDialog::~CopyProgressDialog() = default;

void CopyProgressDialog::Update(const transfer::FileProgress& progress) {
  const std::size_t shown = std::min(progress.fileIndex + 1, progress.fileCount);
  count_->setText(tr("Copying file %1 of %2").arg(shown).arg(progress.fileCount));
  // The song's name on the player: a converted song is copied from the cache, whose
  // names mean nothing to the user.
  const QString path = FromEngineText(progress.target.empty() ? progress.path : progress.target);
  const QString name = QFileInfo(path).fileName();
  name_->setText(name_->fontMetrics().elidedText(name, Qt::ElideMiddle, name_->width()));
  name_->setToolTip(path);
  bar_->setValue(BarValue(progress));
}

void CopyProgressDialog::ShowStep(const QString& title) {
  count_->setText(title);
  name_->clear();
  name_->setToolTip({});
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
}

void CopyProgressDialog::SetRange(int lower, int upper) {
  bar_->setRange(lower, std::max(lower, upper));
}

void CopyProgressDialog::SetPosition(int position) {
  bar_->setValue(std::clamp(position, bar_->minimum(), bar_->maximum()));
}

void CopyProgressDialog::ShowWritingToDevice() {
  count_->setText(Translated(engine::kWritingToDeviceText));
  name_->clear();
  name_->setToolTip({});
  bar_->setRange(0, 0);
  cancel_->setEnabled(false);
}

void CopyProgressDialog::reject() {
  // The dialog stays until the copy has stopped and its owner closes it.
  cancelRequested_ = true;
  cancel_->setEnabled(false);
}

}  // namespace sorvina::ui

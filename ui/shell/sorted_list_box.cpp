// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/shell/sorted_list_box.h"

namespace sorvina::ui {

SortedListBox::SortedListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int SortedListBox::InsertSorted(const QString& text) {
  // Binary search for the first entry that sorts after `text`.
  int low = 0;
  int high = count();
  while (low < high) {
    const int middle = (low + high) / 2;
    if (QString::compare(item(middle)->text(), text, Qt::CaseInsensitive) <= 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  insertItem(low, text);
  return low;
}

void SortedListBox::RemoveRow(int row) {
  delete takeItem(row);
}

int SortedListBox::SelectedRow() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.constFirst());
}

void SortedListBox::SelectRow(int row) {
  if (row < 0 || row >= count()) {
    clearSelection();
    setCurrentRow(-1);
    return;
  }
  setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QString SortedListBox::Text(int row) const {
  return item(row)->text();
}

QStringList SortedListBox::Texts() const {
  QStringList texts;
  for (int i = 0; i < count(); ++i)
    texts << item(i)->text();
  return texts;
}

}  // namespace sorvina::ui

#include "ui/shell/sorted_list_box.h"

namespace sorvina::ui {

SortedListBox::SortedListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int SortedListBox::AddString(const QString& text) {
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

void SortedListBox::DeleteString(int index) {
  delete takeItem(index);
}

int SortedListBox::CurSel() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.constFirst());
}

void SortedListBox::SetCurSel(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    setCurrentRow(-1);
    return;
  }
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

QString SortedListBox::Text(int index) const {
  return item(index)->text();
}

QStringList SortedListBox::Texts() const {
  QStringList texts;
  for (int i = 0; i < count(); ++i)
    texts << item(i)->text();
  return texts;
}

}  // namespace sorvina::ui

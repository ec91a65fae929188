// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

namespace sorvina::ui {

// A list that keeps its entries in case-insensitive order of their whole text. An entry
// equal to others (ignoring case) goes after them.
class SortedListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit SortedListBox(QWidget* parent = nullptr);

  // Inserts `text` at its place and returns its row.
  int InsertSorted(const QString& text);
  void RemoveRow(int row);
  // The selected entry's row, or -1.
  int SelectedRow() const;
  // Selects the entry in `row`; -1 clears the selection.
  void SelectRow(int row);
  QString Text(int row) const;
  QStringList Texts() const;
};

}  // namespace sorvina::ui

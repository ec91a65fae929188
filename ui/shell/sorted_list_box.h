#pragma once

#include <QListWidget>

namespace sorvina::ui {

// A list that keeps its entries in case-insensitive order of their whole text. An entry
// equal to others (ignoring case) goes after them.
class SortedListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit SortedListBox(QWidget* parent = nullptr);

  // Inserts `text` at its place and returns its index.
  int AddString(const QString& text);
  void DeleteString(int index);
  // The selected entry's index, or -1.
  int CurSel() const;
  // Selects entry `index`; -1 clears the selection.
  void SetCurSel(int index);
  QString Text(int index) const;
  QStringList Texts() const;
};

}  // namespace sorvina::ui

#pragma once

#include <span>

namespace sorvina::resources {

// The kinds of control a dialog template places.
enum class ControlKind {
  kPushButton,
  kDefaultPushButton,  // the button that Enter presses
  kRadioButton,        // automatic: checking one unchecks its siblings
  kCheckBox,           // automatic: a click checks or unchecks it
  kLabel,
  kGroupBox,
  kEditField,  // one line, scrolls horizontally, bordered
  kListBox,    // sorted case-insensitively, bordered, both scroll bars
  kOwnerDrawnButton,
  kComboBox,  // a drop-down list to choose from
};

inline constexpr int kNoControlId = -1;

// One control: where it goes, in dialog units of the dialog's font (a horizontal unit is
// a quarter of the average character width, a vertical unit an eighth of the height).
struct ControlTemplate {
  ControlKind kind;
  int id;            // kNoControlId for labels and frames nobody addresses
  const char* text;  // "" for none; translated in kResourceContext (string_table.h)
  int x;
  int y;
  int width;
  int height;
};

struct DialogTemplate {
  int id;
  const char* caption;
  int width;  // dialog units
  int height;
  std::span<const ControlTemplate> controls;  // in creation (and tab) order
};

// The template with that id; every id the program uses exists (an unknown id is a
// programming error and aborts).
const DialogTemplate& FindDialogTemplate(int id);

}  // namespace sorvina::resources

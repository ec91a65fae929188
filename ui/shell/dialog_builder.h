#pragma once

#include <map>

#include <QRect>
#include <QSize>

#include "resources/dialog_templates.h"

class QFont;
class QWidget;

namespace sorvina::ui {

// Dialog base units of `font`: the width is the average width of the letters A to Z and
// a to z, the height the font's line height. A horizontal dialog unit is a quarter of the
// width, a vertical one an eighth of the height.
QSize DialogBaseUnits(const QFont& font);

// `rect` in dialog units converted to pixels for `baseUnits`.
QRect DialogUnitsToPixels(const QRect& rect, const QSize& baseUnits);

struct BuiltDialog {
  // The whole dialog, in pixels: the template's size, made wider where a control had to
  // grow for its text to show whole.
  QSize size;
  std::map<int, QWidget*> controls;  // every control that has an id, by id
};

// Creates every control of `dialogTemplate` as a child of `parent`, with its text in the
// user's language, in the template's order and at its place converted with `parent`'s font, and
// gives `parent` the dialog's size as its minimum. A label, radio button or check box whose text
// needs more room than its place in this font is widened (never narrowed, moved or made taller),
// and the dialog with it. Push buttons never become the default through the keyboard (Enter in a
// field is not a click on some button); radio buttons of one parent form one group; edit fields,
// list boxes, owner-drawn buttons and drop-down lists are a QLineEdit, a SortedListBox, a
// LinkButton and a DropDownList.
BuiltDialog BuildDialog(const resources::DialogTemplate& dialogTemplate, QWidget* parent);

}  // namespace sorvina::ui

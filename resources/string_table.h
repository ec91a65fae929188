#pragma once

#include <QString>

namespace sorvina::resources {

// The translation context of the string table's and the dialog templates' texts.
inline constexpr char kResourceContext[] = "sorvina::resources";

// The text of string resource `id` in the user's language; "" for an id the table does
// not hold.
QString LoadResourceString(int id);

}  // namespace sorvina::resources

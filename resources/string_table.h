#pragma once

namespace sorvina::resources {

// The text of string resource `id`; "" for an id the table does not hold.
const char* LoadResourceString(int id);

}  // namespace sorvina::resources

// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/failure.h"

#include <system_error>

namespace sorvina::text {

Failure SystemFailure(int error) {
  return {Verbatim(std::generic_category().message(error)), error};
}

}  // namespace sorvina::text

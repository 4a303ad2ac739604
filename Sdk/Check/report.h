// The report's vocabulary, shared by the pieces of the check. Private to
// vdcamsdk-check.
#pragma once

#include "sdkcheck.h"

namespace vdcheck {
namespace detail {

// The name printed on a check's row. Constant text, safe on any thread.
const char *checkName(Check c);

} // namespace detail
} // namespace vdcheck

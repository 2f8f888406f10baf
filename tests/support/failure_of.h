// The message of the Failure that an action raises, for tables of refusals.
#pragma once

#include <string>

#include "base/failure.h"

namespace testing_support {

/// What `action` refused with (asserting status 1), or "(no failure)".
template <typename Action>
std::string failure_of(Action&& action) {
  try {
    action();
  } catch (const base::Failure& failure) {
    if (failure.exit_status() != 1) return "status " + std::to_string(failure.exit_status());
    return failure.what();
  }
  return "(no failure)";
}

}  // namespace testing_support

// Generic keys (CLAG): the rule a key record must meet before it is saved.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "tables/record.h"

namespace velmora::catalog {

// The three-line warning when a generic key cannot be saved: a blank code,
// or a type other than "I" (inputs), "C" (concepts) or "H" (machines).
std::optional<std::array<std::string, 3>> genericKeyProblem(const tables::Record& clag);

}  // namespace velmora::catalog

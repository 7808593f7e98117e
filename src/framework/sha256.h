// SHA-256 of a byte string, as 64 lower-case hex digits. Used to keep
// passwords out of the table files in readable form.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

std::string sha256Hex(std::string_view data);

}  // namespace velmora

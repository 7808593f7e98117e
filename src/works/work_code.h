// The rule for a work's code ("obra"): the code names the work's folder in
// the data directory, so it must never climb out of it nor name one of its
// files. Every path made from a work code, typed, registered or read from an
// archive, passes this rule first.
#pragma once

#include <string>
#include <string_view>

namespace velmora::works {

// Not empty (trailing blanks aside), without "/", "\\", ":", "." or
// control characters, and not the name of a folder the installation keeps
// for itself (ACTUALIZACION, PROMOCIONES, ANTERIOR-...).
bool isValidWorkCode(std::string_view code);
// The message for a code that is not valid.
std::string invalidWorkCodeText(std::string_view code);

}  // namespace velmora::works

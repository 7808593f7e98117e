// Opening documents with their associated program: the failure texts shown
// to the user by the code of the failure.
#pragma once

#include <string>

namespace velmora::shell {

inline constexpr int kFileNotFound = 2;
inline constexpr int kNoAssociatedProgram = 31;

// The text for a failure code of 32 or less; empty for codes without a text.
std::string documentFailureText(int code);

inline constexpr const char* kMakerSite = "https://www.velmora.mx";

}  // namespace velmora::shell

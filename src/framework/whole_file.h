// Files written whole: the bytes go to a scratch file beside the target,
// reach the disk, and only then take the target's name. A failure (a full
// disk, a kill) leaves the old file as it was and no scratch file behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "framework/status.h"

namespace velmora {

// Who may read a file written whole: everyone the folder lets in, or only
// its owner (a file that may hold a password).
enum class WholeFileAccess { kShared, kOwnerOnly };

Status writeWholeFile(const std::filesystem::path& target, std::string_view bytes,
                      WholeFileAccess access = WholeFileAccess::kShared);

// The whole file, refused beyond `limit` bytes.
Status readWholeFile(const std::filesystem::path& source, size_t limit, std::string* bytes);

// Whether two files hold the same bytes (false when either cannot be read).
bool sameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// Why a file could not be written or read, in Spanish, from the system's
// error number ("no existe la carpeta", "no hay permiso"): what the user
// reads instead of the C library's English.
std::string fileErrorText(int error);

}  // namespace velmora

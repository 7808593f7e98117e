// The benchmark lines on a PostgreSQL server (bench/run starts a private one).
#pragma once

#include <filesystem>
#include <string>

#include "framework/error_reporter.h"

namespace velmora::bench {

// key-read-pg, bulk-insert-pg, calcula-pg and calcula-4-stations on the
// server at `url`, with the reference installation kept in `root`.
void benchServer(const std::string& url, const std::filesystem::path& root, ErrorReporter& errors);

}  // namespace velmora::bench

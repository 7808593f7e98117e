// Installation: where the table files of one data directory live.
//
// The shared tables sit in the data directory under their fixed names; the
// settings table sits in the settings directory; the four per-work tables sit
// in the chosen work's directory, or under the names ARCH1, ARCH2, ARCH3 and
// ARCH5 in the data directory while no work is chosen.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "framework/error_reporter.h"
#include "tables/table.h"

namespace velmora::tables {

struct Installation {
  std::filesystem::path dataDir;
  std::filesystem::path settingsDir;
  std::filesystem::path workDir;  // empty while no work is chosen
  // Whether opening a missing table file creates it. Reading commands set
  // this to false: a missing or empty file is then an error, never a new
  // empty table that would price everything at 0.
  bool createMissing = true;
  // Set by commands that only read an installation they cannot write (a
  // read-only copy): tables open read-only, without complaint.
  bool readingOnly = false;

  std::filesystem::path fileOf(const TableDef& def) const;
  // A table manager for `label` on this installation (not yet open).
  std::unique_ptr<Table> table(std::string_view label, ErrorReporter& errors) const;
};

}  // namespace velmora::tables

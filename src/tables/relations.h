// RelationManager: deletes a record together with what its relations say.
//
// A delete runs in one transaction over the parent's file and its children's
// files (attached to the parent's connection), started with a wait of at most
// 2 seconds (message 24 when it cannot start). Cascade deletes the children,
// restrict refuses the delete while a child exists (message 33), clear blanks
// the children's link. If any part fails, nothing is deleted (message 13).
// Analysis lines belong to their concept by the integer part of their line
// number, so deleting a concept deletes all its lines .00 to .99.
//
// Thread rules: like Table, one per thread, used with that thread's Tables.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"
#include "tables/table.h"

namespace velmora::tables {

class RelationManager {
 public:
  RelationManager(const Installation& installation, ErrorReporter& errors);

  // Deletes the record last read through `table` (which must be open) with
  // what its relations take along. Asking the user first is the screen's.
  Status remove(Table& table);

  // Runs inside the transaction after the children were handled and before
  // the record itself is deleted. For tests of crash safety only.
  void setBeforeParentDeleteHook(std::function<void()> hook) { hook_ = std::move(hook); }

 private:
  Status attachChild(Table& parent, const TableDef& child, std::string* target);

  Installation installation_;
  ErrorReporter& errors_;
  std::map<std::string, std::unique_ptr<Table>> children_;  // by file: created and checked once
  std::function<void()> hook_;
};

}  // namespace velmora::tables

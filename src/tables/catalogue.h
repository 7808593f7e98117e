// The nineteen tables of the installation and their relations.
#pragma once

#include <string_view>
#include <vector>

#include "tables/schema.h"

namespace velmora::tables {

// Owner passwords of the two roles: every data table, and the settings table.
inline constexpr std::string_view kDataOwnerPassword = "470913";
inline constexpr std::string_view kSettingsOwnerPassword = "KLMQ";

// All tables in the order of the table list.
const std::vector<TableDef>& allTables();
// The table with this label; throws UnknownName on an unknown label (a
// mistake of the calling code).
const TableDef& tableDef(std::string_view label);
const std::vector<RelationDef>& allRelations();

// Per-work tables, whose files live in the work's directory.
bool isWorkTable(std::string_view label);

}  // namespace velmora::tables

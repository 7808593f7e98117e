// The description of a table: its label, field prefix, file, record layout,
// keys, range checks and relations. The nineteen tables of the installation
// are built once by the catalogue (catalogue.h); everything else in the table
// layer works from these descriptions.
//
// Storage mapping, fixed here once: every field is a column named after the
// field without its prefix; an array field of k elements becomes the columns
// NAME_1 .. NAME_k; a memo is a TEXT column; DECIMAL(9,2) is stored as integer
// hundredths. A text component of a case-insensitive key gets a second column
// NAME_F holding text::foldKey(value), which the key's index uses. Every table
// has the hidden columns _id (stable record identity) and _ver (row version,
// bumped on every write, used to detect changes made by another station).
//
// Thread rules: descriptions are immutable after the catalogue is built.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::tables {

enum class FieldType { kString, kCString, kByte, kShort, kLong, kReal, kDecimal92, kMemo };

struct FieldDef {
  std::string name;  // without prefix: "CTA", "COST"
  FieldType type;
  int size = 0;   // characters for texts
  int count = 1;  // array elements
};

enum KeyFlag : unsigned {
  kDuplicates = 1,
  kCaseInsensitive = 2,
  kEmptyExcluded = 4,
  kPrimary = 8,
  kAutoNumber = 16,
};

struct KeyDef {
  std::string name;                     // without prefix: "CTA_KEY"
  std::vector<std::string> components;  // field names
  unsigned flags = 0;
  std::string description;  // "x CUENTA", or the key's own name
};

// A column of the record: one element of one field.
struct Column {
  std::string name;  // SQL column name
  int field = 0;     // index into TableDef::fields
  int element = 1;
  FieldType type;
  int size = 0;
};

// A value that must lie in a range; outside it the write is refused with the
// range message naming `label` and the text "min .. max".
struct RangeCheck {
  std::string field;
  int64_t min;
  int64_t max;
  std::string label;
};

struct ResolvedKey {
  std::vector<int> componentSlots;      // record slots of the components
  std::vector<std::string> sqlColumns;  // indexed columns (folded where case-insensitive)
  std::vector<bool> folded;             // per component: compared through its folded column
  std::string indexName;
  std::string emptyExclusion;  // SQL condition, empty when the key keeps every record
};

// The values an integer field type holds: byte 0..255, short and long as
// 16- and 32-bit signed, DECIMAL(9,2) as ±9,999,999.99 in hundredths.
struct IntegerRange {
  int64_t min;
  int64_t max;
};
std::optional<IntegerRange> integerRange(FieldType type);
bool isTextType(FieldType type);

struct TableDef {
  std::string label;          // "INBA"
  std::string prefix;         // "INB"
  std::string fileName;       // "DATA4"
  std::string storeName;      // SQL table inside the file, shared by two labels on one file
  bool settingsRole = false;  // owned by the settings password instead of the data one
  bool stationFile = false;   // downloaded by each station: a file in its folder even when the tables are on a server
  std::vector<FieldDef> fields;
  std::vector<KeyDef> keys;
  std::vector<RangeCheck> checks;

  // Derived by finish().
  std::vector<Column> columns;
  std::vector<ResolvedKey> resolvedKeys;
  std::vector<int> foldedSlots;                     // slots that have a folded column, in column order
  std::vector<int> firstSlots;                      // each field's first column
  int userSlot = -1, dateSlot = -1, timeSlot = -1;  // the audit fields USUA, ACFE, ACHO

  void finish();
  // Slot of a field element; the name may carry the prefix ("INB:COST").
  // Returns -1 when there is no such field.
  int slot(std::string_view field, int element = 1) const;
  int keyIndex(std::string_view keyName) const;  // -1 when unknown
  bool hasField(std::string_view field) const { return slot(field) >= 0; }
  std::string qualified(std::string_view name) const { return prefix + ":" + std::string(name); }
};

// Delete rules of a relation.
enum class DeleteRule { kNone, kClear, kRestrict, kCascade };

struct RelationDef {
  std::string parent;       // "COBA"
  std::string child;        // "INCO"
  std::string parentField;  // "CTA"
  std::string childField;   // "CTA"
  std::string childKey;     // "CTA_KEY"
  DeleteRule onDelete = DeleteRule::kNone;
  // The child's link is an analysis-line number whose integer part is the
  // parent's account: every line nnn.00 .. nnn.99 belongs to parent nnn.
  bool linkIsLineOwner = false;
};

}  // namespace velmora::tables

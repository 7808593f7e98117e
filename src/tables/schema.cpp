#include "tables/schema.h"

#include <cstdint>

#include <algorithm>

namespace velmora::tables {
namespace {

std::string ident(const std::string& name) { return "\"" + name + "\""; }

std::string_view bareName(std::string_view field) {
  const auto colon = field.find(':');
  return colon == std::string_view::npos ? field : field.substr(colon + 1);
}

}  // namespace

void TableDef::finish() {
  columns.clear();
  firstSlots.clear();
  for (int f = 0; f < static_cast<int>(fields.size()); ++f) {
    const FieldDef& fd = fields[f];
    firstSlots.push_back(static_cast<int>(columns.size()));
    for (int e = 1; e <= fd.count; ++e) {
      std::string name = fd.count == 1 ? fd.name : fd.name + "_" + std::to_string(e);
      columns.push_back({name, f, e, fd.type, fd.size});
    }
  }
  userSlot = slot("USUA");
  dateSlot = slot("ACFE");
  timeSlot = slot("ACHO");
  resolvedKeys.clear();
  foldedSlots.clear();
  for (const KeyDef& k : keys) {
    ResolvedKey rk;
    rk.indexName = storeName + "_" + k.name;
    std::string exclusion;
    for (const auto& component : k.components) {
      const int s = slot(component);
      rk.componentSlots.push_back(s);
      const Column& c = columns[s];
      const bool folded = (k.flags & kCaseInsensitive) && isTextType(c.type);
      if (folded && std::find(foldedSlots.begin(), foldedSlots.end(), s) == foldedSlots.end()) {
        foldedSlots.push_back(s);
      }
      rk.folded.push_back(folded);
      rk.sqlColumns.push_back(ident(folded ? c.name + "_F" : c.name));
      if (!exclusion.empty()) exclusion += " OR ";
      exclusion += ident(c.name) + (isTextType(c.type) ? " <> ''" : " <> 0");
    }
    if (k.flags & kEmptyExcluded) rk.emptyExclusion = "(" + exclusion + ")";
    resolvedKeys.push_back(std::move(rk));
  }
}

int TableDef::slot(std::string_view field, int element) const {
  // A field's elements are consecutive columns.
  const std::string_view name = bareName(field);
  for (size_t f = 0; f < fields.size(); ++f) {
    if (fields[f].name == name) return element >= 1 && element <= fields[f].count ? firstSlots[f] + element - 1 : -1;
  }
  return -1;
}

int TableDef::keyIndex(std::string_view keyName) const {
  const std::string_view name = bareName(keyName);
  for (int i = 0; i < static_cast<int>(keys.size()); ++i) {
    if (keys[i].name == name) return i;
  }
  return -1;
}

std::optional<IntegerRange> integerRange(FieldType type) {
  switch (type) {
    case FieldType::kByte: return IntegerRange{0, 255};
    case FieldType::kShort: return IntegerRange{-32768, 32767};
    case FieldType::kLong: return IntegerRange{INT32_MIN, INT32_MAX};
    case FieldType::kDecimal92: return IntegerRange{-999999999, 999999999};
    default: return std::nullopt;
  }
}

bool isTextType(FieldType t) { return t == FieldType::kString || t == FieldType::kCString || t == FieldType::kMemo; }

}  // namespace velmora::tables

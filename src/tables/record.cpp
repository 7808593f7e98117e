#include "tables/record.h"

#include <string>

#include "framework/text.h"

namespace velmora::tables {

Record::Record(const TableDef& def) : def_(&def), values_(def.columns.size()) {}

void Record::clear() {
  for (auto& v : values_) v = Value{};
}

int Record::need(std::string_view field, int element) const {
  const int s = def_->slot(field, element);
  if (s < 0)  // a misspelt field name is a programming error, found by any test
    throw UnknownName("campo desconocido " + def_->prefix + ":" + std::string(field) + "[" + std::to_string(element) +
                      "] de la tabla " + def_->label);
  return s;
}

int64_t Record::integer(std::string_view field, int element) const { return values_[need(field, element)].i; }
double Record::real(std::string_view field, int element) const { return values_[need(field, element)].r; }
const std::string& Record::text(std::string_view field, int element) const { return values_[need(field, element)].s; }

void Record::setInteger(std::string_view field, int64_t value, int element) {
  setIntegerAt(need(field, element), value);
}
void Record::setReal(std::string_view field, double value, int element) { values_[need(field, element)].r = value; }
void Record::setText(std::string_view field, std::string_view value, int element) {
  setTextAt(need(field, element), value);
}

// The value is kept as given; a value beyond its field's range is refused
// when the record is written (Table::insert/update), never wrapped.
void Record::setIntegerAt(int slot, int64_t value) { values_[slot].i = value; }

void Record::setTextAt(int slot, std::string_view value) {
  const Column& c = def_->columns[slot];
  std::string clean;
  if (text::holdsControlCharacters(value))
    value = clean = text::withoutControlCharacters(value, c.type == FieldType::kMemo);
  // A CSTRING(n) holds n-1 characters before its terminating zero.
  const size_t limit = c.type == FieldType::kCString ? c.size - 1 : c.size;
  // No more bytes than the limit: no more characters either, nothing to cut.
  std::string cut;
  std::string_view kept = value;
  if (kept.size() > limit) kept = cut = text::truncateChars(value, limit);
  while (!kept.empty() && kept.back() == ' ') kept.remove_suffix(1);
  values_[slot].s.assign(kept);
}

bool Record::cleanStoredTexts() {
  bool changed = false;
  for (size_t slot = 0; slot < values_.size(); ++slot) {
    if (!isTextType(def_->columns[slot].type) || !text::holdsControlCharacters(values_[slot].s)) continue;
    const std::string before = values_[slot].s;
    setTextAt(static_cast<int>(slot), before);
    changed |= values_[slot].s != before;
  }
  return changed;
}

bool Record::operator==(const Record& other) const { return def_ == other.def_ && values_ == other.values_; }

void bindSlot(Statement& s, int param, const Record& r, int slot) {
  const FieldType t = r.def().columns[slot].type;
  if (isTextType(t)) s.bind(param, std::string_view(r.textAt(slot)));
  else if (t == FieldType::kReal) s.bind(param, r.realAt(slot));
  else s.bind(param, r.integerAt(slot));
}

}  // namespace velmora::tables

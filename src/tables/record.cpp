#include "tables/record.h"

#include <cstdio>
#include <cstdlib>

#include "framework/text.h"

namespace velmora::tables {

Record::Record(const TableDef& def) : def_(&def), values_(def.columns.size()) {}

void Record::clear() {
  for (auto& v : values_) v = Value{};
}

int Record::need(std::string_view field, int element) const {
  const int s = def_->slot(field, element);
  if (s < 0) {  // a misspelt field name is a programming error, found by any test
    std::fprintf(stderr, "campo desconocido %s:%.*s[%d]\n", def_->prefix.c_str(),
                 static_cast<int>(field.size()), field.data(), element);
    std::abort();
  }
  return s;
}

int64_t Record::integer(std::string_view field, int element) const {
  return values_[need(field, element)].i;
}
double Record::real(std::string_view field, int element) const {
  return values_[need(field, element)].r;
}
const std::string& Record::text(std::string_view field, int element) const {
  return values_[need(field, element)].s;
}

void Record::setInteger(std::string_view field, int64_t value, int element) {
  setIntegerAt(need(field, element), value);
}
void Record::setReal(std::string_view field, double value, int element) {
  values_[need(field, element)].r = value;
}
void Record::setText(std::string_view field, std::string_view value, int element) {
  setTextAt(need(field, element), value);
}

void Record::setIntegerAt(int slot, int64_t value) {
  switch (def_->columns[slot].type) {
    case FieldType::kByte:
      value = static_cast<uint8_t>(value);
      break;
    case FieldType::kShort:
      value = static_cast<int16_t>(value);
      break;
    case FieldType::kLong:
      value = static_cast<int32_t>(value);
      break;
    case FieldType::kDecimal92:  // 9 digits: at most 9999999.99
      if (value > 999999999) value = 999999999;
      if (value < -999999999) value = -999999999;
      break;
    default:
      break;
  }
  values_[slot].i = value;
}

void Record::setTextAt(int slot, std::string_view value) {
  const Column& c = def_->columns[slot];
  // A CSTRING(n) holds n-1 characters before its terminating zero.
  const size_t limit = c.type == FieldType::kCString ? c.size - 1 : c.size;
  values_[slot].s = text::clip(text::truncateChars(value, limit));
}

bool Record::operator==(const Record& other) const {
  return def_ == other.def_ && values_ == other.values_;
}

}  // namespace velmora::tables

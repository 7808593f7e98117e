// Record: the buffer of one table's record, laid out by its TableDef.
//
// Fields are reached by name ("INB:COST" or "COST", with an element number for
// arrays) or, in hot loops, by slot (TableDef::slot). Setting a value applies
// the field's type: texts are cut to their length and stored without trailing
// blanks, integers wrap to their width, DECIMAL(9,2) is held in hundredths.
//
// Thread rules: a plain value; not shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <stdexcept>

#include "tables/schema.h"
#include "tables/statement.h"

namespace velmora::tables {

// A field or table name that the catalogue does not define: a mistake of the
// calling code, not of the data. It is thrown (the accessors return values,
// not statuses) and caught where the work started (a command's main, the
// window's run), which report it and go on or end with a failure status;
// the program never ends itself behind its caller's back.
class UnknownName : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A record buffer: one value per field of its table. Naming a field the
// table does not have throws UnknownName.
class Record {
 public:
  explicit Record(const TableDef& def);

  const TableDef& def() const { return *def_; }
  void clear();

  int64_t integer(std::string_view field, int element = 1) const;
  double real(std::string_view field, int element = 1) const;
  const std::string& text(std::string_view field, int element = 1) const;
  // DECIMAL(9,2) in hundredths: line 125.03 is 12503.
  int64_t hundredths(std::string_view field) const { return integer(field); }

  void setInteger(std::string_view field, int64_t value, int element = 1);
  void setReal(std::string_view field, double value, int element = 1);
  void setText(std::string_view field, std::string_view value, int element = 1);

  // Slot access (see TableDef::slot).
  int64_t integerAt(int slot) const { return values_[slot].i; }
  double realAt(int slot) const { return values_[slot].r; }
  const std::string& textAt(int slot) const { return values_[slot].s; }
  void setIntegerAt(int slot, int64_t value);
  void setRealAt(int slot, double value) { values_[slot].r = value; }
  // Texts are kept without control characters (one-line fields turn a tab
  // or a line break into a blank; memos keep them): a server cuts a text at
  // a NUL byte that a file keeps whole, and the two must hold the same.
  void setTextAt(int slot, std::string_view value);
  // Sets every text again by setTextAt's rule: a record stored before that
  // rule loses its control characters. Whether any text changed.
  bool cleanStoredTexts();
  // Takes a stored text as it is (it was cut and clipped when written).
  void assignStoredTextAt(int slot, const char* data, size_t size) { values_[slot].s.assign(data, size); }

  bool operator==(const Record& other) const;

 private:
  struct Value {
    int64_t i = 0;
    double r = 0;
    std::string s;
    bool operator==(const Value&) const = default;
  };
  int need(std::string_view field, int element) const;

  const TableDef* def_;
  std::vector<Value> values_;
};

// Binds slot `slot` of `r` to parameter `param` of `s`, typed as its column.
void bindSlot(Statement& s, int param, const Record& r, int slot);

}  // namespace velmora::tables

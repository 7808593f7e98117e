// One row of a scan, as the callers of the table layer read it: its columns
// in the order they were named (Table::scanColumns, readRangeColumns). It
// says nothing of the engine behind it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::tables {

class Row {
 public:
  virtual int64_t integer(int col) const = 0;
  virtual double real(int col) const = 0;
  virtual std::string text(int col) const = 0;
  // What a column holds as stored, whatever the table declares: a file from
  // outside may hold a text or a blob where a price should be.
  virtual bool holdsInteger(int col) const = 0;
  virtual bool holdsNumber(int col) const = 0;

 protected:
  ~Row() = default;
};

}  // namespace velmora::tables

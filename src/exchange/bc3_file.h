// FIEBDC-3 ("BC3"), the open text format in which estimating programs of
// Spanish-speaking countries exchange price databases: the records that carry
// a catalogue, read from and written to bytes, with no knowledge of our
// tables.
//
//   ~V  the file's properties: version, program, character set
//   ~K  the decimals of quantities and prices
//   ~C  a concept: code(s), unit, summary, price, date, type
//   ~D  a decomposition: the children of a concept, each with factor and
//       quantity
//   ~T  a concept's long text
//
// A record starts at '~' and runs to the next one; fields are separated by
// '|' and sub-fields by '\'. A code ending in '#' is a chapter, in '##' the
// root. A code with '%' is a percentage, whose factor in a decomposition is
// a fraction ("%CI\1\0.03" is 3 %). Measurements (~M, ~N) are counted, not
// kept; other records (parameters...) are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/status.h"

namespace velmora::exchange {

enum class Bc3Charset { kAnsi, k850, k437, kUtf8 };

struct Bc3Child {
  std::string code;
  double factor = 1;
  double quantity = 1;
  int marks = 0;  // a chapter's '#', as written after its code
};

struct Bc3Concept {
  std::string code;                   // without its '#' marks
  std::vector<std::string> synonyms;  // further codes of the same concept
  int marks = 0;                      // 1 a chapter ('#'), 2 the root ('##')
  std::string unit, summary;
  double price = 0;
  int32_t date = 0;  // day number; 0 when the record gives none
  int type = 0;      // 0 unclassified, 1 labour, 2 machinery, 3 material
  std::string longText;
  std::vector<Bc3Child> children;
  size_t line = 0;          // the line of its ~C record
  size_t childrenLine = 0;  // the line of its ~D record
};

struct Bc3File {
  Bc3Charset charset = Bc3Charset::kAnsi;
  std::string program;      // who wrote it (~V)
  size_t measurements = 0;  // ~M and ~N records read, which a catalogue does not keep
  size_t firstMeasurementLine = 0;
  int quantityDecimals = 3;  // ~K
  int priceDecimals = 2;
  std::vector<Bc3Concept> concepts;                // in the order of their ~C records
  std::unordered_map<std::string, size_t> byCode;  // filled by readBc3

  const Bc3Concept* find(const std::string& code) const;
};

// What a reader accepts at most: beyond these a file is refused, naming the
// line, rather than eating memory.
inline constexpr size_t kBc3MaxBytes = 256u << 20;
inline constexpr size_t kBc3MaxCodeChars = 20;
inline constexpr size_t kBc3MaxChildren = 10000;

// Reads a whole file. Errors say "línea N: ..." in Spanish. Texts come back
// in UTF-8 whatever the file's character set (~V: ANSI, 850, 437; 850 when
// not said). A file with NUL bytes (UTF-16, or not text at all) or without
// any ~C record is refused.
Status readBc3(std::string_view bytes, Bc3File* file);

// Writes the records of `file` in Windows-1252 ("ANSI"), one per line; a
// concept's ~D and ~T follow its ~C. Prices are written rounded to the
// file's price decimals and factors to its quantity decimals, as the ~K
// record declares them.
std::string writeBc3(const Bc3File& file);

// "DDMMAAAA" (also "DDMMAA", years 80-99 being 19xx, and a day without its
// leading zero) as a day number; 0 for an empty text, -1 for a bad one.
int32_t parseBc3Date(std::string_view text);
std::string formatBc3Date(int32_t day);

}  // namespace velmora::exchange

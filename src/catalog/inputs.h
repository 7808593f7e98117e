// The rules of the base-input form and list that are not screens: price
// dates, the percentage kinds, the word filter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tables/record.h"
#include "tables/table.h"

namespace velmora::catalog {

// Input kinds the form offers, with their labels.
struct KindLabel {
  int kind;
  const char* label;
};
inline constexpr KindLabel kInputKinds[] = {
    {3, "Material"}, {4, "Mano de obra"}, {5, "% sobre Material"}, {6, "% sobre Mano de Obra"}};

// Accepting a new price for zone k (1 to 5) dates it today; an unchanged
// price keeps its date.
void acceptZonePrice(tables::Record& input, int zone, double price, int32_t today);

// The highest unit price a price list may take from outside (an update, a
// supplier's list): anything above is a damaged or hostile file, never a price.
inline constexpr double kMaxOutsidePrice = 1e9;
// What is wrong with a price or a date that comes from outside, in Spanish;
// empty when it may go into a price list (a price by money::priceProblem,
// from 0 to the ceiling; a day number from 0, no date, to 31/12/9999).
std::string outsidePriceProblem(double price);
std::string outsideDateProblem(int64_t day);

// Inputs of kind 5 and 6 carry no price: all five prices and dates become 0.
void clearPercentageKinds(tables::Record& input);

// The "x PALABRA" filter: the word (trailing blanks removed) inside the first
// or the second description line, letter case significant. An empty word
// matches every record.
std::vector<tables::Condition> wordFilter(const std::string& word, const std::string& firstLine = "TEXT",
                                          const std::string& secondLine = "TEX1");

// Whether generic key `code` exists for `type` ("I", "C" or "H"), or its
// read failed; a blank code needs no key (found).
tables::Found genericKeyExists(tables::Table& clag, const std::string& type, const std::string& code);

}  // namespace velmora::catalog

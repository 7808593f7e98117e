#include "catalog/inputs.h"
#include "framework/dates.h"

#include <cmath>

#include "framework/money.h"
#include "framework/text.h"

namespace velmora::catalog {

void acceptZonePrice(tables::Record& input, int zone, double price, int32_t today) {
  if (input.real("COST", zone) == price) return;
  input.setReal("COST", price, zone);
  input.setInteger("FECH", today, zone);
}

std::string outsidePriceProblem(double price) {
  if (std::string why = money::priceProblem(price); !why.empty()) return why;
  if (price < 0) return "precio negativo (" + text::formatFixed(price, 2) + ")";
  // The limit, not the number: a hostile file's number may have hundreds of digits.
  if (price > kMaxOutsidePrice) return "precio desmedido (mayor que " + text::formatFixed(kMaxOutsidePrice, 2) + ")";
  return {};
}

std::string outsideDateProblem(int64_t day) {
  static const int64_t kLastDay = dates::dayNumber(9999, 12, 31);
  if (day < 0 || day > kLastDay) return "fecha no válida (" + std::to_string(day) + ")";
  return {};
}

void clearPercentageKinds(tables::Record& input) {
  if (input.integer("TIPO") <= 4) return;
  for (int z = 1; z <= 5; ++z) {
    input.setReal("COST", 0, z);
    input.setInteger("FECH", 0, z);
  }
}

std::vector<tables::Condition> wordFilter(const std::string& word, const std::string& firstLine,
                                          const std::string& secondLine) {
  const std::string clipped = text::clip(word);
  if (clipped.empty()) return {};
  tables::Condition c{firstLine, 1, tables::Condition::Op::kContains, clipped};
  c.caseSensitive = true;
  c.orField = secondLine;
  return {c};
}

tables::Found genericKeyExists(tables::Table& clag, const std::string& type, const std::string& code) {
  if (text::clip(code).empty()) return Status::ok();
  clag.rec().clear();
  clag.rec().setText("TIPO", type);
  clag.rec().setText("CTA", code);
  return clag.fetch(clag.keyIndex("CLG:CTA_KEY"));
}

}  // namespace velmora::catalog

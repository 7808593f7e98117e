// The economic proposal's catalogue: every budget row at sale price, its
// section subtotals, the total, the VAT and the total with VAT, as values a
// report, a command or a workbook prints.
#pragma once

#include <cstdint>
#include <vector>

#include "tender/factor.h"
#include "works/budget.h"

namespace velmora::tender {

// A row of the proposal, in cents. A concept has its printed direct unit
// cost, its sale unit price (direct × factor, rounded once) and its amount
// (quantity × sale price, rounded once); a subtotal has the sum of the
// printed amounts since the last title; a title has nothing.
struct ProposalRow {
  int32_t account = 0;
  char kind = works::row_kind::kConcept;
  double quantity = 0;
  int64_t directUnit = 0;
  int64_t saleUnit = 0;
  int64_t amount = 0;
};

struct Proposal {
  Factor factor;
  std::vector<ProposalRow> rows;
  int64_t directCost = 0;    // the budget's "COSTO DIRECTO:", the sum of its printed amounts
  int64_t total = 0;         // the sum of the printed sale amounts
  int64_t vat = 0;           // on the total, once
  int64_t totalWithVat = 0;  // total + vat
};

// The proposal of `rows` (in account order) priced by `factor`, with VAT at
// `vatPercent`.
Proposal proposal(const std::vector<works::BudgetRow>& rows, const Factor& factor, double vatPercent);

}  // namespace velmora::tender

#include "tender/proposal.h"

#include "framework/money.h"

namespace velmora::tender {

Proposal proposal(const std::vector<works::BudgetRow>& rows, const Factor& factor, double vatPercent) {
  Proposal p;
  p.factor = factor;
  p.rows.reserve(rows.size());
  int64_t section = 0;
  for (const works::BudgetRow& r : rows) {
    ProposalRow row;
    row.account = r.account;
    row.kind = r.kind;
    if (r.kind == works::row_kind::kTitle) {
      section = 0;
    } else if (r.kind == works::row_kind::kSubtotal) {
      row.amount = section;  // only a title restarts the running subtotal, as in the budget
    } else {
      row.quantity = r.quantity;
      const works::RowMoney direct = works::rowMoney(r.perUnit, r.quantity);
      row.directUnit = direct.unitPrice;
      row.saleUnit = saleUnitPrice(direct.unitPrice, factor);
      row.amount = money::cents(money::fromCents(row.saleUnit) * r.quantity);
      section += row.amount;
      p.directCost += direct.amount;
      p.total += row.amount;
    }
    p.rows.push_back(row);
  }
  p.vat = money::percentOf(p.total, vatPercent);
  p.totalWithVat = p.total + p.vat;
  return p;
}

}  // namespace velmora::tender

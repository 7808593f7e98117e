#include "catalog/analysis.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"

namespace velmora::catalog {

void refreshLine(EditedLine& line) {
  switch (line.category) {
    case category::kBasic:
      line.amount = line.price * line.quantity;
      line.split = line.basicUnit.scaled(line.quantity);
      break;
    case category::kMachine:
      line.amount = line.price * line.quantity;
      line.split = {0, 0, line.amount, 0};
      break;
    case category::kPercentOfMaterials:
    case category::kPercentOfLabour: break;  // set by recomputeTotals from the sums so far
    default:
      line.amount = line.price * line.quantity;
      line.split = line.inputKind == 4 ? CostSplit{line.amount, 0, 0, 0} : CostSplit{0, line.amount, 0, 0};
      break;
  }
}

namespace {

std::optional<EditedLine> inputLine(PricingEngine& engine, int32_t account, double quantity) {
  const auto input = engine.linePrice(account, false);
  if (!input) return std::nullopt;
  EditedLine l;
  l.type = 'I';
  l.account = account;
  l.description = text::truncateChars(input->text, 35);
  l.unit = input->unit;
  l.price = input->price;
  l.quantity = quantity;
  l.inputKind = input->kind;
  return l;
}

std::optional<EditedLine> machineLine(PricingEngine& engine, int32_t account, double quantity) {
  const auto machine = engine.machine(account);
  if (!machine) return std::nullopt;
  EditedLine l;
  l.type = 'C';
  l.account = account;
  l.description = text::truncateChars(machine->text, 35);
  l.unit = "HR";
  l.price = engine.hourlyCost(account).total;
  l.quantity = quantity;
  l.category = category::kMachine;
  return l;
}

std::optional<EditedLine> basicLine(PricingEngine& engine, int32_t account, double quantity) {
  const auto info = engine.conceptInfo(account);
  if (!info) return std::nullopt;
  EditedLine l;
  l.type = 'B';
  l.account = account;
  l.description = text::truncateChars(info->description, 35);
  l.unit = info->unit;
  l.basicUnit = engine.priceConcept(account);
  l.price = l.basicUnit.unitPrice();
  l.quantity = quantity;
  l.category = category::kBasic;
  return l;
}

EditedLine percentLine(int category, double quantity) {
  EditedLine l;
  l.type = 'I';
  l.category = category;
  l.quantity = quantity;
  l.unit = "%";
  l.description = category == category::kPercentOfMaterials ? "% SOBRE MATERIALES" : "% SOBRE MANO DE OBRA";
  return l;
}

}  // namespace

std::vector<EditedLine> loadConceptLines(PricingEngine& engine, int32_t account) {
  // Every stored line, gaps and repeated numbers included: saving rewrites
  // exactly what was loaded, so nothing stored is lost.
  return loadLines(engine, engine.catalogueLines(account));
}

std::vector<EditedLine> loadLines(PricingEngine& engine, const std::vector<Line>& lines) {
  std::vector<EditedLine> out;
  for (const Line& stored : lines) {
    std::optional<EditedLine> l;
    switch (stored.category) {
      case category::kBasic: l = basicLine(engine, stored.component, stored.quantity); break;
      case category::kMachine: l = machineLine(engine, stored.component, stored.quantity); break;
      case category::kPercentOfMaterials:
      case category::kPercentOfLabour: l = percentLine(stored.category, stored.quantity); break;
      default:
        l = inputLine(engine, stored.component, stored.quantity);
        if (l) l->category = l->inputKind;  // an input line shows its input's kind
        break;
    }
    if (!l) {  // a component that no longer exists shows with no price
      l = EditedLine{};
      l->type = stored.category == category::kBasic ? 'B' : stored.category == category::kMachine ? 'C' : 'I';
      l->account = stored.component;
      l->description = "(NO EXISTE)";
      l->quantity = stored.quantity;
      l->category = stored.category;
    }
    refreshLine(*l);
    out.push_back(*l);
  }
  return out;
}

std::optional<EditedLine> completeLine(PricingEngine& engine, char type, int32_t account, double quantity,
                                       int percentCategory) {
  std::optional<EditedLine> l;
  if (percentCategory == category::kPercentOfMaterials || percentCategory == category::kPercentOfLabour) {
    l = percentLine(percentCategory, quantity);
  } else if (type == 'B') {
    l = basicLine(engine, account, quantity);
  } else if (type == 'C') {
    l = machineLine(engine, account, quantity);
  } else {
    l = inputLine(engine, account, quantity);
    if (l) l->category = category::kMaterial;  // the editor files every input as category 3
  }
  if (l) refreshLine(*l);
  return l;
}

FormTotals recomputeTotals(std::vector<EditedLine>& lines) {
  std::stable_sort(lines.begin(), lines.end(),
                   [](const EditedLine& a, const EditedLine& b) { return a.category < b.category; });
  FormTotals t;
  for (EditedLine& l : lines) {
    if (l.category == category::kPercentOfMaterials || l.category == category::kPercentOfLabour) {
      l.price = l.category == category::kPercentOfMaterials ? t.sums.materials : t.sums.labour;
      l.amount = l.price * l.quantity / 100;
      l.split = {0, 0, 0, l.amount};
    } else {
      refreshLine(l);
    }
    t.sums.add(l.split);
    t.directCost += l.amount;
  }
  return t;
}

namespace {

// `exact` amounts (pesos) in cents that sum to `target`: each rounded by the
// money rule, then the cents missing (or over) given one at a time to the
// amounts whose rounding lost (or gained) the most, the earlier on a tie.
// Amounts of exactly zero get nothing. The sum falls short of `target` only
// when every amount is zero.
std::vector<int64_t> apportion(const std::vector<double>& exact, int64_t target) {
  std::vector<int64_t> out(exact.size());
  int64_t missing = target;
  std::vector<size_t> order;
  for (size_t i = 0; i < exact.size(); ++i) {
    out[i] = money::cents(exact[i]);
    missing -= out[i];
    if (exact[i] != 0) order.push_back(i);
  }
  while (missing != 0 && !order.empty()) {
    const int64_t step = missing > 0 ? 1 : -1;
    const auto lost = [&](size_t i) {
      return (exact[i] * 100 - static_cast<double>(out[i])) * static_cast<double>(step);
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lost(a) > lost(b); });
    for (size_t i : order) {
      if (missing == 0) break;
      out[i] += step;
      missing -= step;
    }
  }
  return out;
}

std::string figure(int64_t cents) {
  std::string s = picture::formatNumber(money::fromCents(cents), "n20.2");
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

}  // namespace

CostSplit PrintedAnalysis::partsAsMoney() const {
  return {money::fromCents(parts[0]), money::fromCents(parts[1]), money::fromCents(parts[2]),
          money::fromCents(parts[3])};
}

Status printedAnalysis(PricingEngine& engine, const std::vector<Line>& stored, int32_t account,
                       const std::optional<CostSplit>& unitParts, PrintedAnalysis* out) {
  // The lines the pricing reads, priced as it prices them.
  const std::vector<Line> priced = PricingEngine::contiguous(stored, account);
  std::vector<LineContribution> each;
  const CostSplit pricedParts = engine.priceLines(priced, &each);
  const CostSplit parts = unitParts ? *unitParts : pricedParts;
  if (Status s = engine.openStatus(); !s) return s;
  std::vector<EditedLine> shown = loadLines(engine, priced);

  PrintedAnalysis a;
  const double partFigures[4] = {parts.labour, parts.materials, parts.equipment, parts.percentages};
  const auto partOf = [](const CostSplit& c, int k) {
    return k == 0 ? c.labour : k == 1 ? c.materials : k == 2 ? c.equipment : c.percentages;
  };
  for (int k = 0; k < 4; ++k) a.parts[k] = money::cents(partFigures[k]);
  std::vector<PrintedLine> lines(each.size());
  for (int k = 0; k < 4; ++k) {
    std::vector<double> exact(each.size());
    int64_t rounded = 0;
    size_t counted = 0;
    for (size_t i = 0; i < each.size(); ++i) {
      exact[i] = partOf(each[i].added, k);
      rounded += money::cents(exact[i]);
      if (exact[i] != 0) ++counted;
    }
    // Rounding moves each line by a cent at most, and the part by half a
    // cent: anything further means figures that are not these lines'.
    const int64_t gap = a.parts[k] - rounded;
    if (static_cast<size_t>(std::llabs(gap)) > counted + 1 || (counted == 0 && gap != 0)) {
      return Status::error(Status::Code::kInvalid,
                           "el precio unitario de la partida " + std::to_string(account) + " (" +
                               figure(a.directCost()) + ") no es el que dan sus líneas con los precios actuales (" +
                               figure(money::cents(pricedParts.unitPrice())) + "): recalcule la obra");
    }
    const std::vector<int64_t> split = apportion(exact, a.parts[k]);
    for (size_t i = 0; i < each.size(); ++i) {
      lines[i].split[k] = split[i];
      lines[i].amount += split[i];
    }
  }
  for (size_t i = 0; i < each.size(); ++i) {
    lines[i].line = shown[i];
    lines[i].price = money::cents(each[i].price);
  }
  a.lines = std::move(lines);
  std::stable_sort(a.lines.begin(), a.lines.end(),
                   [](const PrintedLine& x, const PrintedLine& y) { return x.line.category < y.line.category; });
  *out = std::move(a);
  return Status::ok();
}

Status removeLines(tables::Table& lines, int32_t account) {
  std::vector<int64_t> ids;
  tables::Record from(lines.def()), to(lines.def());
  linesOfConcept(account, from, to);
  if (Status s = lines.readRange(lines.keyIndex("CTA_KEY"), from, to,
                                 [&ids, &lines](const tables::Record&) {
                                   ids.push_back(lines.recordId());
                                   return true;
                                 });
      !s) {
    return s;
  }
  for (int64_t id : ids) {
    if (Status s = lines.fetchById(id); !s) return s;
    if (Status s = lines.remove(); !s) return s;
  }
  return Status::ok();
}

namespace {

// Writes the edited lines of `account`, numbered .00, .01, ... in category
// order, over whatever was stored; no transaction of its own.
Status writeLines(tables::Table& lines, int32_t account, std::vector<EditedLine> edited) {
  if (edited.size() > kMaxLines) return Status::error(Status::Code::kInvalid, "más de 100 líneas");
  std::stable_sort(edited.begin(), edited.end(),
                   [](const EditedLine& a, const EditedLine& b) { return a.category < b.category; });
  if (Status s = removeLines(lines, account); !s) return s;
  int n = 0;
  for (const EditedLine& l : edited) {
    setLine(lines.rec(), {static_cast<int64_t>(account) * 100 + n++, l.account, l.category, l.quantity});
    if (Status s = lines.insert(); !s) return s;
  }
  return Status::ok();
}

}  // namespace

bool closesLoop(PricingEngine& engine, int32_t owner, int32_t basic) {
  std::vector<int32_t> pending{basic};
  std::unordered_set<int32_t> seen;
  while (!pending.empty()) {
    const int32_t b = pending.back();
    pending.pop_back();
    if (b == owner) return true;
    if (!seen.insert(b).second) continue;
    for (const Line& l : engine.catalogueLines(b))
      if (l.category == category::kBasic) pending.push_back(l.component);
  }
  return false;
}

Status saveLines(tables::Table& lines, int32_t account, std::vector<EditedLine> edited) {
  if (Status s = lines.begin(); !s) return s;
  if (Status s = writeLines(lines, account, std::move(edited)); !s) {
    lines.rollback();
    return s;
  }
  return lines.commit();
}

Status writeAnalysis(tables::Table& heads, bool inserting, int32_t previousAccount, tables::Table& lines,
                     std::vector<EditedLine> edited) {
  if (Status s = inserting ? heads.insert() : heads.update(); !s) return s;
  const auto account = static_cast<int32_t>(heads.rec().integer("CTA"));
  if (!inserting && previousAccount != account) {
    if (Status s = removeLines(lines, previousAccount); !s) return s;
  }
  return writeLines(lines, account, std::move(edited));
}

Status saveAnalysis(tables::Table& heads, bool inserting, int32_t previousAccount, tables::Table& lines,
                    std::vector<EditedLine> edited) {
  if (edited.size() > kMaxLines) return Status::error(Status::Code::kInvalid, "más de 100 líneas");
  if (Status s = lines.shareConnectionOf(heads); !s) return s;
  const tables::Record typed = heads.rec();
  if (Status s = heads.begin(); !s) return s;
  if (Status s = writeAnalysis(heads, inserting, previousAccount, lines, std::move(edited)); !s) {
    heads.rollback();
    if (!s.is(Status::Code::kConflict)) heads.rec() = typed;  // a conflict shows the other station's values
    return s;
  }
  return heads.commit();
}

}  // namespace velmora::catalog

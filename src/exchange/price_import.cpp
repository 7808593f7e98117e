#include "exchange/price_import.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "catalog/inputs.h"
#include "exchange/xlsx_reader.h"
#include "framework/dates.h"
#include "framework/picture.h"
#include "framework/text.h"

namespace velmora::exchange {

namespace {

// A date cell: a serial number, or "dd/mm/aaaa". 0 for none, -1 when bad.
int32_t cellDate(const Cell& c) {
  if (c.empty()) return 0;
  if (c.uncalculated()) return -1;
  if (c.kind == Cell::Kind::kNumber) return dayFromSerial(c.number) > 0 ? dayFromSerial(c.number) : -1;
  const auto day = picture::parseDate(c.text);
  return day && catalog::outsideDateProblem(*day).empty() ? *day : -1;
}

}  // namespace

PriceColumns guessPriceColumns(const SheetData& sheet) {
  for (size_t r = 0; r < std::min<size_t>(30, sheet.rows.size()); ++r) {
    PriceColumns c;
    for (const auto& [i, cell] : sheet.rows[r].cells()) {
      if (cell.kind != Cell::Kind::kText) continue;
      const std::string h = headerWords(cell.text);
      if (!c.account && (h == "CUENTA" || h == "CTA" || h == "NO CTA" || h == "NO. CTA")) c.account = i;
      else if (!c.genericKey && (h == "GENERICO" || h == "GENE" || h == "CLAVE GENERICA")) c.genericKey = i;
      else if (!c.key && (h == "CLAVE" || h == "LLAVE" || h == "CODIGO")) c.key = i;
      else if (!c.price &&
               (h == "PRECIO" || h == "P.U." || h == "PU" || h == "COSTO" || h == "PRECIO UNITARIO" || h == "IMPORTE"))
        c.price = i;
      else if (!c.date && (h == "FECHA" || h == "FECHA DE PRECIO")) c.date = i;
    }
    if (c.price && (c.account || c.key)) {
      c.headerRows = r + 1;
      return c;
    }
  }
  return {};
}

bool parsePriceColumns(const std::string& mapping, PriceColumns* columns, std::string* why) {
  PriceColumns c;
  c.headerRows = columns->headerRows;
  if (!parseColumnMapping(mapping,
                          {{"CUENTA", &c.account},
                           {"GENERICO", &c.genericKey},
                           {"CLAVE", &c.key},
                           {"PRECIO", &c.price},
                           {"FECHA", &c.date}},
                          "precio=D", why))
    return false;
  *columns = c;
  return true;
}

std::string rowsAccount(const PricePlan& plan) {
  const auto counted = [](size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  return counted(plan.rowsRead, "fila leída", "filas leídas") + ": " + std::to_string(plan.changes.size()) +
         " con precio nuevo, " + std::to_string(plan.unchanged) + " sin cambio, " +
         std::to_string(plan.unmatched.size()) + " sin insumo, " +
         counted(plan.refused.size(), "rechazada", "rechazadas") + ", " + std::to_string(plan.blank) + " en blanco";
}

Status planPriceImport(const tables::Installation& inst, ErrorReporter& errors, const SheetData& sheet,
                       const PriceColumns& columns, int list, int32_t date, PricePlan* plan) {
  *plan = {};
  if (list < 1 || list > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  if (!columns.price) return Status::error(Status::Code::kInvalid, "no se sabe qué columna tiene el precio");
  if (!columns.account && !columns.key)
    return Status::error(Status::Code::kInvalid, "no se sabe qué columna tiene la cuenta o la clave de los insumos");
  // The inputs, read in one pass (one read of the file, however long the
  // list): by account, and by their folded generic key and key.
  struct Stored {
    int64_t id, version;
    int32_t account;
    std::string description;
    double price;
    int32_t date;
  };
  std::vector<Stored> inputs;
  std::unordered_map<int64_t, size_t> byAccount;
  std::unordered_map<std::string, std::vector<size_t>> byKey;
  const auto keyOf = [](const std::string& generic, const std::string& key) {
    return text::foldKey(text::clip(generic)) + '\x1f' + text::foldKey(text::clip(key));
  };
  {
    auto inba = inst.table("INBA", errors);
    if (Status s = inba->open(); !s) return s;
    tables::Record lo(inba->def()), hi(inba->def());
    lo.setInteger("CTA", INT32_MIN);
    hi.setInteger("CTA", INT32_MAX);
    const bool keys = columns.key.has_value();  // the keys are folded only when a row may need them
    std::vector<std::string> fields = {
        "_id", "_ver", "CTA", "TEXT", "COST[" + std::to_string(list) + "]", "FECH[" + std::to_string(list) + "]"};
    if (keys) fields.insert(fields.end(), {"GENE_F", "LLAV_F"});  // stored folded, as keyOf folds
    const Status s = inba->readRangeColumns(inba->keyIndex("CTA_KEY"), lo, hi, fields, [&](const tables::Row& r) {
      byAccount[r.integer(2)] = inputs.size();
      if (keys) byKey[r.text(6) + '\x1f' + r.text(7)].push_back(inputs.size());
      inputs.push_back({r.integer(0), r.integer(1), static_cast<int32_t>(r.integer(2)), text::clip(r.text(3)),
                        r.real(4), static_cast<int32_t>(r.integer(5))});
      return true;
    });
    if (!s && !s.is(Status::Code::kNotFound)) return s;
  }
  const int32_t today = date > 0 ? date : dates::today();
  // Numbers written as text take the decimal mark their column (or the
  // sheet) writes; one that could be read two ways is refused by its cell.
  const DecimalMark priceMark = decimalMarkOf(sheet, *columns.price, columns.headerRows);
  for (size_t r = columns.headerRows; r < sheet.rows.size(); ++r) {
    ++plan->rowsRead;
    const std::string where = "fila " + std::to_string(r + 1);
    if (sheet.rows[r].blank()) {
      ++plan->blank;
      continue;
    }
    // The input: by account, else by generic key and key.
    std::vector<size_t> found;
    std::string named;
    const Cell& accountCell = columns.account ? sheet.at(r, *columns.account) : Cell{};
    std::optional<double> account;
    if (columns.account && !accountCell.empty()) {
      std::string why;
      account = cellNumber(sheet, r, *columns.account, DecimalMark::kPoint, "la cuenta", &why);
      if (!account && (accountCell.uncalculated() || !columns.key)) {
        plan->refused.push_back(where + ": " + why);
        continue;
      }
    }
    if (account && *account > 0 && *account == std::floor(*account) && *account <= INT32_MAX) {
      named = "cuenta " + std::to_string(static_cast<int64_t>(*account));
      if (auto it = byAccount.find(static_cast<int64_t>(*account)); it != byAccount.end()) found.push_back(it->second);
    } else if (account && !columns.key) {
      plan->refused.push_back(where + ": la cuenta de " + cellName(r, *columns.account) + " no es válida (" +
                              cellText(accountCell) + ")");
      continue;
    } else if (columns.key) {
      std::string generic, key;
      if (columns.genericKey) {
        generic = cellText(sheet.at(r, *columns.genericKey));
        key = cellText(sheet.at(r, *columns.key));
      } else {
        splitKey(cellText(sheet.at(r, *columns.key)), &generic, &key);
      }
      if (generic.empty() && key.empty()) {
        plan->refused.push_back(where + ": sin cuenta ni clave");
        continue;
      }
      named = "clave " + generic + " " + key;
      if (auto it = byKey.find(keyOf(generic, key)); it != byKey.end()) found = it->second;
    } else {
      plan->refused.push_back(where + ": sin cuenta ni clave");
      continue;
    }
    if (found.empty()) {
      plan->unmatched.push_back(where + ": " + named);
      continue;
    }
    if (found.size() > 1) {
      plan->refused.push_back(where + ": la " + named + " es de varios insumos; use la cuenta");
      continue;
    }
    std::string why;
    const auto price = cellNumber(sheet, r, *columns.price, priceMark, "el precio", &why);
    if (!price) {
      plan->refused.push_back(where + ": " + why);
      continue;
    }
    if (std::string problem = catalog::outsidePriceProblem(*price); !problem.empty()) {
      plan->refused.push_back(where + ": " + problem);
      continue;
    }
    const int32_t rowDate = columns.date ? cellDate(sheet.at(r, *columns.date)) : 0;
    if (rowDate < 0) {
      plan->refused.push_back(where + ": fecha no válida en " + cellName(r, *columns.date) + " (" +
                              cellText(sheet.at(r, *columns.date)) + ")");
      continue;
    }
    const Stored& input = inputs[found.front()];
    PriceChange change;
    change.row = r + 1;
    change.account = input.account;
    change.description = input.description;
    change.oldPrice = input.price;
    change.oldDate = input.date;
    change.newPrice = *price;
    change.newDate = rowDate > 0 ? rowDate : today;
    change.id = inputs[found.front()].id;
    change.version = inputs[found.front()].version;
    if (change.newPrice != change.oldPrice || change.newDate != change.oldDate) plan->changes.push_back(change);
    else ++plan->unchanged;
  }
  return Status::ok();
}

Status applyPriceImport(const tables::Installation& inst, ErrorReporter& errors, const PricePlan& plan, int list,
                        int32_t user) {
  if (list < 1 || list > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  if (!plan.refused.empty())
    return Status::error(Status::Code::kInvalid,
                         plan.refused.size() == 1
                             ? "la lista trae 1 fila rechazada y no se importó nada: " + plan.refused.front()
                             : "la lista trae " + std::to_string(plan.refused.size()) +
                                   " filas rechazadas y no se importó nada; la primera: " + plan.refused.front());
  auto inba = inst.table("INBA", errors);
  if (Status s = inba->open(); !s) return s;
  inba->setAuditUser(user);
  const tables::TableDef& def = inba->def();
  const int cost = def.slot("COST", list), when = def.slot("FECH", list);
  const std::vector<std::string> fields = {"COST[" + std::to_string(list) + "]", "FECH[" + std::to_string(list) + "]"};
  if (Status s = inba->begin(); !s) return s;
  const Status written =
      inba->updateStoredFieldsMany(fields, plan.changes.size(), [&](size_t i) -> tables::Table::StoredIdentity {
        const PriceChange& c = plan.changes[i];
        inba->rec().setRealAt(cost, c.newPrice);
        inba->rec().setIntegerAt(when, c.newDate);
        return {c.id, c.version};
      });
  if (!written) {
    inba->rollback();
    return written;
  }
  if (Status s = inba->commit(); !s) {
    inba->rollback();
    return s;
  }
  return Status::ok();
}

}  // namespace velmora::exchange

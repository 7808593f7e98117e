#include "exchange/client_catalogue.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>

#include "framework/money.h"
#include "framework/text.h"
#include "reports/amount_in_words.h"
#include "works/budget.h"

namespace velmora::exchange {

namespace {

bool isKeyTitle(const std::string& h) { return h == "CLAVE" || h == "CODIGO" || h == "CLAVE DEL CONCEPTO"; }
bool isDescriptionTitle(const std::string& h) {
  return h == "DESCRIPCION" || h == "CONCEPTO" || h == "DESCRIPCION DEL CONCEPTO";
}
bool isUnitTitle(const std::string& h) { return h == "UNIDAD" || h == "UNID" || h == "UNID." || h == "U.M."; }
bool isQuantityTitle(const std::string& h) { return h == "CANTIDAD" || h == "CANT" || h == "CANT."; }
bool isWordsTitle(const std::string& h) { return h.find("LETRA") != std::string::npos; }
bool isUnitPriceTitle(const std::string& h) {
  return h == "P.U." || h == "PU" || h == "P. U." || h == "PRECIO UNITARIO" || h == "PRECIO";
}
bool isAmountTitle(const std::string& h) { return h == "IMPORTE" || h == "TOTAL" || h == "IMPORTE TOTAL"; }

// Our key of a client's key: as written when it fits, else split into a
// generic key and a key when both fit ("EST-0000006"), else a short key made
// from the whole, the same at the import and at the export, so that
// "2.01.001.0001" and "2.01.001.0002" stay two keys.
void ourKey(const std::string& client, std::string* gene, std::string* key) {
  gene->clear();
  *key = client;
  if (text::charCount(client) <= 9) return;
  splitKey(client, gene, key);
  if (text::charCount(*gene) > 3 || text::charCount(*key) > 9) {
    gene->clear();
    *key = shortKeyOf(client);
  }
}

// The key an import before short keys gave a client key too long to split:
// its first nine characters. The export still finds those rows.
std::string truncatedKey(const std::string& client) { return text::truncateChars(client, 9); }

// The words that close a client's catalogue: its subtotals, tax, total and
// the amount in words. A row without a quantity that starts with one of
// them is no title of the budget: its text, or nothing.
std::optional<std::string> closingText(const SheetRow& row) {
  for (const auto& [column, cell] : row.cells()) {
    if (cell.kind != Cell::Kind::kText) continue;
    const std::string h = headerWords(cell.text);
    for (const char* word : {"SUBTOTAL", "SUB-TOTAL", "SUB TOTAL", "TOTAL", "GRAN TOTAL", "I.V.A", "IVA",
                             "IMPUESTO AL VALOR AGREGADO", "IMPORTE CON LETRA", "IMPORTE TOTAL"}) {
      const size_t n = std::strlen(word);
      if (h.compare(0, n, word) == 0 && (h.size() == n || !std::isalpha(static_cast<unsigned char>(h[n]))))
        return text::clip(cell.text);
    }
  }
  return std::nullopt;
}

// Every title and concept row of the sheet, in order; the closing rows go
// to `closing` when given.
Status readCatalogueRows(const SheetData& sheet, const CatalogueColumns& columns,
                         const std::function<void(CatalogueRow&)>& take, std::vector<std::string>* closing) {
  const DecimalMark mark = decimalMarkOf(sheet, *columns.quantity, columns.headerRow + 1);
  for (size_t r = columns.headerRow + 1; r < sheet.rows.size(); ++r) {
    CatalogueRow row;
    row.row = r + 1;
    row.description = cellText(sheet.at(r, *columns.description));
    row.key = columns.key ? cellText(sheet.at(r, *columns.key)) : std::string();
    row.unit = columns.unit ? cellText(sheet.at(r, *columns.unit)) : std::string();
    const Cell& quantity = sheet.at(r, *columns.quantity);
    const std::string where = "fila " + std::to_string(row.row);
    if (quantity.uncalculated())
      return Status::error(Status::Code::kInvalid,
                           where + ": la fórmula de la cantidad en " + cellName(r, *columns.quantity) +
                               " no tiene su valor calculado (abra el libro y guárdelo en su hoja de cálculo)");
    const bool noQuantity = quantity.empty() || cellText(quantity).empty();
    if (const auto closes = noQuantity ? closingText(sheet.rows[r]) : std::nullopt) {
      if (closing) closing->push_back(where + ": " + text::truncateChars(*closes, 40));
      continue;
    }
    if (row.description.empty() && row.key.empty()) continue;  // a blank row
    if (noQuantity) {
      row.kind = 'T';
      row.key.clear();
      row.unit.clear();
    } else {
      std::string why;
      const auto value = cellNumber(sheet, r, *columns.quantity, mark, "la cantidad", &why);
      if (!value) return Status::error(Status::Code::kInvalid, where + ": " + why);
      if (!std::isfinite(*value) || std::fabs(*value) > 1e12)
        return Status::error(Status::Code::kInvalid, where + ": la cantidad de " + cellName(r, *columns.quantity) +
                                                         " es desmedida (" + cellText(quantity) + ")");
      row.quantity = *value;
    }
    take(row);
  }
  return Status::ok();
}

}  // namespace

CatalogueColumns guessCatalogueColumns(const SheetData& sheet) {
  for (size_t r = 0; r < std::min<size_t>(30, sheet.rows.size()); ++r) {
    CatalogueColumns c;
    c.headerRow = r;
    for (const auto& [i, cell] : sheet.rows[r].cells()) {
      if (cell.kind != Cell::Kind::kText) continue;
      const std::string h = headerWords(cell.text);
      if (!c.key && isKeyTitle(h)) c.key = i;
      else if (!c.description && isDescriptionTitle(h)) c.description = i;
      else if (!c.unit && isUnitTitle(h)) c.unit = i;
      else if (!c.quantity && isQuantityTitle(h)) c.quantity = i;
      else if (!c.words && isWordsTitle(h)) c.words = i;
      else if (!c.unitPrice && isUnitPriceTitle(h)) c.unitPrice = i;
      else if (!c.amount && isAmountTitle(h)) c.amount = i;
    }
    if (c.description && c.quantity) return c;
  }
  return {};
}

bool parseCatalogueColumns(const std::string& mapping, CatalogueColumns* columns, std::string* why) {
  CatalogueColumns c = *columns;
  if (!parseColumnMapping(mapping,
                          {{"CLAVE", &c.key},
                           {"DESCRIPCION", &c.description},
                           {"UNIDAD", &c.unit},
                           {"CANTIDAD", &c.quantity},
                           {"PRECIO", &c.unitPrice},
                           {"IMPORTE", &c.amount},
                           {"LETRA", &c.words}},
                          "cantidad=D", why))
    return false;
  *columns = c;
  return true;
}

Status planCatalogueImport(const tables::Installation& inst, ErrorReporter& errors, const SheetData& sheet,
                           const CatalogueColumns& columns, CataloguePlan* plan) {
  *plan = {};
  if (!columns.description || !columns.quantity)
    return Status::error(Status::Code::kInvalid, "no se sabe qué columnas tienen la descripción y la cantidad");
  // The base concepts by their key as written and as generic key + key.
  std::unordered_map<std::string, std::vector<int32_t>> byKey;
  {
    auto coba = inst.table("COBA", errors);
    if (Status s = coba->open(); !s) return s;
    const Status s = coba->scanColumns({"CTA", "GENE", "LLAV"}, [&](const tables::Row& r) {
      const auto account = static_cast<int32_t>(r.integer(0));
      const std::string gene = text::clip(r.text(1)), key = text::clip(r.text(2));
      if (!key.empty()) byKey[text::foldKey(key)].push_back(account);
      if (!gene.empty()) byKey[text::foldKey(gene) + '\x1f' + text::foldKey(key)].push_back(account);
      return true;
    });
    if (!s) return s;
  }
  const auto baseOf = [&](const std::string& key) -> int32_t {
    if (key.empty()) return 0;
    auto it = byKey.find(text::foldKey(key));
    if (it == byKey.end()) {
      std::string gene, own;
      splitKey(key, &gene, &own);
      it = byKey.find(text::foldKey(gene) + '\x1f' + text::foldKey(own));
    }
    return it != byKey.end() && it->second.size() == 1 ? it->second.front() : 0;
  };
  Status s = readCatalogueRows(
      sheet, columns,
      [&](CatalogueRow& row) {
        if (row.kind == 'C') {
          const std::string where = "fila " + std::to_string(row.row) + ": ";
          if (text::charCount(row.unit) > 4)
            plan->notes.push_back(where + "la unidad " + row.unit + " pasa de 4 caracteres y queda " +
                                  text::truncateChars(row.unit, 4));
          std::string gene, key;
          ourKey(row.key, &gene, &key);
          if (gene.empty() && key != row.key)
            plan->notes.push_back(where + "la clave " + row.key + " pasa de 9 caracteres y queda " + key);
          row.baseConcept = baseOf(row.key);
          if (row.baseConcept == 0)
            plan->unmatched.push_back("fila " + std::to_string(row.row) + ": " +
                                      (row.key.empty() ? std::string("sin clave") : "clave " + row.key) + ", " +
                                      text::truncateChars(row.description, 40));
        }
        plan->rows.push_back(std::move(row));
      },
      &plan->closing);
  return s;
}

Status applyCatalogueImport(const works::OpenWork& work, ErrorReporter& errors, const CataloguePlan& plan,
                            int32_t user) {
  std::vector<works::NewBudgetRow> rows;
  rows.reserve(plan.rows.size());
  for (const CatalogueRow& r : plan.rows) {
    works::NewBudgetRow row;
    row.kind = r.kind;
    row.text = text::truncateChars(r.description, 50);
    row.longText = r.description;
    ourKey(r.key, &row.gene, &row.key);
    row.unit = text::truncateChars(r.unit, 4);
    row.quantity = r.quantity;
    row.baseConcept = r.baseConcept;
    rows.push_back(std::move(row));
  }
  return works::appendBudgetRows(work.inst, errors, work.header, work.zone, user, rows);
}

Status planCatalogueExport(const works::OpenWork& work, ErrorReporter& errors, const SheetData& sheet,
                           const CatalogueColumns& columns, CatalogueExport* plan) {
  *plan = {};
  if (!columns.description || !columns.quantity)
    return Status::error(Status::Code::kInvalid, "no se sabe qué columnas tienen la descripción y la cantidad");
  if (!columns.unitPrice && !columns.amount && !columns.words)
    return Status::error(Status::Code::kInvalid,
                         "no se sabe en qué columnas van el precio unitario, el importe o la letra");
  auto cobr = work.inst.table("COBR", errors);
  std::vector<works::BudgetRow> budget;
  if (Status s = cobr->open(); !s) return s;
  if (Status s = works::readBudget(*cobr, &budget); !s) return s;
  if (Status s = works::checkFiniteFigures(budget); !s) return s;
  size_t next = 0;  // budget rows before it are taken
  Status failed;
  Status s = readCatalogueRows(
      sheet, columns,
      [&](CatalogueRow& row) {
        if (row.kind != 'C' || !failed) return;
        std::string gene, key;
        ourKey(row.key, &gene, &key);
        const std::string text = text::truncateChars(row.description, 50);
        size_t at = next;
        for (; at < budget.size(); ++at) {
          const works::BudgetRow& b = budget[at];
          if (b.kind != works::row_kind::kConcept) continue;
          const bool sameKey = (text::foldKey(b.key) == text::foldKey(text::clip(key)) &&
                                text::foldKey(b.gene) == text::foldKey(gene)) ||
                               (gene.empty() && key != row.key && text::clip(b.gene).empty() &&
                                text::foldKey(b.key) == text::foldKey(text::clip(truncatedKey(row.key))));
          if (!row.key.empty() ? sameKey : text::clip(b.text) == text::clip(text)) break;
        }
        const std::string where = "fila " + std::to_string(row.row);
        if (at == budget.size()) {
          failed = Status::error(Status::Code::kNotFound, where + ": la obra no tiene la partida " +
                                                              (row.key.empty() ? text : row.key) +
                                                              " (después de las ya encontradas)");
          return;
        }
        const works::BudgetRow& b = budget[at];
        if (money::cents(b.quantity * 100) != money::cents(row.quantity * 100)) {
          failed =
              Status::error(Status::Code::kInvalid,
                            where + ": la cantidad del libro (" + cellText({Cell::Kind::kNumber, row.quantity, {}}) +
                                ") no es la de la obra (" + cellText({Cell::Kind::kNumber, b.quantity, {}}) + ")");
          return;
        }
        next = at + 1;
        const works::RowMoney m = works::rowMoney(b.perUnit, b.quantity);
        const size_t r = row.row - 1;
        if (columns.unitPrice)
          plan->values.push_back({r, *columns.unitPrice, false, money::fromCents(m.unitPrice), {}});
        if (columns.amount) plan->values.push_back({r, *columns.amount, false, money::fromCents(m.amount), {}});
        if (columns.words) {
          // The report's words, without the blanks that align them on paper.
          std::string words = reports::amountInWords(money::fromCents(m.amount));
          words.erase(0, words.find_first_not_of(' '));
          plan->values.push_back({r, *columns.words, true, 0, words});
        }
        if (m.unitPrice == 0)
          plan->unpriced.push_back(where + ": " + (row.key.empty() ? std::string("sin clave") : "clave " + row.key) +
                                   ", " + text::truncateChars(row.description, 40));
        ++plan->rows;
      },
      nullptr);
  if (!s) return s;
  return failed;
}

}  // namespace velmora::exchange

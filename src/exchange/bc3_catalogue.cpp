#include "exchange/bc3_catalogue.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "catalog/analysis.h"
#include "catalog/inputs.h"
#include "catalog/items.h"
#include "catalog/prices.h"
#include "catalog/pricing.h"
#include "estimate/zones.h"
#include "exchange/sheet_data.h"
#include "framework/dates.h"
#include "framework/money.h"
#include "framework/text.h"

namespace velmora::exchange {

namespace {

constexpr const char* kRootCode = "BASE";
// Who writes our files. Files of ours written before percentages followed
// the format name the program alone and hold them in per cent.
constexpr const char* kProgram = "Velmora 2";
constexpr const char* kProgramWithPercentsInPerCent = "Velmora";
// Decimals of a price beyond these are the noise of binary arithmetic.
constexpr int kMostPriceDecimals = 8;
constexpr const char* kMaterialsPercent = "MAT%";
constexpr const char* kLabourPercent = "MO%";
constexpr int kTypeLabour = 1, kTypeMachine = 2, kTypeMaterial = 3;
// Base inputs live below the accounts of a work's own inputs.
constexpr int64_t kLastInputAccount = 999999;
// A concept's account is the whole part of its lines' numbers (9 digits, 2
// of them decimals).
constexpr int64_t kLastAccount = 9999999;

Status readEvery(tables::Table& table, const std::function<void(const tables::Record&)>& visit) {
  const Status s = table.readAll(table.keyIndex("CTA_KEY"), [&](const tables::Record& r) {
    visit(r);
    return true;
  });
  return s.is(Status::Code::kNotFound) ? Status::ok() : s;
}

// The user's key as a synonym code, when the format can carry it.
std::vector<std::string> keyAsSynonym(const std::string& key) {
  const std::string k = text::clip(key);
  if (k.empty() || k.find_first_of("#|\\~ ") != std::string::npos) return {};
  return {k};
}

// Every generic key, as "I:MAT" (its kind and code) -> its name.
Status readGenericKeys(tables::Table& clag, std::map<std::string, std::string>* names) {
  return clag.scanColumns({"TIPO", "CTA", "TEXT"}, [names](const tables::Row& r) {
    (*names)[text::clip(r.text(0)) + ":" + text::clip(r.text(1))] = text::clip(r.text(2));
    return true;
  });
}

// A code with '%' is a percentage, whose factor the format writes as a
// fraction of one.
bool isPercentCode(const std::string& code) { return code.find('%') != std::string::npos; }

int decimalsOf(double v) {
  if (v == 0 || !std::isfinite(v)) return 0;
  const money::Digits d = money::shortestDigits(v);
  return std::max(0, static_cast<int>(d.digits.size()) - d.exponent - 1);
}

}  // namespace

Status exportBc3(const tables::Installation& inst, ErrorReporter& errors, int list, Bc3File* file) {
  *file = Bc3File{};
  if (list < 1 || list > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  auto clag = inst.table("CLAG", errors);
  auto inba = inst.table("INBA", errors);
  auto maba = inst.table("MABA", errors);
  auto coba = inst.table("COBA", errors);
  auto control = inst.table("CONTROL", errors);
  for (auto* t : {clag.get(), inba.get(), maba.get(), coba.get(), control.get()})
    if (Status s = t->open(); !s) return s;
  estimate::ZoneFactors zone;
  if (Status s = estimate::loadZoneFactors(*control, list, &zone); !s) return s;
  catalog::MachineRates rates;
  if (Status s = catalog::firstZoneRates(*control, &rates); !s) return s;
  catalog::BasePrices prices(inst, errors, list);
  prices.preloadAll();
  catalog::PricingEngine engine(inst, errors, prices, zone, rates);
  engine.preloadCatalogue();
  if (Status s = engine.openStatus(); !s) return s;

  std::map<std::string, std::string> keyNames;
  if (Status s = readGenericKeys(*clag, &keyNames); !s) return s;
  std::vector<Bc3Concept> items;
  std::unordered_map<int32_t, std::string> inputCodes, machineCodes, conceptCodes;
  std::vector<std::string> genes;  // of each item, as "I:MAT"

  const auto addItem = [&](Bc3Concept c, const std::string& gene) {
    const char kind = c.type == kTypeMachine ? 'H' : c.code[0] == 'C' ? 'C' : 'I';
    genes.push_back(std::string(1, kind) + ":" + text::clip(gene));
    items.push_back(std::move(c));
  };
  // Each file in one pass of the columns written, then in account order.
  struct Row {
    int64_t account;
    Bc3Concept record;
    std::string gene;
  };
  const auto byAccount = [](const Row& x, const Row& y) { return x.account < y.account; };
  std::vector<Row> inputs, machines, concepts;
  const std::string cost = "COST[" + std::to_string(list) + "]", date = "FECH[" + std::to_string(list) + "]";
  Status s =
      inba->scanColumns({"CTA", "TIPO", "LLAV", "UNID", "TEXT", "TEX1", "GENE", cost, date}, [&](const tables::Row& r) {
        const int kind = static_cast<int>(r.integer(1));
        Bc3Concept c;
        c.code = "I" + std::to_string(r.integer(0)) + (kind >= 5 ? "%" : "");
        c.synonyms = keyAsSynonym(r.text(2));
        c.unit = text::clip(r.text(3));
        c.summary = text::clip(r.text(4));
        c.longText = text::clip(r.text(5));
        c.type = kind == 4 || kind == 6 ? kTypeLabour : kTypeMaterial;
        if (kind <= 4) {
          c.price = estimate::realWage(r.real(7), kind, zone);
          c.date = static_cast<int32_t>(r.integer(8));
        }
        inputs.push_back({r.integer(0), std::move(c), r.text(6)});
        return true;
      });
  if (!s) return s;
  s = maba->scanColumns({"CTA", "LLAV", "TEXT", "TEX1", "GENE"}, [&](const tables::Row& r) {
    Bc3Concept c;
    c.code = "M" + std::to_string(r.integer(0));
    c.synonyms = keyAsSynonym(r.text(1));
    c.unit = "HR";
    c.summary = text::clip(r.text(2));
    c.longText = text::clip(r.text(3));
    c.type = kTypeMachine;
    machines.push_back({r.integer(0), std::move(c), r.text(4)});
    return true;
  });
  if (!s) return s;
  s = coba->scanColumns({"CTA", "LLAV", "UNID", "TEXT", "TEX1", "GENE"}, [&](const tables::Row& r) {
    Bc3Concept c;
    c.code = "C" + std::to_string(r.integer(0));
    c.synonyms = keyAsSynonym(r.text(1));
    c.unit = text::clip(r.text(2));
    c.summary = text::clip(r.text(3));
    c.longText = text::clip(r.text(4));
    concepts.push_back({r.integer(0), std::move(c), r.text(5)});
    return true;
  });
  if (!s) return s;
  std::vector<int32_t> conceptAccounts;
  items.reserve(inputs.size() + machines.size() + concepts.size());
  genes.reserve(items.capacity());
  for (auto* rows : {&inputs, &machines, &concepts}) {
    if (!std::is_sorted(rows->begin(), rows->end(), byAccount)) std::sort(rows->begin(), rows->end(), byAccount);
    auto& codes = rows == &inputs ? inputCodes : rows == &machines ? machineCodes : conceptCodes;
    for (Row& row : *rows) {
      codes[static_cast<int32_t>(row.account)] = row.record.code;
      if (rows == &concepts) conceptAccounts.push_back(static_cast<int32_t>(row.account));
      addItem(std::move(row.record), row.gene);
    }
  }

  // Prices and decompositions, now that every code is known.
  bool materialsPercent = false, labourPercent = false;
  int quantityDecimals = 4;
  size_t conceptIndex = 0;
  for (Bc3Concept& c : items) {
    if (c.type == kTypeMachine) {
      c.price = engine.hourlyCost(std::stoi(c.code.substr(1))).total;
    } else if (c.code[0] == 'C') {
      const int32_t account = conceptAccounts[conceptIndex++];
      c.price = engine.priceConcept(account).unitPrice();
      for (const catalog::Line& l : catalog::PricingEngine::contiguous(engine.catalogueLines(account), account)) {
        const std::unordered_map<int32_t, std::string>* codes = l.category == 1   ? &conceptCodes
                                                                : l.category == 2 ? &machineCodes
                                                                                  : &inputCodes;
        std::string child;
        if (l.category == 5) child = kMaterialsPercent, materialsPercent = true;
        else if (l.category == 6) child = kLabourPercent, labourPercent = true;
        else if (auto it = codes->find(l.component); it != codes->end()) child = it->second;
        else continue;  // a missing component prices as nothing
        // Our lines hold a percentage in per cent; the format, as a fraction.
        const double quantity = isPercentCode(child) ? l.quantity / 100 : l.quantity;
        c.children.push_back({child, 1, quantity});
        quantityDecimals = std::max(quantityDecimals, std::min(12, decimalsOf(quantity)));
      }
    }
  }
  if (Status read = engine.openStatus(); !read) return read;  // prices after a failed read only look right
  // Prices without the noise of binary sums (2957.0600000000004 is
  // 2957.06), and with every decimal they really have: a real wage of
  // 579.005 read back as 579.01 would move a machine's hourly cost by a cent.
  int priceDecimals = 2;
  for (Bc3Concept& c : items) {
    c.price = text::parseDecimal(text::formatFixed(c.price, kMostPriceDecimals)).value_or(c.price);
    priceDecimals = std::max(priceDecimals, std::min(kMostPriceDecimals, decimalsOf(c.price)));
  }
  file->program = kProgram;
  file->quantityDecimals = quantityDecimals;
  file->priceDecimals = priceDecimals;

  // The root, then one chapter per generic key in use, then the records.
  Bc3Concept root;
  root.code = kRootCode;
  root.marks = 2;
  root.summary = "BASE DE DATOS GENERAL, LISTA DE PRECIOS " + std::to_string(list);
  std::map<std::string, Bc3Concept> chapters;
  // A code that keys two kinds of record ("MAT" of inputs and of concepts)
  // makes two chapters, "MAT.I" and "MAT.C".
  std::map<std::string, int> kindsOfCode;
  for (const auto& [kindAndCode, name] : keyNames) ++kindsOfCode[kindAndCode.substr(2)];
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string gene = genes[i].substr(2);
    if (gene.empty() || !keyNames.count(genes[i]) || gene.find_first_of("#|\\~%.") != std::string::npos) {
      root.children.push_back({items[i].code, 1, 1});
      continue;
    }
    const std::string code = kindsOfCode[gene] > 1 ? gene + "." + genes[i].substr(0, 1) : gene;
    Bc3Concept& chapter = chapters[code];
    chapter.code = code;
    chapter.marks = 1;
    chapter.summary = keyNames[genes[i]];
    chapter.children.push_back({items[i].code, 1, 1});
  }
  // A chapter is worth what its children are, as the format prices any
  // decomposition; the root, its chapters and records.
  std::unordered_map<std::string, double> priceOf;
  for (const Bc3Concept& c : items) priceOf[c.code] = c.price;
  const auto childrenWorth = [&](const Bc3Concept& parent) {
    int64_t cents = 0;
    for (const Bc3Child& child : parent.children) cents += money::cents(priceOf[child.code]);
    return money::fromCents(cents);
  };
  for (auto& [code, chapter] : chapters) chapter.price = priceOf[code] = childrenWorth(chapter);
  std::vector<Bc3Child> top;
  for (const auto& [code, chapter] : chapters) top.push_back({code, 1, 1, 1});
  top.insert(top.end(), root.children.begin(), root.children.end());
  root.children = std::move(top);
  root.price = childrenWorth(root);
  file->concepts.reserve(items.size() + chapters.size() + 3);
  file->concepts.push_back(std::move(root));
  for (auto& [code, chapter] : chapters) file->concepts.push_back(std::move(chapter));
  if (materialsPercent)
    file->concepts.push_back({kMaterialsPercent, {}, 0, "%", "PORCENTAJE SOBRE MATERIALES", 0, 0, kTypeMaterial});
  if (labourPercent)
    file->concepts.push_back({kLabourPercent, {}, 0, "%", "PORCENTAJE SOBRE MANO DE OBRA", 0, 0, kTypeLabour});
  for (auto& c : items) file->concepts.push_back(std::move(c));
  return Status::ok();
}

// ---------------------------------------------------------------- import

namespace {

enum class Kind { kChapter, kInput, kMachine, kConcept, kPercentLine };

// What one ~C becomes.
struct Item {
  const Bc3Concept* source = nullptr;
  Kind kind = Kind::kInput;
  int inputKind = 3;     // 3..6 for an input
  int lineCategory = 0;  // 5 or 6 for a percentage line
  int32_t account = 0;
  bool exists = false;
  std::string gene, key;
};

// "I10001", "M500", "C800", "I30002%": our own codes.
std::optional<int64_t> ownAccount(const std::string& code, char table) {
  if (code.size() < 2 || code[0] != table) return std::nullopt;
  std::string digits = code.substr(1);
  if (table == 'I' && !digits.empty() && digits.back() == '%') digits.pop_back();
  if (digits.empty() || digits.size() > 9 || digits[0] == '0') return std::nullopt;
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  return std::stoll(digits);
}

Status lineProblem(size_t line, const std::string& what) {
  return Status::error(Status::Code::kInvalid, "línea " + std::to_string(line) + ": " + what);
}

// A text into `first` and `second` of at most `width` characters each,
// broken at a blank when it can be.
bool splitText(const std::string& text, size_t width, std::string* first, std::string* second) {
  if (text::charCount(text) <= width) {
    *first = text;
    second->clear();
    return true;
  }
  std::string head = text::truncateChars(text, width);
  size_t cut = head.size();
  if (text[cut] != ' ') {
    const size_t blank = head.rfind(' ');
    if (blank != std::string::npos && blank > 0) cut = blank;
  }
  *first = text::clip(text.substr(0, cut));
  std::string rest = text.substr(cut);
  while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  *second = rest;
  return text::charCount(rest) <= width;
}

// The stored base wage whose real wage in `zone` is `real`.
double baseWage(double real, const estimate::ZoneFactors& zone) {
  if (!zone.complete) return real;
  for (double factor : {zone.fsrMenor, zone.fsrMayor}) {
    if (factor <= 0) continue;
    const double base = real / factor;
    if (money::cents(estimate::realWage(base, 4, zone)) == money::cents(real)) return base;
  }
  return zone.fsrMenor > 0 ? real / zone.fsrMenor : real;
}

class Bc3Import {
 public:
  Bc3Import(const tables::Installation& inst, ErrorReporter& errors, const Bc3File& file, int list, int32_t user,
            Bc3Plan* plan)
      : inst_(inst), errors_(errors), file_(file), list_(list), user_(user), plan_(plan) {}

  Status run(bool dryRun);

 private:
  // In a trial, a table that is not there yet (no file, or not on the
  // server) is read as empty rather than created.
  Status openTables();
  void notePrices();
  catalog::CostSplit priceOfFile(size_t item, int level, bool* cut);
  double percentScale() const;
  double lineQuantity(const Bc3Child& child, const Item& part) const;
  static bool isPercentage(const Item& part);
  Status readTarget();
  Status classify();
  Status giveAccounts();
  Status check();
  Status checkLoops();
  Status write();
  Status writeItem(const Item& item);

  const tables::Installation& inst_;
  ErrorReporter& errors_;
  const Bc3File& file_;
  int list_;
  int32_t user_;
  Bc3Plan* plan_;

  std::unique_ptr<tables::Table> clag_, inba_, maba_, coba_, inco_, control_;
  estimate::ZoneFactors zone_;
  std::map<std::string, std::string> storedGenes_;                                 // "I:MAT" -> name
  std::map<int64_t, std::string> storedInputs_, storedMachines_, storedConcepts_;  // account -> key
  std::vector<Item> items_;                                                        // one per ~C
  std::unordered_map<std::string, size_t> itemOf_;
  std::map<std::string, std::string> newGenes_;  // "I:MAT" -> name
  int64_t nextInputAccount_ = 1;
  bool dryRun_ = false;
  // The file's basics priced at a level, and whether the deepest level cut them.
  std::map<std::pair<size_t, int>, std::pair<catalog::CostSplit, bool>> basicPrices_;
  size_t longCodes_ = 0;
  std::string firstLongCode_;
  std::unordered_map<std::string, std::string> shortKeys_;  // key given -> the code it was given for
};

// Our lines hold percentages in per cent; the format, and this program
// since it follows it, writes them as fractions.
double Bc3Import::percentScale() const { return file_.program == kProgramWithPercentsInPerCent ? 1 : 100; }

Status Bc3Import::openTables() {
  clag_ = inst_.table("CLAG", errors_);
  inba_ = inst_.table("INBA", errors_);
  maba_ = inst_.table("MABA", errors_);
  coba_ = inst_.table("COBA", errors_);
  inco_ = inst_.table("INCO", errors_);
  control_ = inst_.table("CONTROL", errors_);
  for (auto* t : {clag_.get(), inba_.get(), maba_.get(), coba_.get(), inco_.get(), control_.get()}) {
    if (dryRun_) {  // a trial run makes no table files: an absent table is read as empty
      bool held = false;
      if (Status s = inst_.holdsTable(t->def(), &held); !s) return s;
      if (!held) continue;
    }
    if (Status s = t->open(); !s) return s;
  }
  if (control_->isOpen()) return estimate::loadZoneFactors(*control_, list_, &zone_);
  return Status::ok();
}

Status Bc3Import::readTarget() {
  if (clag_->isOpen())
    if (Status s = readGenericKeys(*clag_, &storedGenes_); !s) return s;
  const auto keep = [](std::map<int64_t, std::string>& into) {
    return [&into](const tables::Record& r) { into[r.integer("CTA")] = text::clip(r.text("LLAV")); };
  };
  for (auto [table, into] : {std::pair{inba_.get(), &storedInputs_}, std::pair{maba_.get(), &storedMachines_},
                             std::pair{coba_.get(), &storedConcepts_}})
    if (table->isOpen())
      if (Status s = readEvery(*table, keep(*into)); !s) return s;
  return Status::ok();
}

Status Bc3Import::classify() {
  for (const Bc3Concept& c : file_.concepts) {
    Item item;
    item.source = &c;
    if (c.marks > 0) {
      item.kind = Kind::kChapter;
    } else if (c.code.find('%') != std::string::npos && !ownAccount(c.code, 'I')) {
      item.kind = Kind::kPercentLine;
      item.lineCategory = c.type == kTypeLabour ? 6 : 5;
    } else if (c.code.find('%') != std::string::npos) {
      item.kind = Kind::kInput;
      item.inputKind = c.type == kTypeLabour ? 6 : 5;
    } else if (!c.children.empty() || ownAccount(c.code, 'C')) {
      item.kind = Kind::kConcept;
    } else if (c.type == kTypeMachine || ownAccount(c.code, 'M')) {
      item.kind = Kind::kMachine;
    } else {
      item.kind = Kind::kInput;
      item.inputKind = c.type == kTypeLabour ? 4 : 3;
    }
    if (item.kind != Kind::kConcept && item.kind != Kind::kChapter && !c.children.empty())
      return lineProblem(c.childrenLine, "el código " + c.code + " no es un concepto y tiene descomposición");
    // Our key: the synonym code, or the code itself when it is of another
    // program; one longer than a key is given a short key of its own.
    item.key = !c.synonyms.empty() ? c.synonyms.front() : std::string();
    if (text::charCount(item.key) > 9) {
      if (longCodes_++ == 0) firstLongCode_ = item.key + " (" + shortKeyOf(item.key) + ")";
      item.key = shortKeyOf(item.key);
    }
    itemOf_[c.code] = items_.size();
    items_.push_back(std::move(item));
  }
  // The generic key of a record is the chapter that holds it.
  for (Item& chapter : items_) {
    if (chapter.kind != Kind::kChapter || chapter.source->marks != 1) continue;
    // "MAT.I": the generic key MAT of inputs, beside a MAT of another kind.
    std::string gene = chapter.source->code;
    if (gene.size() >= 3 && gene[gene.size() - 2] == '.' && std::string("ICH").find(gene.back()) != std::string::npos)
      gene.resize(gene.size() - 2);
    for (const Bc3Child& child : chapter.source->children) {
      auto it = itemOf_.find(child.code);
      if (it == itemOf_.end()) return lineProblem(chapter.source->childrenLine, "código desconocido: " + child.code);
      Item& item = items_[it->second];
      if (item.kind == Kind::kChapter || item.kind == Kind::kPercentLine || text::charCount(gene) > 3) continue;
      item.gene = gene;
      const char type = item.kind == Kind::kConcept ? 'C' : item.kind == Kind::kMachine ? 'H' : 'I';
      const std::string typed = std::string(1, type) + ":" + gene;
      if (!storedGenes_.count(typed) && !newGenes_.count(typed)) {
        if (text::charCount(chapter.source->summary) > 30)
          return lineProblem(chapter.source->line, "el nombre de la clave genérica " + gene + " pasa de 30 caracteres");
        newGenes_[typed] = chapter.source->summary;
      }
    }
  }
  return Status::ok();
}

Status Bc3Import::giveAccounts() {
  std::map<int64_t, std::string>* stored[] = {&storedInputs_, &storedMachines_, &storedConcepts_};
  int64_t next[3];
  std::unordered_set<int64_t> taken[3];
  for (int t = 0; t < 3; ++t) next[t] = stored[t]->empty() ? 1 : stored[t]->rbegin()->first + 1;
  const auto tableOf = [](Kind k) { return k == Kind::kInput ? 0 : k == Kind::kMachine ? 1 : 2; };
  // Our own codes keep their accounts; the others come after.
  for (int pass = 0; pass < 2; ++pass) {
    for (Item& item : items_) {
      if (item.kind == Kind::kChapter || item.kind == Kind::kPercentLine) continue;
      const int t = tableOf(item.kind);
      const auto own = ownAccount(item.source->code, "IMC"[t]);
      if ((pass == 0) != own.has_value()) continue;
      int64_t account = 0;
      if (own) {
        account = *own;
        next[t] = std::max(next[t], account + 1);
      } else {
        // Another program's code: our record of the same kind and key (a
        // code longer than a key, by the short key it was given before).
        const std::string key = item.key.empty() ? item.source->code : item.key;
        const std::string storedKey = text::charCount(key) <= 9 ? key : shortKeyOf(key);
        if (item.key.empty() && storedKey != key && longCodes_++ == 0) firstLongCode_ = key + " (" + storedKey + ")";
        const auto& shortKeyOwner = shortKeys_.emplace(storedKey, key).first->second;
        if (shortKeyOwner != key)
          return lineProblem(item.source->line, "los códigos " + shortKeyOwner + " y " + key +
                                                    " darían la misma clave " + storedKey + "; cambie uno de ellos");
        for (const auto& [a, k] : *stored[t])
          if (!k.empty() && k == storedKey && !taken[t].count(a)) account = a;
        if (account == 0) account = next[t]++;
        if (item.key.empty()) item.key = text::charCount(key) <= 9 ? key : shortKeyOf(key);
      }
      const int64_t last = t == 0 ? kLastInputAccount : kLastAccount;
      if (account > last)
        return lineProblem(item.source->line, "la cuenta de " + item.source->code + " pasa de " + std::to_string(last));
      if (!taken[t].insert(account).second)
        return lineProblem(item.source->line, "el código " + item.source->code + " repite una cuenta");
      item.account = static_cast<int32_t>(account);
      item.exists = stored[t]->count(account) > 0;
    }
  }
  nextInputAccount_ = next[0];
  return Status::ok();
}

Status Bc3Import::check() {
  for (const Item& item : items_) {
    const Bc3Concept& c = *item.source;
    const auto tooLong = [&](const std::string& what, const std::string& value, size_t width) {
      return lineProblem(c.line, what + " de " + c.code + " pasa de " + std::to_string(width) +
                                     " caracteres: " + text::truncateChars(value, 40));
    };
    if (item.kind == Kind::kChapter || item.kind == Kind::kPercentLine) continue;
    if (text::charCount(item.key) > 9) return tooLong("la clave", item.key, 9);
    if (item.kind != Kind::kMachine && text::charCount(c.unit) > 4) return tooLong("la unidad", c.unit, 4);
    // A concept's price is its lines': the file's figure is not kept.
    if (std::string why = catalog::outsidePriceProblem(c.price); !why.empty() && item.kind != Kind::kConcept)
      return lineProblem(c.line, why);
    const size_t width = item.kind == Kind::kInput ? 35 : 50;
    if (item.kind == Kind::kConcept) {
      if (text::charCount(c.summary) > width) return tooLong("el resumen", c.summary, width);
      if (text::charCount(c.longText) > 700) return tooLong("el texto", c.longText, 700);
      if (c.children.size() > catalog::kMaxLines)
        return lineProblem(c.childrenLine, c.code + " tiene más de " + std::to_string(catalog::kMaxLines) + " hijos");
      for (const Bc3Child& child : c.children) {
        auto it = itemOf_.find(child.code);
        if (it == itemOf_.end()) return lineProblem(c.childrenLine, "código desconocido: " + child.code);
        if (items_[it->second].kind == Kind::kChapter)
          return lineProblem(c.childrenLine, "un capítulo no puede ser parte de un concepto: " + child.code);
      }
    } else {
      std::string first, second;
      if (!c.longText.empty()) {
        if (text::charCount(c.summary) > width) return tooLong("el resumen", c.summary, width);
        if (text::charCount(c.longText) > width) return tooLong("el texto", c.longText, width);
      } else if (!splitText(c.summary, width, &first, &second)) {
        return tooLong("el resumen", c.summary, 2 * width);
      }
    }
  }
  return checkLoops();
}

// A concept may not contain itself through its basics.
Status Bc3Import::checkLoops() {
  enum Mark { kNew, kOpen, kDone };
  std::vector<Mark> mark(items_.size(), kNew);
  std::function<Status(size_t)> visit = [&](size_t i) -> Status {
    mark[i] = kOpen;
    for (const Bc3Child& child : items_[i].source->children) {
      const size_t j = itemOf_.at(child.code);
      if (items_[j].kind != Kind::kConcept) continue;
      if (mark[j] == kOpen)
        return lineProblem(items_[i].source->childrenLine,
                           "ciclo: " + child.code + " se contiene a sí mismo a través de " + items_[i].source->code);
      if (mark[j] == kNew)
        if (Status s = visit(j); !s) return s;
    }
    mark[i] = kDone;
    return Status::ok();
  };
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].kind == Kind::kConcept && mark[i] == kNew)
      if (Status s = visit(i); !s) return s;
  return Status::ok();
}

Status Bc3Import::writeItem(const Item& item) {
  const Bc3Concept& c = *item.source;
  tables::Table& table = item.kind == Kind::kInput ? *inba_ : item.kind == Kind::kMachine ? *maba_ : *coba_;
  tables::Record& r = table.rec();
  r.clear();
  r.setInteger("CTA", item.account);
  if (item.exists) {
    const tables::Found stored = table.fetch(table.keyIndex("CTA_KEY"));
    if (stored.failed()) return stored.status();
    if (stored.absent()) return Status::notFound("no se pudo leer " + c.code);
  }
  if (!item.gene.empty()) r.setText("GENE", item.gene);
  if (!item.key.empty()) r.setText("LLAV", item.key);
  const size_t width = item.kind == Kind::kInput ? 35 : 50;
  if (item.kind == Kind::kConcept) {
    r.setText("TEXT", c.summary);
    r.setText("TEX1", c.longText);
  } else {
    std::string first = c.summary, second = c.longText;
    if (c.longText.empty()) splitText(c.summary, width, &first, &second);
    r.setText("TEXT", first);
    r.setText("TEX1", second);
  }
  if (item.kind != Kind::kMachine) r.setText("UNID", c.unit);
  if (item.kind == Kind::kInput) {
    r.setInteger("TIPO", item.inputKind);
    if (item.inputKind <= 4) {
      r.setReal("COST", item.inputKind == 4 ? baseWage(c.price, zone_) : c.price, list_);
      r.setInteger("FECH", c.date > 0 ? c.date : dates::today(), list_);
    }
    catalog::clearPercentageKinds(r);
  }
  if (item.kind == Kind::kMachine && !item.exists) {
    // Its hourly cost is the file's price: a priced input of its own as the
    // acquisition value, spread over a life of one hour.
    const auto valueAccount = static_cast<int32_t>(nextInputAccount_++);
    if (valueAccount > kLastInputAccount)
      return lineProblem(c.line, "no quedan cuentas de insumo para el valor horario de " + c.code);
    catalog::Input value;
    value.account = valueAccount;
    value.text = text::truncateChars("VALOR HORARIO " + c.summary, 35);
    value.unit = "HR";
    value.kind = 3;
    value.prices[list_ - 1] = c.price;
    value.dates[list_ - 1] = c.date > 0 ? c.date : dates::today();
    inba_->rec() = catalog::inputRecord(value);
    if (Status s = inba_->insert(); !s) return s;
    r.setReal("EQUI", valueAccount);
    r.setInteger("HORV", 1);
  }
  if (Status s = item.exists ? table.update() : table.insert(); !s) return s;
  if (item.kind != Kind::kConcept) return Status::ok();

  if (Status s = catalog::removeLines(*inco_, item.account); !s) return s;
  int n = 0;
  for (const Bc3Child& child : c.children) {
    const Item& part = items_[itemOf_.at(child.code)];
    catalog::Line line{static_cast<int64_t>(item.account) * 100 + n++,
                       part.kind == Kind::kPercentLine ? 0 : static_cast<int32_t>(part.account), 0,
                       lineQuantity(child, part)};
    switch (part.kind) {
      case Kind::kConcept: line.category = 1; break;
      case Kind::kMachine: line.category = 2; break;
      case Kind::kPercentLine: line.category = part.lineCategory; break;
      default: line.category = part.inputKind == 4 || part.inputKind == 6 ? 4 : 3; break;
    }
    catalog::setLine(inco_->rec(), line);
    if (Status s = inco_->insert(); !s) return s;
  }
  return Status::ok();
}

double Bc3Import::lineQuantity(const Bc3Child& child, const Item& part) const {
  const double q = child.factor * child.quantity;
  if (!isPercentage(part) || percentScale() == 1) return q;
  // In per cent, without the binary noise of the product (0.07 x 100 is
  // 7.000000000000001): the fraction's decimals moved two places.
  return text::parseDecimal(text::formatFixed(q * 100, 10)).value_or(q * 100);
}

bool Bc3Import::isPercentage(const Item& part) {
  return part.kind == Kind::kPercentLine || (part.kind == Kind::kInput && part.inputKind >= 5);
}

catalog::CostSplit Bc3Import::priceOfFile(size_t i, int level, bool* cut) {
  if (level > 1) {
    if (auto it = basicPrices_.find({i, level}); it != basicPrices_.end()) {
      *cut |= it->second.second;
      return it->second.first;
    }
  }
  catalog::CostSplit sums;
  bool cutHere = false;
  for (const Bc3Child& child : items_[i].source->children) {
    const size_t j = itemOf_.at(child.code);
    const Item& part = items_[j];
    const double q = lineQuantity(child, part);
    const double price = part.source->price;
    switch (part.kind) {
      case Kind::kConcept:
        if (level >= catalog::kDeepestLevel) {
          cutHere = true;
        } else {
          sums.add(priceOfFile(j, level + 1, &cutHere).scaled(q));
        }
        break;
      case Kind::kMachine: sums.equipment += price * q; break;
      case Kind::kPercentLine:
        sums.percentages += (part.lineCategory == 6 ? sums.labour : sums.materials) * q / 100;
        break;
      case Kind::kInput:
        if (part.inputKind == 3) sums.materials += price * q;
        else if (part.inputKind == 4) sums.labour += price * q;
        else sums.percentages += (part.inputKind == 6 ? sums.labour : sums.materials) * q / 100;
        break;
      default: break;
    }
    if (level > 1) sums = sums.rounded();  // a basic rounds after every line, as pricing does
  }
  *cut |= cutHere;
  if (level > 1) basicPrices_[{i, level}] = {sums, cutHere};
  return level > 1 ? sums : sums.rounded();
}

// Each concept priced here from the file's own prices of its parts, beside
// the price its ~C record carries: where they differ, the file and this
// program would not agree on the concept, and the user is told.
void Bc3Import::notePrices() {
  for (size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    const Bc3Concept& c = *item.source;
    if (item.kind != Kind::kConcept || c.children.empty()) continue;
    bool cut = false;
    const double here = priceOfFile(i, 1, &cut).unitPrice();
    const std::string line = "línea " + std::to_string(c.line) + ": ";
    if (cut)
      plan_->notes.push_back(line + c.code + " tiene conceptos anidados a más de " +
                             std::to_string(catalog::kDeepestLevel) +
                             " niveles; los más hondos no cuentan en su precio aquí");
    if (c.price != 0 && std::llabs(money::cents(here) - money::cents(c.price)) > 1)
      plan_->notes.push_back(line + c.code + " trae el precio " + text::formatFixed(c.price, 2) + " y sus partes dan " +
                             text::formatFixed(here, 2) + " aquí");
  }
}

Status Bc3Import::write() {
  for (auto* t : {clag_.get(), maba_.get(), coba_.get(), inco_.get()}) {
    if (Status s = t->shareConnectionOf(*inba_); !s) return s;
    t->setAuditUser(user_);
  }
  inba_->setAuditUser(user_);
  if (Status s = inba_->begin(); !s) return s;
  const auto fail = [this](Status s) {
    inba_->rollback();
    return s;
  };
  for (const auto& [typed, name] : newGenes_) {
    clag_->rec() = catalog::genericKeyRecord({typed.substr(2), name, typed.substr(0, 1)});
    if (Status s = clag_->insert(); !s) return fail(s);
  }
  for (const Item& item : items_) {
    if (item.kind == Kind::kChapter || item.kind == Kind::kPercentLine) continue;
    if (Status s = writeItem(item); !s) {
      return fail(Status::error(s.code(), "línea " + std::to_string(item.source->line) + ": " + s.text()));
    }
  }
  if (Status s = inba_->commit(); !s) return fail(s);
  return Status::ok();
}

Status Bc3Import::run(bool dryRun) {
  if (list_ < 1 || list_ > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  dryRun_ = dryRun;
  if (Status s = openTables(); !s) return s;
  if (Status s = readTarget(); !s) return s;
  if (Status s = classify(); !s) return s;
  if (Status s = giveAccounts(); !s) return s;
  if (Status s = check(); !s) return s;
  for (const Item& item : items_) {
    switch (item.kind) {
      case Kind::kInput: ++(item.exists ? plan_->changedInputs : plan_->newInputs); break;
      case Kind::kMachine:
        ++(item.exists ? plan_->changedMachines : plan_->newMachines);
        if (!item.exists) ++plan_->newInputs;
        break;
      case Kind::kConcept: ++(item.exists ? plan_->changedConcepts : plan_->newConcepts); break;
      default: break;
    }
    if (item.kind == Kind::kConcept && item.source->children.empty() && item.source->price != 0)
      plan_->notes.push_back("línea " + std::to_string(item.source->line) + ": " + item.source->code +
                             " no trae descomposición; su precio (" + text::formatFixed(item.source->price, 2) +
                             ") no se conserva");
    if (item.kind == Kind::kMachine && item.exists)
      plan_->notes.push_back("línea " + std::to_string(item.source->line) + ": la máquina " + item.source->code +
                             " ya existe; su costo horario sigue saliendo de sus propios datos");
  }
  plan_->newGenericKeys = newGenes_.size();
  notePrices();
  if (longCodes_ > 0)
    plan_->notes.push_back(std::to_string(longCodes_) + (longCodes_ == 1 ? " código pasa" : " códigos pasan") +
                           " de 9 caracteres y lleva una clave corta hecha de él, la misma en cada importación: " +
                           firstLongCode_ + (longCodes_ > 1 ? " y otros" : ""));
  if (file_.measurements > 0)
    plan_->notes.push_back("línea " + std::to_string(file_.firstMeasurementLine) + ": " +
                           std::to_string(file_.measurements) +
                           (file_.measurements == 1 ? " registro de mediciones (~M) no se importa"
                                                    : " registros de mediciones (~M) no se importan") +
                           ": el catálogo no guarda mediciones");
  if (!zone_.complete && file_.concepts.size() > 0)
    plan_->notes.push_back("la zona " + std::to_string(list_) +
                           " no está completa: la mano de obra se guarda con el precio del archivo");
  if (dryRun) return Status::ok();
  return write();
}

}  // namespace

Status importBc3(const tables::Installation& inst, ErrorReporter& errors, const Bc3File& file, int list, bool dryRun,
                 int32_t user, Bc3Plan* plan) {
  *plan = Bc3Plan{};
  Bc3Import import(inst, errors, file, list, user, plan);
  return import.run(dryRun);
}

}  // namespace velmora::exchange

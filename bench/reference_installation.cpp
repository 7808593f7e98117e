#include "reference_installation.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/demo_data.h"
#include "framework/dates.h"

namespace velmora::bench {

namespace {
const char* kWords[] = {"CEMENTO", "ARENA", "GRAVA",   "VARILLA", "ALAMBRE",  "CLAVO",   "MADERA",
                        "TABIQUE", "BLOCK", "YESO",    "CAL",     "PINTURA",  "TUBO",    "CABLE",
                        "AZULEJO", "PEON",  "OFICIAL", "CABO",    "AYUDANTE", "OPERADOR"};
}

void makeReferenceInstallation(const tables::Installation& inst, ErrorReporter& errors, const ReferenceSizes& n) {
  std::filesystem::create_directories(inst.dataDir);
  // Settings, zones and users as in the demo; then the large catalogue.
  tables::Installation base = inst;
  must(app::createDemoInstallationWithoutCatalogue(base, errors));
  std::mt19937 random(2026);
  const int32_t day = dates::dayNumber(2026, 11, 2);

  auto inba = inst.table("INBA", errors);
  must(inba->open());
  must(inba->begin());
  // Inputs 1..n: 70 % materials, 25 % labour, the rest percentages.
  for (int i = 1; i <= n.inputs; ++i) {
    auto& r = inba->rec();
    r.clear();
    r.setInteger("CTA", i);
    r.setText("TEXT", std::string(kWords[random() % 20]) + " " + std::to_string(random() % 10000));
    r.setText("TEX1", "ESPECIFICACION " + std::to_string(i));
    r.setText("GENE", "M" + std::to_string(random() % 30));
    r.setText("LLAV", std::to_string(100000 + i));
    r.setText("UNID", "PZA");
    const int roll = static_cast<int>(random() % 100);
    const int kind = roll < 70 ? 3 : roll < 95 ? 4 : roll < 98 ? 5 : 6;
    r.setInteger("TIPO", kind);
    for (int z = 1; z <= 5 && kind <= 4; ++z) {
      r.setReal("COST", kind == 4 ? 300 + (random() % 90000) / 100.0 : (random() % 500000) / 100.0, z);
      r.setInteger("FECH", day, z);
    }
    must(inba->insert());
  }
  must(inba->commit());

  // Concepts: 1..300 crews (labour), 301..600 basics of inputs, crews and
  // machines, 601..900 basics of those, 901..1200 basics of those (4 levels),
  // the rest concepts of everything.
  const auto randomInput = [&](int wantedKind) {
    for (;;) {
      const int account = 1 + static_cast<int>(random() % n.inputs);
      inba->rec().setInteger("CTA", account);
      if (!inba->fetch(0).found()) continue;
      if (wantedKind == 0 || inba->rec().integer("TIPO") == wantedKind) return account;
    }
  };
  auto maba = inst.table("MABA", errors);
  must(maba->open());
  must(maba->begin());
  for (int m = 1; m <= n.machines; ++m) {
    auto& r = maba->rec();
    r.clear();
    r.setInteger("CTA", 100000 + m);
    r.setText("TEXT", "MAQUINA " + std::to_string(m));
    r.setReal("EQUI", randomInput(3));
    r.setInteger("NEUM", randomInput(3));
    r.setInteger("NNEU", static_cast<int>(random() % 10));
    r.setReal("FINA", 10);
    r.setInteger("HORV", 8000);
    r.setInteger("HORL", 2000);
    r.setReal("CACE", 10);
    r.setReal("SEGU", 3);
    r.setReal("FACT", 0.7);
    r.setInteger("HACE", 200);
    r.setReal("COLU", 0.03);
    r.setInteger("ACEI", randomInput(3));
    r.setInteger("ANUA", 1600);
    r.setInteger("SUEL", 1 + static_cast<int>(random() % 300));
    r.setInteger("COMB", randomInput(3));
    r.setReal("CONS", 6);
    must(maba->insert());
  }
  must(maba->commit());

  auto coba = inst.table("COBA", errors);
  auto inco = inst.table("INCO", errors);
  must(coba->open());
  must(inco->open());
  must(coba->begin());
  must(inco->begin());
  for (int c = 1; c <= n.concepts; ++c) {
    auto& r = coba->rec();
    r.clear();
    r.setInteger("CTA", c);
    r.setText("TEXT", "CONCEPTO " + std::string(kWords[random() % 20]) + " " + std::to_string(c));
    r.setText("UNID", "M2");
    must(coba->insert());
    std::vector<std::pair<int, int>> lines;  // category, component
    const int count = n.linesPerConcept - 2 + static_cast<int>(random() % 5);
    for (int l = 0; l < count; ++l) {
      if (c <= 300) {
        lines.push_back({4, randomInput(4)});
        continue;
      }
      const int band = c <= 600 ? 0 : c <= 900 ? 1 : c <= 1200 ? 2 : 3;
      const int roll = static_cast<int>(random() % 10);
      if (roll < 2) {
        const int lower = band == 0 ? 1 + static_cast<int>(random() % 300)  // a crew
                                    : 1 + static_cast<int>(random() % (300 * band)) + 300;
        lines.push_back({1, band == 0 ? lower : (random() % 2 ? lower : 1 + static_cast<int>(random() % 300))});
      } else if (roll < 3) {
        lines.push_back({2, 100001 + static_cast<int>(random() % n.machines)});
      } else {
        lines.push_back({3, randomInput(0)});
      }
    }
    lines.push_back({6, 0});
    std::stable_sort(lines.begin(), lines.end());
    int k = 0;
    for (auto [cate, mate] : lines) {
      auto& line = inco->rec();
      line.clear();
      line.setInteger("CTA", static_cast<int64_t>(c) * 100 + k++);
      line.setInteger("CATE", cate);
      line.setInteger("MATE", mate);
      line.setReal("TOTA", cate == 6 ? 3 : 0.1 + (random() % 500) / 100.0);
      must(inco->insert());
    }
  }
  must(coba->commit());
  must(inco->commit());

  // The works: "REF" with the full number of rows and "REF500" with 500.
  // Every 20 rows a title opens a trade and a subtotal closes it; the other
  // rows are concepts of the catalogue with their lines (nested basics
  // included), as an import leaves them.
  const auto makeWork = [&](const char* code, int rowCount) {
    tables::Installation work = inst;
    work.workDir = inst.dataDir / code;
    std::filesystem::create_directories(work.workDir);
    auto obra = inst.table("OBRA", errors);
    must(obra->open());
    obra->rec().clear();
    obra->rec().setText("CTA", code);
    obra->rec().setText("OBRA", std::string("OBRA DE REFERENCIA ") + code);
    obra->rec().setInteger("LIST", 1);
    obra->rec().setReal("POMO", 5);
    obra->rec().setReal("POMA", 3);
    must(obra->insert());
    auto cobr = work.table("COBR", errors);
    auto inob = work.table("INOB", errors);
    must(cobr->open());
    must(inob->open());
    must(inob->shareConnectionOf(*cobr));
    must(cobr->begin());
    for (int row = 1; row <= rowCount; ++row) {
      const char kind = row % 20 == 1 ? 'T' : row % 20 == 0 ? 'S' : 'C';
      auto& r = cobr->rec();
      r.clear();
      r.setInteger("CTA", row * 10);
      r.setText("TIPO", std::string(1, kind));
      r.setText("TEXT", (kind == 'T' ? "CAPITULO " : "PARTIDA ") + std::to_string(row));
      if (kind == 'C') {
        r.setReal("CANT", 1 + random() % 500);
        const int source = 301 + static_cast<int>(random() % (n.concepts - 300));
        tables::Record from(inco->def()), to(inco->def());
        from.setInteger("CTA", static_cast<int64_t>(source) * 100);
        to.setInteger("CTA", static_cast<int64_t>(source) * 100 + 99);
        std::vector<tables::Record> lines;
        must(inco->readRange(inco->keyIndex("CTA_KEY"), from, to, [&](const tables::Record& l) {
          lines.push_back(l);
          return true;
        }));
        int k = 0;
        for (const tables::Record& l : lines) {
          auto& o = inob->rec();
          o.clear();
          o.setInteger("CTA", static_cast<int64_t>(row) * 1000 + k++);
          o.setInteger("MATE", l.integer("MATE"));
          o.setInteger("CATE", l.integer("CATE"));
          o.setReal("TOTA", l.real("TOTA"));
          must(inob->insert());
        }
      }
      must(cobr->insert());
    }
    must(cobr->commit());
  };
  makeWork("REF", n.workRows);
  makeWork("REF500", std::min(500, n.workRows));
}

}  // namespace velmora::bench

#include "app/demo_works.h"

#include <vector>

#include "estimate/zones.h"
#include "framework/text.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::app {

namespace {

// A budget line of the demo: a title ('T'), a subtotal ('S') or a concept of
// the catalogue ('C') with its quantity.
struct DemoRow {
  char kind;
  const char* title;
  int32_t catalogueConcept;
  double quantity;
};

struct DemoWork {
  const char* code;
  const char* name;
  const char* address;
  int zone;
  double site, central, profit, other, vat, hiddenLabour, hiddenOther;
  std::vector<DemoRow> rows;
};

const std::vector<DemoWork>& demoWorks() {
  static const std::vector<DemoWork> works = {
      {"CASA01",
       "CASA HABITACION DE DOS NIVELES, 120 M2",
       "CALLE ENCINO 14, COYOACAN, CDMX",
       2,
       8,
       4,
       10,
       2,
       16,
       5,
       3,
       {{'T', "PRELIMINARES", 0, 0},
        {'C', nullptr, 1001, 160},
        {'C', nullptr, 1002, 48},
        {'C', nullptr, 1003, 62.4},
        {'C', nullptr, 1004, 18.5},
        {'C', nullptr, 1005, 22},
        {'S', "SUBTOTAL PRELIMINARES", 0, 0},
        {'T', "CIMENTACION", 0, 0},
        {'C', nullptr, 1006, 45},
        {'C', nullptr, 1007, 9.6},
        {'C', nullptr, 1008, 64},
        {'C', nullptr, 1009, 72},
        {'S', "SUBTOTAL CIMENTACION", 0, 0},
        {'T', "ESTRUCTURA", 0, 0},
        {'C', nullptr, 1012, 96},
        {'C', nullptr, 1013, 88},
        {'C', nullptr, 1014, 130},
        {'C', nullptr, 1015, 60},
        {'S', "SUBTOTAL ESTRUCTURA", 0, 0},
        {'T', "ALBAÑILERIA", 0, 0},
        {'C', nullptr, 1010, 210},
        {'C', nullptr, 1011, 35},
        {'S', "SUBTOTAL ALBAÑILERIA", 0, 0},
        {'T', "ACABADOS", 0, 0},
        {'C', nullptr, 1016, 380},
        {'C', nullptr, 1017, 118},
        {'C', nullptr, 1018, 420},
        {'C', nullptr, 1019, 28},
        {'C', nullptr, 1020, 65},
        {'C', nullptr, 1021, 54},
        {'S', "SUBTOTAL ACABADOS", 0, 0},
        {'T', "INSTALACIONES", 0, 0},
        {'C', nullptr, 1022, 12},
        {'C', nullptr, 1023, 1},
        {'C', nullptr, 1024, 40},
        {'C', nullptr, 1025, 26},
        {'C', nullptr, 1026, 3},
        {'S', "SUBTOTAL INSTALACIONES", 0, 0}}},
      {"BODEGA02",
       "BODEGA DE MATERIALES, 60 M2",
       "CARRETERA A SALTILLO KM 12, MONTERREY",
       4,
       6,
       3,
       8,
       0,
       16,
       0,
       0,
       {{'T', "OBRA NEGRA", 0, 0},
        {'C', nullptr, 1001, 70},
        {'C', nullptr, 1015, 60},
        {'C', nullptr, 1010, 96},
        {'C', nullptr, 1020, 60},
        {'S', "SUBTOTAL OBRA NEGRA", 0, 0}}},
  };
  return works;
}

// The rows of one work with the lines of their concepts copied from the
// catalogue, in one transaction over both files.
Status writeBudget(const tables::Installation& inst, ErrorReporter& errors, const DemoWork& w) {
  auto cobr = inst.table("COBR", errors);
  auto inob = inst.table("INOB", errors);
  auto coba = inst.table("COBA", errors);
  auto inco = inst.table("INCO", errors);
  for (tables::Table* t : {cobr.get(), inob.get(), coba.get(), inco.get()}) {
    if (Status s = t->open(); !s) return s;
  }
  int64_t stored = 0;
  if (Status s = cobr->count(&stored); !s) return s;
  if (stored > 0) return Status::ok();  // the budget is there already
  if (Status s = inob->shareConnectionOf(*cobr); !s) return s;
  if (Status s = cobr->begin(); !s) return s;
  const auto fail = [&cobr](Status s) {
    cobr->rollback();
    return s;
  };
  int32_t account = 10;
  for (const DemoRow& row : w.rows) {
    tables::Record& r = cobr->rec();
    r.clear();
    r.setInteger("CTA", account);
    r.setText("TIPO", std::string(1, row.kind));
    if (row.kind != 'C') {
      r.setText("TEXT", row.title);
    } else {
      coba->rec().clear();
      coba->rec().setInteger("CTA", row.catalogueConcept);
      if (Status s = coba->fetch(coba->keyIndex("CTA_KEY")); !s) return fail(s);
      for (const char* f : {"TEXT", "GENE", "LLAV", "UNID"}) r.setText(f, coba->rec().text(f));
      r.setText("TEX1", text::truncateChars(coba->rec().text("TEX1"), 490));
      r.setReal("CANT", row.quantity);
      tables::Record from(inco->def()), to(inco->def());
      from.setInteger("CTA", static_cast<int64_t>(row.catalogueConcept) * 100);
      to.setInteger("CTA", static_cast<int64_t>(row.catalogueConcept) * 100 + 99);
      int line = 0;
      std::vector<tables::Record> lines;
      if (Status s = inco->readRange(inco->keyIndex("CTA_KEY"), from, to,
                                     [&](const tables::Record& l) {
                                       lines.push_back(l);
                                       return true;
                                     });
          !s) {
        return fail(s);
      }
      for (const tables::Record& l : lines) {
        tables::Record& o = inob->rec();
        o.clear();
        o.setInteger("CTA", static_cast<int64_t>(account) * 100 + line++);
        o.setInteger("MATE", l.integer("MATE"));
        o.setInteger("CATE", l.integer("CATE"));
        o.setReal("TOTA", l.real("TOTA"));
        if (Status s = inob->insert(); !s) return fail(s);
      }
    }
    if (Status s = cobr->insert(); !s) return fail(s);
    account += 10;
  }
  return cobr->commit();
}

}  // namespace

Status fillDemoWorks(const tables::Installation& base, ErrorReporter& errors) {
  auto obra = base.table("OBRA", errors);
  auto control = base.table("CONTROL", errors);
  if (Status s = obra->open(); !s) return s;
  if (Status s = control->open(); !s) return s;
  for (const DemoWork& w : demoWorks()) {
    obra->rec().clear();
    obra->rec().setText("CTA", w.code);
    const tables::Found read = obra->fetch(obra->keyIndex("CTA_KEY"));
    if (read.failed()) return read.status();
    const bool registered = read.found();
    if (!registered) {
      works::WorkHeader h;
      h.code = w.code;
      h.directory = w.code;
      h.name = w.name;
      h.address = w.address;
      h.zone = w.zone;
      h.siteOverhead.percent = w.site;
      h.centralOverhead.percent = w.central;
      h.profit.percent = w.profit;
      h.otherCharges.percent = w.other;
      h.vat.percent = w.vat;
      h.hiddenLabour = w.hiddenLabour;
      h.hiddenMaterials = w.hiddenOther;
      works::fillDefaultCaptions(h);
      obra->rec() = works::workRecord(h);
    }
    if (Status s = works::prepareWorkDirectory(base.dataDir, w.code); !s) return s;
    tables::Installation inst = base;
    inst.workDir = works::workDirectory(base.dataDir, w.code);
    if (Status s = writeBudget(inst, errors, w); !s) return s;
    const tables::Record header = obra->rec();
    estimate::ZoneFactors zone;
    if (Status s = estimate::loadZoneFactors(*control, w.zone, &zone); !s) return s;
    if (Status s = works::calcula(inst, errors, works::workHeader(header), zone, 0); !s) return s;
    // The work is registered last: a run stopped before leaves no work
    // without its budget, and the next run completes it.
    if (!registered) {
      obra->rec() = header;
      if (Status s = obra->insert(); !s) return s;
    }
    if (Status s = works::writeCategoryTotals(inst, errors, w.code, 0); !s) return s;
  }
  return Status::ok();
}

}  // namespace velmora::app

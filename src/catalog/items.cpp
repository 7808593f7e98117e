#include "catalog/items.h"

#include "tables/catalogue.h"

namespace velmora::catalog {

namespace {

void readHead(const tables::Record& r, InputHead& in) {
  in.account = static_cast<int32_t>(r.integer("CTA"));
  in.text = r.text("TEXT");
  in.text2 = r.text("TEX1");
  in.kind = static_cast<int>(r.integer("TIPO"));
  in.gene = r.text("GENE");
  in.key = r.text("LLAV");
  in.unit = r.text("UNID");
}

tables::Record recordWithHead(const char* label, const InputHead& in) {
  tables::Record r(tables::tableDef(label));
  r.setInteger("CTA", in.account);
  r.setText("TEXT", in.text);
  r.setText("TEX1", in.text2);
  r.setInteger("TIPO", in.kind);
  r.setText("GENE", in.gene);
  r.setText("LLAV", in.key);
  r.setText("UNID", in.unit);
  return r;
}

}  // namespace

Input inputOf(const tables::Record& r) {
  Input in;
  readHead(r, in);
  for (int z = 1; z <= 5; ++z) {
    in.prices[z - 1] = r.real("COST", z);
    in.dates[z - 1] = static_cast<int32_t>(r.integer("FECH", z));
  }
  return in;
}

tables::Record inputRecord(const Input& in) {
  tables::Record r = recordWithHead("INBA", in);
  for (int z = 1; z <= 5; ++z) {
    r.setReal("COST", in.prices[z - 1], z);
    r.setInteger("FECH", in.dates[z - 1], z);
  }
  return r;
}

tables::Record workInputRecord(const WorkInput& in) {
  tables::Record r = recordWithHead("IOBR", in);
  r.setReal("COST", in.price);
  r.setInteger("FECH", in.date);
  return r;
}

GenericKey genericKeyOf(const tables::Record& r) { return {r.text("CTA"), r.text("TEXT"), r.text("TIPO")}; }

tables::Record genericKeyRecord(const GenericKey& key) {
  tables::Record r(tables::tableDef("CLAG"));
  r.setText("CTA", key.code);
  r.setText("TEXT", key.text);
  r.setText("TIPO", key.type);
  return r;
}

Line lineOf(const tables::Record& r) {
  const tables::TableDef& def = r.def();
  return {r.integerAt(def.slot("CTA")), static_cast<int32_t>(r.integerAt(def.slot("MATE"))),
          static_cast<int>(r.integerAt(def.slot("CATE"))), r.realAt(def.slot("TOTA"))};
}

void setLine(tables::Record& r, const Line& l) {
  r.clear();
  r.setInteger("CTA", l.number);
  r.setInteger("MATE", l.component);
  r.setInteger("CATE", l.category);
  r.setReal("TOTA", l.quantity);
}

void linesOfConcept(int32_t account, tables::Record& from, tables::Record& to) {
  from.setInteger("CTA", static_cast<int64_t>(account) * 100);
  to.setInteger("CTA", static_cast<int64_t>(account) * 100 + 99);
}

Concept conceptOf(const tables::Record& r) {
  Concept c;
  c.account = static_cast<int32_t>(r.integer("CTA"));
  c.text = r.text("TEXT");
  c.longText = r.text("TEX1");
  c.gene = r.text("GENE");
  c.key = r.text("LLAV");
  c.unit = r.text("UNID");
  return c;
}

tables::Record catalogueConceptRecord(const Concept& c, bool ownAnalysis) {
  tables::Record r(tables::tableDef("COBA"));
  r.setInteger("CTA", c.account);
  r.setText("TEXT", c.text);
  r.setText("TEX1", c.longText);
  r.setText("GENE", c.gene);
  r.setText("LLAV", c.key);
  r.setText("UNID", c.unit);
  r.setText("MIAS", ownAnalysis ? "1" : "");
  return r;
}

Machine machineOf(const tables::Record& r) {
  Machine m;
  m.account = static_cast<int32_t>(r.integer("CTA"));
  m.gene = r.text("GENE");
  m.key = r.text("LLAV");
  m.text = r.text("TEXT");
  m.text2 = r.text("TEX1");
  m.acquisitionInput = static_cast<int64_t>(r.real("EQUI"));
  m.tyreInput = r.integer("NEUM");
  m.tyreCount = r.integer("NNEU");
  m.salvagePercent = r.real("FINA");
  m.lifeHours = r.integer("HORV");
  m.tyreLifeHours = r.integer("HORL");
  m.yearHours = r.integer("ANUA");
  m.insurancePercent = r.real("SEGU");
  m.maintenanceFactor = r.real("FACT");
  m.fuelInput = r.integer("COMB");
  m.fuelPerHour = r.real("CONS");
  m.sumpCapacity = r.real("CACE");
  m.oilChangeHours = r.integer("HACE");
  m.lubricantPerHour = r.real("COLU");
  m.lubricantInput = r.integer("ACEI");
  m.crewConcept = r.integer("SUEL");
  return m;
}

tables::Record machineRecord(const Machine& m) {
  tables::Record r(tables::tableDef("MABA"));
  r.setInteger("CTA", m.account);
  r.setText("GENE", m.gene);
  r.setText("LLAV", m.key);
  r.setText("TEXT", m.text);
  r.setText("TEX1", m.text2);
  r.setReal("EQUI", static_cast<double>(m.acquisitionInput));
  r.setInteger("NEUM", m.tyreInput);
  r.setInteger("NNEU", m.tyreCount);
  r.setReal("FINA", m.salvagePercent);
  r.setInteger("HORV", m.lifeHours);
  r.setInteger("HORL", m.tyreLifeHours);
  r.setInteger("ANUA", m.yearHours);
  r.setReal("SEGU", m.insurancePercent);
  r.setReal("FACT", m.maintenanceFactor);
  r.setInteger("COMB", m.fuelInput);
  r.setReal("CONS", m.fuelPerHour);
  r.setReal("CACE", m.sumpCapacity);
  r.setInteger("HACE", m.oilChangeHours);
  r.setReal("COLU", m.lubricantPerHour);
  r.setInteger("ACEI", m.lubricantInput);
  r.setInteger("SUEL", m.crewConcept);
  return r;
}

}  // namespace velmora::catalog

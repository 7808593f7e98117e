#include "catalog/items.h"

#include "tables/catalogue.h"

namespace velmora::catalog {

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

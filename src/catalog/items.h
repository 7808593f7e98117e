// The catalogue's items as the program reads them, each with its mapper
// from and to its table's record: the only place their field names appear
// outside the table catalogue.
#pragma once

#include <cstdint>
#include <string>

#include "tables/record.h"

namespace velmora::catalog {

// A concept: of the catalogue (COBA) or a row of a work's budget (COBR),
// which share these fields.
struct Concept {
  int32_t account = 0;    // CTA
  std::string text;       // TEXT
  std::string longText;   // TEX1, the description in full
  std::string gene, key;  // GENE, LLAV
  std::string unit;       // UNID
};
Concept conceptOf(const tables::Record& coba);

// A machine (MABA): what its hourly cost is computed from.
struct Machine {
  int32_t account = 0;           // CTA
  std::string gene, key;         // GENE, LLAV
  std::string text;              // TEXT
  std::string text2;             // TEX1
  int64_t acquisitionInput = 0;  // EQUI: the input priced as its value (an account held in a real)
  int64_t tyreInput = 0;         // NEUM: the input priced as one tyre, 0 when none
  int64_t tyreCount = 0;         // NNEU
  double salvagePercent = 0;     // FINA
  int64_t lifeHours = 0;         // HORV
  int64_t tyreLifeHours = 0;     // HORL
  int64_t yearHours = 0;         // ANUA: hours of use in a year
  double insurancePercent = 0;   // SEGU: yearly policy
  double maintenanceFactor = 0;  // FACT
  int64_t fuelInput = 0;         // COMB
  double fuelPerHour = 0;        // CONS
  double sumpCapacity = 0;       // CACE
  int64_t oilChangeHours = 0;    // HACE
  double lubricantPerHour = 0;   // COLU
  int64_t lubricantInput = 0;    // ACEI, 0 when none
  int64_t crewConcept = 0;       // SUEL: the concept whose inputs are the operating crew
};

Machine machineOf(const tables::Record& maba);
// A new MABA record holding `machine`.
tables::Record machineRecord(const Machine& machine);

}  // namespace velmora::catalog

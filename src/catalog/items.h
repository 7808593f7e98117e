// The catalogue's items as the program reads them, each with its mapper
// from and to its table's record: what reports, pricing, exchange and the
// demo know of a record, instead of its field names.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tables/record.h"

namespace velmora::catalog {

// An input: of the catalogue (INBA), with a price and its date for each
// salary zone, or a work's own copy (IOBR), at the work's zone.
struct InputHead {
  int32_t account = 0;    // CTA
  std::string text;       // TEXT
  std::string text2;      // TEX1
  int kind = 0;           // TIPO: 3 material, 4 labour, 5 and 6 percentages
  std::string gene, key;  // GENE, LLAV
  std::string unit;       // UNID
};
struct Input : InputHead {
  std::array<double, 5> prices{};  // COST, by zone
  std::array<int32_t, 5> dates{};  // FECH, by zone: the day each price was set
};
Input inputOf(const tables::Record& inba);
// A new INBA record holding `input`.
tables::Record inputRecord(const Input& input);

// A work's own copy of an input (IOBR), at the work's zone.
struct WorkInput : InputHead {
  double price = 0;  // COST
  int32_t date = 0;  // FECH
};
// A new IOBR record holding `input`; the explosion's figures blank.
tables::Record workInputRecord(const WorkInput& input);

// A generic key (CLAG): the first part of the keys of inputs, concepts or
// machines.
struct GenericKey {
  std::string code;  // CTA
  std::string text;  // TEXT
  std::string type;  // TIPO: "I", "C" or "H"
};
GenericKey genericKeyOf(const tables::Record& clag);
tables::Record genericKeyRecord(const GenericKey& key);

// One analysis line as stored (INCO, and a work's INOB, which share these
// fields).
struct Line {
  int64_t number = 0;     // CTA, in hundredths: concept account * 100 + line
  int32_t component = 0;  // MATE: the input, machine or basic concept
  int category = 0;       // CATE
  double quantity = 0;    // TOTA
};
Line lineOf(const tables::Record& line);
// `record`, of a lines table, cleared and holding `line`.
void setLine(tables::Record& record, const Line& line);
// Sets `from` and `to` (of a lines table) to the numbers of concept
// `account`'s lines, .00 to .99.
void linesOfConcept(int32_t account, tables::Record& from, tables::Record& to);

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
// A new catalogue concept record (COBA) holding `head`; `ownAnalysis`
// marks an analysis of the company's own (MIAS "1").
tables::Record catalogueConceptRecord(const Concept& head, bool ownAnalysis);

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

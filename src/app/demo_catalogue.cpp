#include "app/demo_catalogue.h"

#include <vector>

#include "catalog/items.h"
#include "framework/dates.h"
#include "framework/money.h"

namespace velmora::app {

namespace {

struct GenericKey {
  const char* code;
  const char* type;
  const char* text;
};

constexpr GenericKey kGenericKeys[] = {
    {"MAT", "I", "MATERIALES DE CONSTRUCCION"},
    {"MOB", "I", "MANO DE OBRA"},
    {"POR", "I", "CARGOS EN PORCENTAJE"},
    {"EQU", "I", "VALOR DE EQUIPO Y REFACCIONES"},
    {"COM", "I", "COMBUSTIBLES Y LUBRICANTES"},
    {"MAQ", "H", "MAQUINARIA PESADA"},
    {"EQL", "H", "EQUIPO LIGERO"},
    {"PRE", "C", "PRELIMINARES"},
    {"CIM", "C", "CIMENTACION"},
    {"EST", "C", "ESTRUCTURA"},
    {"ALB", "C", "ALBAÑILERIA"},
    {"ACA", "C", "ACABADOS"},
    {"INS", "C", "INSTALACIONES"},
    {"BAS", "C", "BASICOS"},
    {"CUA", "C", "CUADRILLAS"},
    {"MAT", "C", "MATERIALES COMPUESTOS"},
};

struct Input {
  int account;
  const char* gene;
  const char* key;
  const char* text;
  const char* unit;
  int kind;
  double price;  // zone 3 (the reference zone); other zones by their factor
};

constexpr Input kInputs[] = {
    {10001, "MAT", "CEM-030", "CEMENTO GRIS PORTLAND CPC 30R", "TON", 3, 3850.00},
    {10002, "MAT", "ARE-001", "ARENA DE RIO", "M3", 3, 420.00},
    {10003, "MAT", "GRA-034", "GRAVA DE 3/4\"", "M3", 3, 460.00},
    {10004, "MAT", "AGU-001", "AGUA EN PIPA", "M3", 3, 45.00},
    {10005, "MAT", "CAL-001", "CAL HIDRATADA", "TON", 3, 2900.00},
    {10006, "MAT", "VAR-038", "VARILLA CORRUGADA FY=4200 DE 3/8\"", "TON", 3, 24500.00},
    {10007, "MAT", "ALA-018", "ALAMBRE RECOCIDO No. 18", "KG", 3, 38.00},
    {10008, "MAT", "CLA-212", "CLAVO DE 2 1/2\"", "KG", 3, 42.00},
    {10009, "MAT", "MAD-003", "MADERA DE PINO DE 3a PARA CIMBRA", "PT", 3, 18.50},
    {10010, "MAT", "BLO-015", "BLOCK HUECO DE CONCRETO 15x20x40", "PZA", 3, 14.80},
    {10011, "MAT", "TAB-007", "TABIQUE ROJO RECOCIDO 7x14x28", "PZA", 3, 3.60},
    {10012, "COM", "DIE-001", "DIESEL", "LT", 3, 25.80},
    {10013, "COM", "ACE-040", "ACEITE LUBRICANTE SAE 40", "LT", 3, 110.00},
    {10014, "EQU", "LLA-225", "LLANTA 11R22.5", "PZA", 3, 7800.00},
    {10015, "MAT", "PIN-VIN", "PINTURA VINILICA", "LT", 3, 95.00},
    {10016, "MAT", "YES-001", "YESO", "TON", 3, 3100.00},
    {10017, "MAT", "AZU-203", "AZULEJO 20x30 CM", "M2", 3, 185.00},
    {10018, "MAT", "ADH-001", "ADHESIVO PARA AZULEJO", "KG", 3, 6.50},
    {10019, "EQU", "RET-416", "RETROEXCAVADORA 416 (VALOR DE ADQUISICION)", "PZA", 3, 1850000.00},
    {10020, "EQU", "REV-001", "REVOLVEDORA DE 1 SACO (VALOR)", "PZA", 3, 48000.00},
    {10021, "EQU", "CAM-007", "CAMION DE VOLTEO 7 M3 (VALOR)", "PZA", 3, 1450000.00},
    {10022, "COM", "GAS-001", "GASOLINA", "LT", 3, 24.10},
    {10023, "MAT", "PVC-004", "TUBO DE PVC SANITARIO DE 4\"", "M", 3, 95.00},
    {10024, "MAT", "IMP-001", "IMPERMEABILIZANTE ACRILICO", "LT", 3, 78.00},
    {10025, "EQU", "VIB-001", "VIBRADOR PARA CONCRETO (VALOR)", "PZA", 3, 15600.00},
    {20001, "MOB", "PEO", "PEON", "JOR", 4, 420.00},
    {20002, "MOB", "OF-ALB", "OFICIAL ALBAÑIL", "JOR", 4, 650.00},
    {20003, "MOB", "OF-FIE", "OFICIAL FIERRERO", "JOR", 4, 650.00},
    {20004, "MOB", "OF-CAR", "OFICIAL CARPINTERO", "JOR", 4, 650.00},
    {20005, "MOB", "CABO", "CABO DE OFICIOS", "JOR", 4, 800.00},
    {20006, "MOB", "OPE-MAQ", "OPERADOR DE MAQUINARIA PESADA", "JOR", 4, 1000.00},
    {20007, "MOB", "AYU", "AYUDANTE GENERAL", "JOR", 4, 380.00},
    {20008, "MOB", "OF-PIN", "OFICIAL PINTOR", "JOR", 4, 620.00},
    {20009, "MOB", "OF-YES", "OFICIAL YESERO", "JOR", 4, 620.00},
    {20010, "MOB", "CHOFER", "CHOFER DE CAMION", "JOR", 4, 700.00},
    {30001, "POR", "HTA-MEN", "HERRAMIENTA MENOR", "%", 6, 0},
    {30002, "POR", "DESP", "DESPERDICIO DE MATERIALES", "%", 5, 0},
    {30003, "POR", "SEG", "EQUIPO DE SEGURIDAD", "%", 6, 0},
};

// Prices by zone relative to zone 3.
constexpr double kZoneFactor[5] = {1.12, 1.05, 1.00, 1.03, 0.97};

struct Machine {
  int account;
  const char* gene;
  const char* key;
  const char* text;
  int equipment, tyre, tyres;
  double salvage;
  int life, tyreLife;
  double crankcase, insurance, maintenance;
  int oilChangeHours;
  double oilPerHour;
  int oil, yearHours, crew, fuel;
  double fuelPerHour;
};

constexpr Machine kMachines[] = {
    {500,   "EQL", "REV-1S", "REVOLVEDORA PARA CONCRETO DE 1 SACO, MOTOR 8 HP",
     10020, 0,     0,        10,
     4000,  0,     1.5,      2,
     0.8,   100,   0.01,     10013,
     1200,  900,   10022,    0.9},
    {501,   "MAQ", "RET-416", "RETROEXCAVADORA CATERPILLAR 416",
     10019, 10014, 4,         20,
     10000, 2000,  15,        3,
     0.75,  250,   0.04,      10013,
     1600,  904,   10012,     8},
    {502,   "MAQ", "CAM-7M3", "CAMION DE VOLTEO DE 7 M3",
     10021, 10014, 10,        20,
     12000, 2000,  20,        3,
     0.7,   200,   0.05,      10013,
     1800,  905,   10012,     9},
    {503,   "EQL", "VIB-CH", "VIBRADOR PARA CONCRETO CON CHICOTE",
     10025, 0,     0,        5,
     3000,  0,     0.8,      2,
     0.6,   100,   0.005,    10013,
     1000,  900,   10022,    0.5},
};

struct LineSpec {
  int category;
  int component;
  double quantity;
};

struct Concept {
  int account;
  const char* gene;
  const char* key;
  const char* text;
  const char* unit;
  bool own;
  std::vector<LineSpec> lines;
};

// Crews (900...), basics (800...) and concepts (1001...). Lines are listed in
// category order, as saving a concept keeps them.
const std::vector<Concept>& concepts() {
  static const std::vector<Concept> all = {
      {900, "CUA", "CUA-01", "CUADRILLA No. 1 (1 PEON)", "JOR", false, {{4, 20001, 1}}},
      {901,
       "CUA",
       "CUA-02",
       "CUADRILLA (1 OFICIAL ALBAÑIL + 1 PEON)",
       "JOR",
       false,
       {{4, 20002, 1}, {4, 20001, 1}, {4, 20005, 0.1}, {4, 30003, 2}}},
      {902,
       "CUA",
       "CUA-03",
       "CUADRILLA (1 OFICIAL FIERRERO + 1 AYUDANTE)",
       "JOR",
       false,
       {{4, 20003, 1}, {4, 20007, 1}, {4, 20005, 0.1}}},
      {903,
       "CUA",
       "CUA-04",
       "CUADRILLA (1 OFICIAL CARPINTERO + 1 AYUDANTE)",
       "JOR",
       false,
       {{4, 20004, 1}, {4, 20007, 1}, {4, 20005, 0.1}}},
      {904, "CUA", "CUA-05", "CUADRILLA (1 OPERADOR DE MAQUINARIA)", "JOR", false, {{4, 20006, 1}}},
      {905, "CUA", "CUA-06", "CUADRILLA (1 CHOFER)", "JOR", false, {{4, 20010, 1}}},
      {906,
       "CUA",
       "CUA-07",
       "CUADRILLA (1 OFICIAL PINTOR + 0.5 AYUDANTE)",
       "JOR",
       false,
       {{4, 20008, 1}, {4, 20007, 0.5}}},
      {907,
       "CUA",
       "CUA-08",
       "CUADRILLA (1 OFICIAL YESERO + 0.5 AYUDANTE)",
       "JOR",
       false,
       {{4, 20009, 1}, {4, 20007, 0.5}}},
      {800,
       "BAS",
       "MOR-15",
       "MORTERO CEMENTO-ARENA 1:5",
       "M3",
       false,
       {{1, 901, 0.35}, {2, 500, 1.0}, {3, 10001, 0.29}, {3, 10002, 1.1}, {3, 10004, 0.25}}},
      {801,
       "BAS",
       "CON-150",
       "CONCRETO HECHO EN OBRA F'C=150 KG/CM2",
       "M3",
       false,
       {{1, 901, 0.5},
        {2, 500, 1.5},
        {2, 503, 1.0},
        {3, 10001, 0.30},
        {3, 10002, 0.55},
        {3, 10003, 0.70},
        {3, 10004, 0.22},
        {6, 0, 3}}},
      {802,
       "BAS",
       "CON-200",
       "CONCRETO HECHO EN OBRA F'C=200 KG/CM2",
       "M3",
       false,
       {{1, 901, 0.55},
        {2, 500, 1.5},
        {2, 503, 1.0},
        {3, 10001, 0.36},
        {3, 10002, 0.50},
        {3, 10003, 0.68},
        {3, 10004, 0.22},
        {6, 0, 3}}},
      {803,
       "BAS",
       "CIM-COM",
       "CIMBRA COMUN DE MADERA",
       "M2",
       false,
       {{1, 903, 0.12}, {3, 10009, 4.0}, {3, 10008, 0.15}, {3, 30002, 5}, {6, 0, 3}}},
      {804,
       "BAS",
       "ACE-038",
       "ACERO DE REFUERZO DE 3/8\" HABILITADO Y ARMADO",
       "TON",
       false,
       {{1, 902, 4.5}, {3, 10006, 1.05}, {3, 10007, 20}, {6, 0, 3}}},
      {805,
       "BAS",
       "CAS-1515",
       "CASTILLO 15x15 CON CONCRETO F'C=150 Y 4 VAR 3/8\"",
       "M",
       false,
       {{1, 801, 0.0225}, {1, 804, 0.0025}, {1, 803, 0.6}, {3, 10007, 0.05}}},
      {806,
       "BAS",
       "MOR-CAL",
       "MORTERO CEMENTO-CAL-ARENA 1:1:6",
       "M3",
       false,
       {{1, 901, 0.35}, {2, 500, 1.0}, {3, 10001, 0.20}, {3, 10005, 0.12}, {3, 10002, 1.1}, {3, 10004, 0.25}}},
      {1001,
       "PRE",
       "PRE-001",
       "LIMPIEZA, TRAZO Y NIVELACION DEL TERRENO",
       "M2",
       false,
       {{1, 901, 0.02}, {3, 10005, 0.0005}, {6, 0, 3}}},
      {1002,
       "PRE",
       "PRE-002",
       "EXCAVACION CON MAQUINA EN MATERIAL TIPO II",
       "M3",
       false,
       {{1, 900, 0.05}, {2, 501, 0.08}}},
      {1003,
       "PRE",
       "PRE-003",
       "CARGA Y ACARREO EN CAMION AL PRIMER KILOMETRO",
       "M3",
       false,
       {{2, 502, 0.05}, {2, 501, 0.02}}},
      {1004, "PRE", "PRE-004", "EXCAVACION A MANO EN CEPAS HASTA 2 M", "M3", false, {{1, 900, 0.45}, {6, 0, 3}}},
      {1005,
       "PRE",
       "PRE-005",
       "RELLENO COMPACTADO CON PISON DE MANO",
       "M3",
       false,
       {{1, 900, 0.35}, {3, 10004, 0.15}, {6, 0, 3}}},
      {1006,
       "CIM",
       "CIM-001",
       "PLANTILLA DE CONCRETO F'C=100 DE 5 CM",
       "M2",
       false,
       {{1, 801, 0.05}, {1, 901, 0.04}, {6, 0, 3}}},
      {1007,
       "CIM",
       "CIM-002",
       "ZAPATA AISLADA DE CONCRETO F'C=200",
       "M3",
       false,
       {{1, 802, 1.03}, {1, 804, 0.06}, {1, 803, 2.0}, {1, 901, 0.6}}},
      {1008,
       "CIM",
       "CIM-003",
       "CONTRATRABE DE 20x40 CM",
       "M",
       false,
       {{1, 802, 0.084}, {1, 804, 0.012}, {1, 803, 0.8}, {1, 901, 0.08}}},
      {1009,
       "CIM",
       "CIM-004",
       "CADENA DE DESPLANTE DE 15x20 CM",
       "M",
       false,
       {{1, 801, 0.032}, {1, 804, 0.004}, {1, 803, 0.4}, {1, 901, 0.05}}},
      {1010,
       "ALB",
       "ALB-001",
       "MURO DE BLOCK HUECO DE 15 CM JUNTEADO CON MORTERO 1:5",
       "M2",
       false,
       {{1, 800, 0.015}, {1, 901, 0.1}, {3, 10010, 12.5}, {5, 0, 3}, {6, 0, 3}}},
      {1011,
       "ALB",
       "ALB-002",
       "MURO DE TABIQUE ROJO DE 14 CM",
       "M2",
       false,
       {{1, 800, 0.03}, {1, 901, 0.12}, {3, 10011, 55}, {5, 0, 3}, {6, 0, 3}}},
      {1012, "EST", "EST-001", "CASTILLO DE 15x15 CM", "M", false, {{1, 805, 1.0}, {1, 901, 0.05}}},
      {1013,
       "EST",
       "EST-002",
       "DALA DE CERRAMIENTO DE 15x20 CM",
       "M",
       false,
       {{1, 801, 0.03}, {1, 804, 0.004}, {1, 803, 0.55}, {1, 901, 0.06}}},
      {1014,
       "EST",
       "EST-003",
       "LOSA DE CONCRETO F'C=200 DE 10 CM",
       "M2",
       false,
       {{1, 802, 0.105}, {1, 804, 0.008}, {1, 803, 1.0}, {1, 901, 0.15}, {2, 503, 0.05}}},
      {1015,
       "EST",
       "EST-004",
       "FIRME DE CONCRETO F'C=150 DE 8 CM",
       "M2",
       false,
       {{1, 801, 0.085}, {1, 901, 0.08}, {6, 0, 3}}},
      {1016,
       "ACA",
       "ACA-001",
       "APLANADO DE MORTERO CEMENTO-CAL-ARENA EN MUROS",
       "M2",
       false,
       {{1, 806, 0.02}, {1, 901, 0.08}, {6, 0, 3}}},
      {1017,
       "ACA",
       "ACA-002",
       "APLANADO DE YESO EN PLAFONES",
       "M2",
       false,
       {{1, 907, 0.07}, {3, 10016, 0.012}, {6, 0, 3}}},
      {1018,
       "ACA",
       "ACA-003",
       "PINTURA VINILICA EN MUROS A DOS MANOS",
       "M2",
       false,
       {{1, 906, 0.03}, {3, 10015, 0.25}, {6, 0, 3}}},
      {1019,
       "ACA",
       "ACA-004",
       "LAMBRIN DE AZULEJO 20x30 CM",
       "M2",
       false,
       {{1, 901, 0.1}, {3, 10017, 1.05}, {3, 10018, 5}, {5, 0, 5}}},
      {1020,
       "ACA",
       "ACA-005",
       "IMPERMEABILIZACION ACRILICA DE AZOTEA",
       "M2",
       false,
       {{1, 906, 0.03}, {3, 10024, 1.2}, {4, 30001, 3}}},
      {1021,
       "ACA",
       "ACA-006",
       "PISO DE CONCRETO ACABADO PULIDO",
       "M2",
       false,
       {{1, 801, 0.085}, {1, 901, 0.12}, {3, 10001, 0.002}, {6, 0, 3}}},
      {1022,
       "INS",
       "INS-001",
       "SALIDA SANITARIA CON TUBO DE PVC DE 4\"",
       "SAL",
       false,
       {{1, 901, 0.3}, {3, 10023, 3}, {5, 0, 5}}},
      {1023,
       "ALB",
       "ALB-003",
       "REGISTRO SANITARIO DE 40x60 CM",
       "PZA",
       false,
       {{1, 800, 0.04}, {1, 801, 0.05}, {1, 901, 0.8}, {3, 10011, 110}}},
      {1024, "ALB", "ALB-004", "CHAFLAN DE MORTERO EN AZOTEA", "M", false, {{1, 800, 0.005}, {1, 901, 0.03}}},
      {1025,
       "ALB",
       "ALB-005",
       "BOQUILLA DE MORTERO EN VANOS",
       "M",
       false,
       {{1, 806, 0.003}, {1, 901, 0.04}, {6, 0, 3}}},
      {1026, "PRE", "PRE-006", "ACARREO DE MATERIAL EN CARRETILLA A 20 M", "M3", false, {{1, 900, 0.25}}},
      {1027,
       "EST",
       "EST-005",
       "TRABE DE CONCRETO F'C=200 DE 20x40 CM",
       "M",
       false,
       {{1, 802, 0.08}, {1, 804, 0.015}, {1, 803, 1.2}, {1, 901, 0.1}, {2, 503, 0.02}}},
      {1028,
       "ACA",
       "ACA-007",
       "LAMBRIN DE AZULEJO CON ANALISIS PROPIO",
       "M2",
       true,
       {{1, 901, 0.09}, {3, 10017, 1.03}, {3, 10018, 4.5}, {3, 20002, 0.02}, {5, 0, 4}}},
      {1029,
       "CIM",
       "CIM-005",
       "EXCAVACION, PLANTILLA Y ZAPATA (PAQUETE)",
       "PZA",
       true,
       {{1, 1004, 1.2}, {1, 1006, 1.0}, {1, 1007, 0.35}}},
      {1030,
       "EST",
       "EST-006",
       "COLUMNA DE 30x30 CM CON CONCRETO F'C=200",
       "M",
       false,
       {{1, 802, 0.09}, {1, 804, 0.02}, {1, 803, 1.2}, {1, 901, 0.12}, {2, 503, 0.03}}},
  };
  return all;
}

}  // namespace

namespace {
Status fillCatalogue(tables::Table& clag, tables::Table& inba, tables::Table& maba, tables::Table& coba,
                     tables::Table& inco);
}  // namespace

Status fillDemoCatalogue(const tables::Installation& inst, ErrorReporter& errors) {
  auto inba = inst.table("INBA", errors);
  if (Status s = inba->open(); !s) return s;
  int64_t stored = 0;
  if (Status s = inba->count(&stored); !s) return s;
  if (stored > 0) return Status::ok();

  auto clag = inst.table("CLAG", errors);
  auto maba = inst.table("MABA", errors);
  auto coba = inst.table("COBA", errors);
  auto inco = inst.table("INCO", errors);
  // The whole catalogue in one transaction over its five files: a run
  // killed half-way leaves no inputs, and the next run fills it all.
  for (auto* t : {clag.get(), maba.get(), coba.get(), inco.get()}) {
    if (Status s = t->open(); !s) return s;
    if (Status s = t->shareConnectionOf(*inba); !s) return s;
  }
  if (Status s = inba->begin(); !s) return s;
  const Status filled = fillCatalogue(*clag, *inba, *maba, *coba, *inco);
  if (!filled) {
    inba->rollback();
    return filled;
  }
  return inba->commit();
}

namespace {

Status fillCatalogue(tables::Table& clag_, tables::Table& inba_, tables::Table& maba_, tables::Table& coba_,
                     tables::Table& inco_) {
  tables::Table *clag = &clag_, *inba = &inba_, *maba = &maba_, *coba = &coba_, *inco = &inco_;
  const int32_t priceDate = dates::dayNumber(2026, 11, 2);

  for (const auto& g : kGenericKeys) {
    clag->rec() = catalog::genericKeyRecord({g.code, g.text, g.type});
    if (Status s = clag->insert(); !s) return s;
  }
  for (const auto& in : kInputs) {
    catalog::Input input{{in.account, in.text, {}, in.kind, in.gene, in.key, in.unit}, {}, {}};
    for (int z = 1; z <= 5 && in.kind <= 4; ++z) {
      input.prices[z - 1] = money::round2(in.price * kZoneFactor[z - 1]);
      input.dates[z - 1] = priceDate;
    }
    inba->rec() = catalog::inputRecord(input);
    if (Status s = inba->insert(); !s) return s;
  }
  for (const auto& m : kMachines) {
    catalog::Machine machine;
    machine.account = m.account;
    machine.gene = m.gene;
    machine.key = m.key;
    machine.text = m.text;
    machine.acquisitionInput = m.equipment;
    machine.tyreInput = m.tyre;
    machine.tyreCount = m.tyres;
    machine.salvagePercent = m.salvage;
    machine.lifeHours = m.life;
    machine.tyreLifeHours = m.tyreLife;
    machine.sumpCapacity = m.crankcase;
    machine.insurancePercent = m.insurance;
    machine.maintenanceFactor = m.maintenance;
    machine.oilChangeHours = m.oilChangeHours;
    machine.lubricantPerHour = m.oilPerHour;
    machine.lubricantInput = m.oil;
    machine.yearHours = m.yearHours;
    machine.crewConcept = m.crew;
    machine.fuelInput = m.fuel;
    machine.fuelPerHour = m.fuelPerHour;
    maba->rec() = catalog::machineRecord(machine);
    if (Status s = maba->insert(); !s) return s;
  }
  for (const auto& c : concepts()) {
    coba->rec() = catalog::catalogueConceptRecord({c.account, c.text, c.text, c.gene, c.key, c.unit}, c.own);
    if (Status s = coba->insert(); !s) return s;
    int n = 0;
    for (const auto& l : c.lines) {
      catalog::setLine(inco->rec(), {static_cast<int64_t>(c.account) * 100 + n++, l.component, l.category, l.quantity});
      if (Status s = inco->insert(); !s) return s;
    }
  }
  return Status::ok();
}

}  // namespace
}  // namespace velmora::app

#include "tables/catalogue.h"

#include <string>

#include "tables/record.h"

namespace velmora::tables {
namespace {

FieldDef S(const char* name, int n, int count = 1) { return {name, FieldType::kString, n, count}; }
FieldDef CS(const char* name, int n) { return {name, FieldType::kCString, n, 1}; }
FieldDef B(const char* name, int count = 1) { return {name, FieldType::kByte, 0, count}; }
FieldDef SH(const char* name) { return {name, FieldType::kShort, 0, 1}; }
FieldDef L(const char* name, int count = 1) { return {name, FieldType::kLong, 0, count}; }
FieldDef R(const char* name, int count = 1) { return {name, FieldType::kReal, 0, count}; }
FieldDef D(const char* name) { return {name, FieldType::kDecimal92, 0, 1}; }
FieldDef M(const char* name, int n) { return {name, FieldType::kMemo, n, 1}; }

constexpr unsigned DUP = kDuplicates, CI = kCaseInsensitive, EE = kEmptyExcluded, PRI = kPrimary, AUTO = kAutoNumber;

void addAudit(std::vector<FieldDef>& f) {
  f.push_back(L("USUA"));
  f.push_back(L("ACFE"));
  f.push_back(L("ACHO"));
}

TableDef table(const char* label, const char* prefix, const char* file, std::vector<FieldDef> fields,
               std::vector<KeyDef> keys, bool audit) {
  TableDef t;
  t.label = label;
  t.prefix = prefix;
  t.fileName = file;
  t.storeName = label;
  t.fields = std::move(fields);
  if (audit) addAudit(t.fields);
  t.keys = std::move(keys);
  for (auto& k : t.keys) {
    if (k.description.empty()) k.description = t.qualified(k.name);
  }
  return t;
}

// A second label on the file of `base`: same layout and keys, its own prefix.
TableDef secondLabel(const TableDef& base, const char* label, const char* prefix) {
  TableDef t = base;
  t.label = label;
  t.prefix = prefix;
  for (auto& k : t.keys) {
    if (k.description == base.qualified(k.name)) k.description = t.qualified(k.name);
  }
  return t;
}

std::vector<FieldDef> inputFields() {
  return {L("CTA"),     S("TEXT", 35), S("TEX1", 35), B("TIPO"),   S("GENE", 3),
          S("LLAV", 9), S("UNID", 4),  R("COST", 5),  L("FECH", 5)};
}

std::vector<KeyDef> inputKeys() {
  return {{"CTA_KEY", {"CTA"}, EE | PRI | AUTO, "x CUENTA"},
          {"CLA_KEY", {"GENE", "LLAV"}, DUP | CI, "x CLAVE"},
          {"DES_KEY", {"TEXT"}, DUP | CI, "x DESCRIPCION"},
          {"TIP_KEY", {"TIPO", "CTA"}, DUP | CI, "x TIPO"}};
}

std::vector<FieldDef> lineFields() { return {D("CTA"), L("MATE"), B("CATE"), R("TOTA")}; }

std::vector<TableDef> build() {
  std::vector<TableDef> all;

  std::vector<FieldDef> obra = {
      S("CTA", 8), S("OBRA", 50), S("DIRE", 50), R("INDO"), S("AOBR", 30), R("GANA"), S("TUTI", 30), R("IMPV"),
      S("TIVA", 30), R("INDC"), S("ACEN", 30), R("CARI"), S("TEXT", 30), R("POMO"), R("POMA"), B("LIST"), S("INC1", 1),
      S("INC2", 1), S("ISAR", 1), R("TOBR"), R("TMAT"), R("TCOS"), R("TPOR"), R("SECO"), R("ANTI"), R("ANPA"),
      S("DICO", 80), B("POAU", 10),
      // The fifteen accounting codes (group CONTA), one array per member.
      L("CC", 15), L("SCC", 15), L("SSCC", 15), L("SSSCC", 15), L("SSSSCC", 15), R("POHO"), R("IMHO")};
  all.push_back(table("OBRA", "OBR", "DATA1", obra, {{"CTA_KEY", {"CTA"}, EE, "x CUENTA"}}, true));

  std::vector<FieldDef> control = {
      B("CTA"),  S("ZONA", 30), R("DHAB"), R("PORC"),         R("VACA"),     R("DIVA"), R("GRAT"), R("SUEL"),
      R("IINF"), R("ISAR"),     R("IISN"), R("PIMS"),         R("EIMS"),     R("PDPR"), R("PDEM"), R("GMPA"),
      R("GMEM"), R("RIPA"),     R("RIEM"), R("INPA"),         R("INEM"),     R("GUPA"), R("GUEM"), R("EXPA"),
      R("EXEM"), R("CEPA"),     R("CEEM"), S("DIAS", 20, 13), R("SUDI", 15), R("MINI"), R("MAXI"), L("USUA")};
  TableDef ctl = table("CONTROL", "CTL", "DATA0", control, {{"KEYCTA", {"CTA"}, CI | EE | AUTO, ""}}, false);
  ctl.checks.push_back({"CTA", 1, 5, "LLAVE"});
  all.push_back(ctl);

  all.push_back(
      table("PERS", "PER", "DATA7",
            {L("CTA"), S("NOMB", 30), S("LOGIN", 10), S("PASS", 128), B("PRES", 20), B("ESTI", 20), B("MATE", 20),
             B("COBR", 20), S("EQUI", 1, 20), B("VENT", 20), B("NOMI", 20), B("SCON", 20), B("VARI", 20)},
            {{"CTA_KEY", {"CTA"}, CI | EE | PRI | AUTO, ""},
             {"LOG_KEY", {"LOGIN", "PASS"}, CI | EE, ""},
             {"NOM_KEY", {"NOMB"}, DUP | CI | EE, ""}},
            true));

  TableDef vga = table("VGA", "VGA", "FONTS.DLL", {L("CTA"), S("CIA", 50), S("LOGIN", 10), S("CLAV", 128)},
                       {{"CTA_KEY", {"CTA"}, DUP | CI | EE, ""}}, false);
  vga.settingsRole = true;
  all.push_back(vga);

  all.push_back(table("SERV", "SER", "USB.DLL",
                      {L("CTA"), CS("SERVER", 80), CS("USER", 80), CS("PASS", 80), CS("DIRE", 80), S("TEXTO", 80, 10),
                       L("LONG", 10), R("REAL", 10)},
                      {{"CTA_KEY", {"CTA"}, CI | EE | PRI | AUTO, ""}}, false));

  all.push_back(table("INBA", "INB", "DATA4", inputFields(), inputKeys(), true));
  all.push_back(table("INBAA", "INBA", "DATA4A", inputFields(), inputKeys(), true));
  all.back().stationFile = true;

  all.push_back(table(
      "MABA", "MAB", "DATA5",
      {L("CTA"),  S("GENE", 3), S("LLAV", 9), S("TEXT", 50), S("TEX1", 50), R("FINA"), SH("HORV"), SH("HORL"),
       R("EQUI"), L("NEUM"),    B("NNEU"),    R("CACE"),     R("SEGU"),     R("FACT"), SH("HACE"), R("COLU"),
       L("ACEI"), L("FLHI"),    L("FLHR"),    SH("ANUA"),    L("SUEL"),     L("COMB"), R("CONS")},
      {{"CTA_KEY", {"CTA"}, EE, ""}, {"DES_KEY", {"TEXT"}, DUP | CI, ""}, {"CLA_KEY", {"GENE", "LLAV"}, DUP | CI, ""}},
      true));

  std::vector<FieldDef> coba = {L("CTA"), S("TEXT", 50), S("GENE", 3), S("LLAV", 9), S("UNID", 4), S("MIAS", 1)};
  addAudit(coba);
  coba.push_back(M("TEX1", 700));
  TableDef cob = table("COBA", "COB", "DATA3", coba,
                       {{"CTA_KEY", {"CTA"}, CI | EE | PRI | AUTO, "x CUENTA"},
                        {"CLA_KEY", {"GENE", "LLAV"}, DUP | CI, "x CLAVE"},
                        {"DES_KEY", {"TEXT"}, DUP | CI, "x DESCRIPCION"}},
                       false);
  all.push_back(cob);
  all.push_back(secondLabel(cob, "COBT", "CBT"));

  TableDef inc =
      table("INCO", "INC", "DATA6", lineFields(),
            {{"CTA_KEY", {"CTA"}, DUP | CI, "x CUENTA"}, {"INS_KEY", {"CATE", "CTA"}, DUP | EE, "x TIPO"}}, true);
  all.push_back(inc);
  all.push_back(secondLabel(inc, "INCT", "ICT"));

  all.push_back(table("CLAG", "CLG", "DATA2", {S("CTA", 3), S("TEXT", 30), S("TIPO", 1)},
                      {{"CTA_KEY", {"TIPO", "CTA"}, EE, "x CUENTA"},
                       {"TIP_KEY", {"CTA"}, DUP | CI | EE, ""},
                       {"DES_KEY", {"TEXT"}, DUP | EE, "x DESCRIPCION"}},
                      true));

  all.push_back(
      table("PATR", "PAT", "DATA9",
            {L("CTA"), L("TIPO"), S("NOMB", 30), S("DIRE", 30), S("POBL", 30), S("CIUD", 30), L("CODI"), S("TELE", 15),
             S("TEL2", 15), S("FAX", 15), S("MAIL", 80), S("WEB", 80), S("PROM", 80, 5), M("COME", 500)},
            {{"CTA_KEY", {"CTA"}, CI | PRI | AUTO, ""},
             {"DES_KEY", {"NOMB"}, DUP | CI, ""},
             {"TIP_KEY", {"TIPO"}, DUP | CI | EE, ""},
             {"CIU_KEY", {"CIUD"}, DUP | CI | EE, ""}},
            false));

  all.push_back(table("TIPA", "TIA", "DATA8", {L("CTA"), S("DESC", 30)},
                      {{"CTA_KEY", {"CTA"}, CI | EE | PRI | AUTO, ""}, {"DES_KEY", {"DESC"}, DUP | CI, ""}}, false));

  std::vector<FieldDef> cobr = {L("CTA"),  S("TEXT", 50), S("GENE", 3), S("LLAV", 9), S("UNID", 4), S("TIPO", 1),
                                R("CANT"), R("PUNI"),     R("IMPO"),    R("TOBR"),    R("TMAT"),    R("TCOS"),
                                R("TPOR"), R("TOB1"),     R("TMA1"),    R("TCO1"),    R("TPO1")};
  addAudit(cobr);
  cobr.push_back(M("TEX1", 700));
  all.push_back(table("COBR", "COO", "OBRA1", cobr,
                      {{"CTA_KEY", {"CTA"}, CI | EE | PRI | AUTO, "x CUENTA"},
                       {"CLA_KEY", {"GENE", "LLAV"}, DUP | CI, "x CLAVE"},
                       {"DES_KEY", {"TEXT"}, DUP | CI, "x DESCRIPCION"}},
                      false));

  all.push_back(table("IOBR", "IOB", "OBRA2",
                      {L("CTA"),  S("TEXT", 35), S("TEX1", 35), B("TIPO"), S("GENE", 3), S("LLAV", 9), S("UNID", 4),
                       R("COST"), L("FECH"),     R("SAIN"),     R("COIN"), R("CANT"),    R("CANR"),    R("TOTA"),
                       R("UCOS"), R("SUBS"),     R("COOB"),     R("SAOB"), R("PREF"),    L("FREF")},
                      {{"CTA_KEY", {"CTA"}, EE | PRI | AUTO, "x CUENTA"},
                       {"CLA_KEY", {"GENE", "LLAV"}, DUP | CI, "x CLAVE"},
                       {"DES_KEY", {"TEXT"}, DUP | CI, "x DESCRIPCION"},
                       {"TIP_KEY", {"TIPO", "CTA"}, DUP | CI, "x TIPO"}},
                      true));

  all.push_back(table("INOB", "INO", "OBRA3", lineFields(),
                      {{"CTA_KEY", {"CTA"}, DUP | CI, "x CUENTA"}, {"INS_KEY", {"CTA", "CATE"}, DUP | EE, "x TIPO"}},
                      true));

  all.push_back(table("HORA", "HOR", "OBRA5", {L("CTA"), S("DESC", 50), R("CANT"), R("PREC"), S("DPRO", 30)},
                      {{"CTA_KEY", {"CTA"}, 0, ""}}, true));

  // The two second labels share the SQL table of their first label.
  for (auto& t : all) {
    if (t.label == "COBT") t.storeName = "COBA";
    if (t.label == "INCT") t.storeName = "INCO";
    t.finish();
  }
  return all;
}

}  // namespace

const std::vector<TableDef>& allTables() {
  static const std::vector<TableDef> tables = build();
  return tables;
}

const TableDef& tableDef(std::string_view label) {
  for (const auto& t : allTables()) {
    if (t.label == label) return t;
  }
  throw UnknownName("tabla desconocida: " + std::string(label));
}

const std::vector<RelationDef>& allRelations() {
  static const std::vector<RelationDef> relations = {
      {"COBR", "INOB", "CTA", "CTA", "CTA_KEY", DeleteRule::kCascade, true},
      {"COBA", "INCO", "CTA", "CTA", "CTA_KEY", DeleteRule::kCascade, true},
      {"CLAG", "INBA", "CTA", "GENE", "CLA_KEY", DeleteRule::kNone, false},
  };
  return relations;
}

bool isWorkTable(std::string_view label) {
  return label == "COBR" || label == "IOBR" || label == "INOB" || label == "HORA";
}

}  // namespace velmora::tables

#include "works/work.h"

#include <algorithm>

#include "framework/money.h"
#include "framework/text.h"
#include "tables/catalogue.h"

namespace velmora::works {

namespace fs = std::filesystem;

bool isWorkOpen(const shell::Session& session) {
  const std::string code = text::clip(session.currentWorkCode);
  return !code.empty() && code != kNoWork && !text::clip(session.currentWorkName).empty();
}

namespace {

// The caption a blank one reads as: its field and its place in the header.
struct DefaultCaption {
  const char* field;
  Charge WorkHeader::*charge;
  const char* text;
};
const DefaultCaption kDefaultCaptions[] = {{"AOBR", &WorkHeader::siteOverhead, "ADMINISTRACION DE OBRA"},
                                           {"TUTI", &WorkHeader::profit, "UTILIDAD"},
                                           {"TIVA", &WorkHeader::vat, "IMPUESTO AL VALOR AGREGADO"},
                                           {"ACEN", &WorkHeader::centralOverhead, "ADMINISTRACION CENTRAL"},
                                           {"TEXT", &WorkHeader::otherCharges, "CARGOS INDIRECTOS"}};

// A work's salary zone: its price list OBR:LIST, 1 to 5 (a value outside
// them, from an older file, reads as the nearest).
int workZone(int64_t storedList) { return static_cast<int>(std::clamp<int64_t>(storedList, 1, 5)); }

Charge charge(const tables::Record& obra, const char* caption, const char* percent) {
  return {obra.text(caption), obra.real(percent)};
}

}  // namespace

WorkHeader workHeader(const tables::Record& obra) {
  WorkHeader h;
  h.code = obra.text("CTA");
  h.name = obra.text("OBRA");
  h.address = obra.text("DIRE");
  h.directory = obra.text("DICO");
  h.zone = workZone(obra.integer("LIST"));
  h.hiddenLabour = obra.real("POMO");
  h.hiddenMaterials = obra.real("POMA");
  h.siteOverhead = charge(obra, "AOBR", "INDO");
  h.centralOverhead = charge(obra, "ACEN", "INDC");
  h.profit = charge(obra, "TUTI", "GANA");
  h.otherCharges = charge(obra, "TEXT", "CARI");
  h.vat = charge(obra, "TIVA", "IMPV");
  h.statesSalaryCharges = text::clip(obra.text("ISAR")) == "D";
  h.secodam = obra.real("SECO");
  h.totals = {obra.real("TOBR"), obra.real("TMAT"), obra.real("TCOS"), obra.real("TPOR")};
  return h;
}

tables::Record workRecord(const WorkHeader& h) {
  tables::Record r(tables::tableDef("OBRA"));
  r.setText("CTA", h.code);
  r.setText("OBRA", h.name);
  r.setText("DIRE", h.address);
  r.setText("DICO", h.directory);
  r.setInteger("LIST", h.zone);
  r.setReal("POMO", h.hiddenLabour);
  r.setReal("POMA", h.hiddenMaterials);
  const auto put = [&r](const Charge& c, const char* caption, const char* percent) {
    r.setText(caption, c.caption);
    r.setReal(percent, c.percent);
  };
  put(h.siteOverhead, "AOBR", "INDO");
  put(h.centralOverhead, "ACEN", "INDC");
  put(h.profit, "TUTI", "GANA");
  put(h.otherCharges, "TEXT", "CARI");
  put(h.vat, "TIVA", "IMPV");
  r.setText("ISAR", h.statesSalaryCharges ? "D" : "");
  r.setReal("SECO", h.secodam);
  r.setReal("TOBR", h.totals.labour);
  r.setReal("TMAT", h.totals.materials);
  r.setReal("TCOS", h.totals.equipment);
  r.setReal("TPOR", h.totals.percentages);
  return r;
}

Status readWorkHeaders(tables::Table& obra, std::vector<WorkHeader>* headers) {
  return obra.readAll(obra.keyIndex("CTA_KEY"), [&](const tables::Record& r) {
    headers->push_back(workHeader(r));
    return true;
  });
}

Status readWorkHeader(tables::Table& obra, const std::string& code, WorkHeader* header) {
  obra.rec().clear();
  obra.rec().setText("CTA", code);
  if (Status s = obra.fetch(obra.keyIndex("CTA_KEY")); !s) return s;
  *header = workHeader(obra.rec());
  return Status::ok();
}

void fillDefaultCaptions(tables::Record& obra) {
  for (const DefaultCaption& d : kDefaultCaptions) {
    if (text::clip(obra.text(d.field)).empty()) obra.setText(d.field, d.text);
  }
}

void fillDefaultCaptions(WorkHeader& header) {
  for (const DefaultCaption& d : kDefaultCaptions) {
    std::string& caption = (header.*d.charge).caption;
    if (text::clip(caption).empty()) caption = d.text;
  }
}

std::optional<std::array<std::string, 3>> workNameProblem(const tables::Record& obra) {
  if (!text::clip(obra.text("OBRA")).empty()) return std::nullopt;
  return std::array<std::string, 3>{"DEBE USTED DARLE UN NOMBRE", "A LA OBRA PARA QUE PUEDA", "SER REGISTRADA"};
}

std::optional<std::array<std::string, 3>> workCodeProblem(const tables::Record& obra) {
  if (isValidWorkCode(obra.text("CTA"))) return std::nullopt;
  return std::array<std::string, 3>{"LA CUENTA DE LA OBRA NOMBRA", "SU DIRECTORIO: SIN / \\ : NI .",
                                    "CON Ok CONTINUA..."};
}

void fillWorkFormDefaults(tables::Record& obra) {
  if (text::clip(obra.text("DICO")).empty()) obra.setText("DICO", text::clip(obra.text("CTA")));
}

namespace {

std::string oneLine(const std::array<std::string, 3>& lines) {
  std::string out;
  for (const std::string& l : lines) {
    if (l.empty() || l.rfind("CON Ok", 0) == 0) continue;
    out += (out.empty() ? "" : " ") + l;
  }
  return out;
}

}  // namespace

namespace {

// A work's folder reached through a symbolic link would have its tables
// written wherever the link points (another work, outside the
// installation): it is refused, never followed.
Status refuseLinkedWorkFolder(const tables::Installation& inst, const std::string& code) {
  std::error_code ec;
  if (!inst.onServer() && fs::is_symlink(fs::symlink_status(workDirectory(inst.dataDir, code), ec)))
    return Status::error(Status::Code::kInvalid,
                         "la carpeta de la obra " + code + " es un enlace simbólico; no se trabaja a través de él");
  return Status::ok();
}

// Whether anything is already stored under a new work's name: a folder (or
// a file, or a link) in files, or any of the per-work tables on a server. A
// new work never takes over what is there.
Status refuseTakenWorkPlace(const tables::Installation& work, const std::string& code) {
  std::error_code ec;
  if (!work.onServer() && fs::symlink_status(work.workDir, ec).type() != fs::file_type::not_found)
    return Status::error(Status::Code::kInvalid,
                         "ya existe " + work.workDir.string() + "; una obra nueva no toma una carpeta que ya existe");
  for (const char* label : {"COBR", "IOBR", "INOB", "HORA"}) {
    bool held = false;
    if (Status s = work.holdsTable(tables::tableDef(label), &held); !s) return s;
    if (held)
      return Status::error(Status::Code::kInvalid, "ya hay tablas de una obra " + code + " en el servidor; " +
                                                       "una obra nueva no toma las de otra");
  }
  return Status::ok();
}

}  // namespace

Status registerWork(const tables::Installation& base, ErrorReporter& errors, tables::Record obra, int32_t user) {
  if (auto problem = workNameProblem(obra)) return Status::error(Status::Code::kInvalid, oneLine(*problem));
  if (auto problem = workCodeProblem(obra))
    return Status::error(Status::Code::kInvalid, invalidWorkCodeText(text::clip(obra.text("CTA"))));
  if (obra.integer("LIST") < 1 || obra.integer("LIST") > 5)
    return Status::error(Status::Code::kInvalid, "la zona de salario debe ser del 1 al 5");
  fillWorkFormDefaults(obra);
  fillDefaultCaptions(obra);
  const std::string code = text::clip(obra.text("CTA"));
  auto registry = base.table("OBRA", errors);
  if (Status s = registry->open(); !s) return s;
  registry->setAuditUser(user);
  registry->rec() = obra;
  const tables::Found known = registry->fetch(registry->keyIndex("CTA_KEY"));
  if (known.failed()) return known.status();
  if (known.found()) return Status::error(Status::Code::kDuplicateKey, "ya existe la obra " + code);
  tables::Installation work = base;
  work.workDir = workDirectory(base.dataDir, code);
  if (Status s = refuseTakenWorkPlace(work, code); !s) return s;
  registry->rec() = obra;
  if (Status s = registry->insert(); !s) return s;
  // As the form: the record first, then its folder; the budget's tables,
  // the work inputs' too, so that every headless command finds them. A
  // work that could not be made is not left registered.
  const auto made = [&]() -> Status {
    if (Status s = prepareWorkDirectory(base.dataDir, code); !s) return s;
    work.createMissing = true;
    for (const char* label : {"COBR", "IOBR", "INOB"}) {
      auto table = work.table(label, errors);
      if (Status s = table->open(); !s) return s;
    }
    return Status::ok();
  }();
  if (!made) {
    registry->rec() = obra;
    if (registry->fetch(registry->keyIndex("CTA_KEY")).found()) (void)registry->remove();
  }
  return made;
}

fs::path workDirectory(const fs::path& dataDir, std::string_view code) { return dataDir / text::clip(code); }

Status prepareWorkDirectory(const fs::path& dataDir, std::string_view code) {
  const std::string clipped = text::clip(code);
  // The code names a folder: nothing that could climb out of the data directory.
  if (!isValidWorkCode(clipped)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(clipped));
  std::error_code ec;
  fs::create_directories(workDirectory(dataDir, clipped), ec);
  if (ec || !fs::is_directory(workDirectory(dataDir, clipped), ec))
    return Status::error(Status::Code::kIoError, "no se pudo crear el directorio de la obra " + clipped);
  return Status::ok();
}

Status chooseWork(shell::Session& session, const WorkHeader& header, tables::Table& control) {
  const std::string code = text::clip(header.code);
  const fs::path dir = workDirectory(session.installation.dataDir, code);
  if (!isValidWorkCode(code)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(code));
  if (Status s = refuseLinkedWorkFolder(session.installation, code); !s) return s;
  tables::Installation chosen = session.installation;
  chosen.workDir = dir;
  if (!chosen.workReachable())
    return Status::error(Status::Code::kNotFound, "no existe el directorio de la obra " + dir.string());
  estimate::ZoneFactors zone;
  if (Status s = estimate::loadZoneFactors(control, header.zone, &zone); !s) return s;
  session.installation.workDir = dir;
  session.zone = zone;
  session.currentWorkName = header.name;
  session.currentWorkCode = code;
  return Status::ok();
}

void closeWork(shell::Session& session) {
  session.installation.workDir.clear();
  session.currentWorkCode = kNoWork;
  session.currentWorkName.clear();
}

Summary summarize(const WorkHeader& header, double directCost) {
  // In whole cents: each line rounded once from the printed direct cost, the
  // subtotal and total the sums of the printed lines.
  const int64_t cd = money::cents(directCost);
  const int64_t site = money::percentOf(cd, header.siteOverhead.percent),
                central = money::percentOf(cd, header.centralOverhead.percent),
                profit = money::percentOf(cd, header.profit.percent),
                other = money::percentOf(cd, header.otherCharges.percent);
  const int64_t subtotal = cd + site + central + profit + other;
  const int64_t vat = money::percentOf(subtotal, header.vat.percent);
  Summary s;
  s.directCost = money::fromCents(cd);
  s.siteOverhead = money::fromCents(site);
  s.centralOverhead = money::fromCents(central);
  s.profit = money::fromCents(profit);
  s.otherCharges = money::fromCents(other);
  s.subtotal = money::fromCents(subtotal);
  s.vat = money::fromCents(vat);
  s.total = money::fromCents(subtotal + vat);
  return s;
}

Status openWork(const tables::Installation& base, ErrorReporter& errors, const std::string& code,
                std::optional<OpenWork>* opened) {
  auto obra = base.table("OBRA", errors);
  auto control = base.table("CONTROL", errors);
  for (tables::Table* t : {obra.get(), control.get()})
    if (Status s = t->open(); !s) return Status::error(s.code(), "no se pudo abrir el registro de obras: " + s.text());
  OpenWork work{base, {}, {}};
  // A read that failed (a server gone) is said as such, never as a work that is not there.
  if (Status s = readWorkHeader(*obra, code, &work.header); !s)
    return s.is(Status::Code::kNotFound) ? Status::notFound("no existe la obra " + code) : s;
  const std::string& stored = work.header.code;
  if (!isValidWorkCode(stored)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(stored));
  if (Status s = refuseLinkedWorkFolder(base, text::clip(stored)); !s) return s;
  work.inst.workDir = workDirectory(base.dataDir, stored);
  if (!work.inst.workReachable())
    return Status::notFound("no existe el directorio de la obra " + work.inst.workDir.string());
  if (Status s = estimate::loadZoneFactors(*control, work.header.zone, &work.zone); !s) return s;
  opened->emplace(std::move(work));
  return Status::ok();
}

}  // namespace velmora::works

#include "works/work.h"

#include <algorithm>

#include "framework/money.h"
#include "framework/text.h"

namespace velmora::works {

namespace fs = std::filesystem;

bool isWorkOpen(const shell::Session& session) {
  const std::string code = text::clip(session.currentWorkCode);
  return !code.empty() && code != kNoWork && !text::clip(session.currentWorkName).empty();
}

void fillDefaultCaptions(tables::Record& obra) {
  const std::pair<const char*, const char*> captions[] = {{"AOBR", "ADMINISTRACION DE OBRA"},
                                                          {"TUTI", "UTILIDAD"},
                                                          {"TIVA", "IMPUESTO AL VALOR AGREGADO"},
                                                          {"ACEN", "ADMINISTRACION CENTRAL"},
                                                          {"TEXT", "CARGOS INDIRECTOS"}};
  for (const auto& [field, text] : captions) {
    if (text::clip(obra.text(field)).empty()) obra.setText(field, text);
  }
}

std::optional<std::array<std::string, 3>> workNameProblem(const tables::Record& obra) {
  if (!text::clip(obra.text("OBRA")).empty()) return std::nullopt;
  return std::array<std::string, 3>{"DEBE USTED DARLE UN NOMBRE", "A LA OBRA PARA QUE PUEDA", "SER REGISTRADA"};
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

int workZone(const tables::Record& header) { return std::clamp(static_cast<int>(header.integer("LIST")), 1, 5); }

Status chooseWork(shell::Session& session, const tables::Record& obra, tables::Table& control) {
  const std::string code = text::clip(obra.text("CTA"));
  const fs::path dir = workDirectory(session.installation.dataDir, code);
  if (!isValidWorkCode(code)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(code));
  tables::Installation chosen = session.installation;
  chosen.workDir = dir;
  if (!chosen.workReachable())
    return Status::error(Status::Code::kNotFound, "no existe el directorio de la obra " + dir.string());
  session.installation.workDir = dir;
  session.zone = estimate::loadZoneFactors(control, workZone(obra));
  session.currentWorkName = obra.text("OBRA");
  session.currentWorkCode = code;
  return Status::ok();
}

void closeWork(shell::Session& session) {
  session.installation.workDir.clear();
  session.currentWorkCode = kNoWork;
  session.currentWorkName.clear();
}

Summary summarize(const tables::Record& obra, double directCost) {
  // In whole cents: each line rounded once from the printed direct cost, the
  // subtotal and total the sums of the printed lines.
  const int64_t cd = money::cents(directCost);
  const int64_t site = money::percentOf(cd, obra.real("INDO")), central = money::percentOf(cd, obra.real("INDC")),
                profit = money::percentOf(cd, obra.real("GANA")), other = money::percentOf(cd, obra.real("CARI"));
  const int64_t subtotal = cd + site + central + profit + other;
  const int64_t vat = money::percentOf(subtotal, obra.real("IMPV"));
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
  if (!obra->open() || !control->open())
    return Status::error(Status::Code::kIoError, "no se pudo abrir el registro de obras");
  obra->rec().clear();
  obra->rec().setText("CTA", code);
  if (!obra->fetch(obra->keyIndex("CTA_KEY"))) return Status::notFound("no existe la obra " + code);
  OpenWork work{base, obra->rec(), {}, {}};
  const std::string stored = work.header.text("CTA");
  if (!isValidWorkCode(stored)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(stored));
  work.inst.workDir = workDirectory(base.dataDir, stored);
  if (!work.inst.workReachable())
    return Status::notFound("no existe el directorio de la obra " + work.inst.workDir.string());
  const int zone = workZone(work.header);
  work.zone = estimate::loadZoneFactors(*control, zone);
  control->rec().clear();
  control->rec().setInteger("CTA", zone);
  if (control->fetch(control->keyIndex("KEYCTA"))) work.zoneRecord = control->rec();
  opened->emplace(std::move(work));
  return Status::ok();
}

}  // namespace velmora::works

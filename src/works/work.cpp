#include "works/work.h"

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

fs::path workDirectory(const fs::path& dataDir, std::string_view code) {
  return dataDir / text::clip(code);
}

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

Status chooseWork(shell::Session& session, const tables::Record& obra, tables::Table& control) {
  const std::string code = text::clip(obra.text("CTA"));
  const fs::path dir = workDirectory(session.installation.dataDir, code);
  if (!isValidWorkCode(code)) return Status::error(Status::Code::kInvalid, invalidWorkCodeText(code));
  std::error_code ec;
  if (!fs::is_directory(dir, ec))
    return Status::error(Status::Code::kNotFound, "no existe el directorio de la obra " + dir.string());
  session.installation.workDir = dir;
  session.zone = estimate::loadZoneFactors(control, static_cast<int>(obra.integer("LIST")));
  session.currentWorkName = obra.text("OBRA");
  session.currentWorkCode = code;
  return Status::ok();
}

void closeWork(shell::Session& session) {
  session.installation.workDir.clear();
  session.currentWorkCode = kNoWork;
  session.currentWorkName.clear();
}

Summary summarize(const tables::Record& obra, double cd) {
  Summary s;
  s.directCost = cd;
  s.siteOverhead = cd * obra.real("INDO") / 100;
  s.centralOverhead = cd * obra.real("INDC") / 100;
  s.profit = cd * obra.real("GANA") / 100;
  s.otherCharges = cd * obra.real("CARI") / 100;
  s.subtotal = s.siteOverhead + s.centralOverhead + s.profit + s.otherCharges + cd;
  s.vat = s.subtotal * obra.real("IMPV") / 100;
  s.total = s.subtotal + s.vat;
  return s;
}

}  // namespace velmora::works

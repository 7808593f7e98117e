#include "shell/installation_conf.h"

#include <fstream>
#include <initializer_list>
#include <optional>

#include "framework/text.h"
#include "shell/ini_file.h"

namespace velmora::shell {

namespace {

constexpr const char* kWordsSection = "ImporteConLetra";

// The value of `key` among `allowed` (upper or lower case); `fallback` when
// the key is missing, nothing when its value is none of them.
std::optional<std::string> choice(const IniFile& ini, const char* key, std::initializer_list<const char*> allowed,
                                  const char* fallback) {
  const std::optional<std::string> given = ini.value(kWordsSection, key);
  if (!given || given->empty()) return fallback;
  const std::string folded = text::upper(*given);
  for (const char* a : allowed)
    if (folded == text::upper(a)) return std::string(a);
  return std::nullopt;
}

}  // namespace

std::filesystem::path confFile(const tables::Installation& inst) {
  return (inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir) / "velmora.conf";
}

Status readAmountWording(const tables::Installation& inst, AmountWording* wording) {
  const std::filesystem::path file = confFile(inst);
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    if (ec) return Status::error(Status::Code::kIoError, "no se puede leer " + file.string() + ": " + ec.message());
    *wording = AmountWording{};
    return Status::ok();
  }
  if (!std::ifstream(file)) return Status::error(Status::Code::kIoError, "no se puede leer " + file.string());
  IniFile ini(file);
  ini.load();
  const auto refuse = [&file](const char* key, const char* allowed) {
    return Status::error(Status::Code::kInvalid,
                         file.string() + ": [" + kWordsSection + "] " + key + " debe ser " + allowed);
  };
  const auto budgets = choice(ini, "Presupuestos", {"propia", "legal"}, "propia");
  if (!budgets) return refuse("Presupuestos", "\"propia\" o \"legal\"");
  const auto accents = choice(ini, "Acentos", {"si", "sí", "no"}, "si");
  if (!accents) return refuse("Acentos", "\"si\" o \"no\"");
  wording->legalInBudgets = *budgets == "legal";
  wording->accentsDropped = *accents == "no";
  return Status::ok();
}

}  // namespace velmora::shell

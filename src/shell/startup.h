// The start-up work of the main frame, in order: the settings table,
// first-run settings (INSTALA), login (ACCE), zone names, the factors of zone
// 1, the logo count and the ACTUALIZACION folder. The windows involved are
// reached through StartupUi, so the same steps run under Qt and in tests.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "framework/status.h"
#include "shell/access.h"
#include "shell/session.h"

namespace velmora::shell {

struct SettingsEntry {
  std::string company;
  std::string login;
  std::string password;
};

class StartupUi {
 public:
  virtual ~StartupUi() = default;
  virtual void warn(const WarningLines& lines) = 0;  // SHOWWARNING
  // MESSINST: how to let the program write where it is installed.
  virtual void showInstructions() = 0;
  // INSTALA: the entered settings, or nothing when the window was closed.
  virtual std::optional<SettingsEntry> runInstala() = 0;
  // ACCE: login and password typed, or nothing when the window was closed.
  virtual std::optional<std::pair<std::string, std::string>> runLogin(const std::string& company) = 0;
};

enum class StartupOutcome { kRun, kEndProgram };

// Which field of INSTALA is empty (0 company, 1 login, 2 password), or -1.
int firstEmptySettingsField(const SettingsEntry& entry);

// Writes the settings record anew (VGA:CTA = 1), the password as a digest.
Status saveSettings(const tables::Installation& inst, ErrorReporter& errors, const SettingsEntry& entry);

StartupOutcome startSession(Session& session, StartupUi& ui);

}  // namespace velmora::shell

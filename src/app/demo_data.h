// The demo installation: settings with a documented master login, five salary
// zones with current Mexican figures, two users of different access levels.
//
// Master login of the demo: login "MAESTRO", password "velmora".
// Users: "JPEREZ" / "obra2026" (levels 5 everywhere) and "MLOPEZ" / "captura"
// (may view and insert catalogues, view zones, no access to users).
#pragma once

#include <iosfwd>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::app {

inline constexpr const char* kDemoMasterLogin = "MAESTRO";
inline constexpr const char* kDemoMasterPassword = "velmora";
// Written in the data directory when a demo installation is complete.
inline constexpr const char* kDemoCompleteMark = ".demo-completa";

// Creates every table file and fills what is missing (an existing settings
// record, zone or user is left as it is).
Status createDemoInstallation(const tables::Installation& inst, ErrorReporter& errors);
// The same without the base catalogue: settings, zones and users.
Status createDemoInstallationWithoutCatalogue(const tables::Installation& inst, ErrorReporter& errors);

int runDemo(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out, std::ostream& err);

}  // namespace velmora::app

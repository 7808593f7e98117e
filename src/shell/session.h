// Session: the process-wide values of one run of the program, gathered in
// one object that is passed to whoever needs them.
//
// Thread rules: written by the start-up and by the GUI thread (zone choice,
// work choice); read by the screens on the GUI thread.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "estimate/zones.h"
#include "framework/error_reporter.h"
#include "shell/access.h"
#include "tables/installation.h"

namespace velmora::shell {

// The command-line switches of the network trace.
enum class NetTrace { kDefault, kNone, kBanners };

struct Session {
  tables::Installation installation;
  ErrorReporter* errors = nullptr;
  Login login;              // current user and access levels
  std::string companyName;  // VGA:CIA, printed on reports
  int32_t today = 0;        // day number when the frame opened
  std::array<std::string, 5> zoneNames;
  estimate::ZoneFactors zone;  // the current salary zone and its factors
  int logoCount = 0;
  bool showSuppliers = false;  // "Proveedores" only for the maintenance account
  NetTrace netTrace = NetTrace::kDefault;
  std::string currentWorkCode;  // blank, "NULO" or OBR:CTA
  std::string currentWorkName;

  int currentZone() const { return zone.zone; }
};

NetTrace netTraceFromArguments(const std::vector<std::string>& args);

}  // namespace velmora::shell

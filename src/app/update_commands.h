// The online update, headless: `servidor` shows or sets the server record,
// `actualiza` downloads what is new, `coloca` merges it into a price list.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

struct ServerOptions {
  std::optional<std::string> host, user, password, directory;
  bool changes() const { return host || user || password || directory; }
};

// The limits of an update run, in seconds: the wait for each reply of the
// server, the wait for a data connection to close after the server said the
// transfer is complete, and the whole run.
struct UpdateOptions {
  int replySeconds = 30;
  int dataCloseSeconds = 5;
  int runSeconds = 3600;
};

int runServerCommand(const tables::Installation& inst, ErrorReporter& errors, const ServerOptions& options,
                     std::ostream& out, std::ostream& err);
int runUpdateCommand(int argc, char** argv, const tables::Installation& inst, ErrorReporter& errors,
                     const UpdateOptions& options, std::ostream& out, std::ostream& err);
int runMergeCommand(const tables::Installation& inst, ErrorReporter& errors, int list, std::ostream& out,
                    std::ostream& err);

}  // namespace velmora::app

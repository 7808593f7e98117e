// Installation: where the table files of one data directory live.
//
// The shared tables sit in the data directory under their fixed names; the
// settings table sits in the settings directory; the four per-work tables sit
// in the chosen work's directory, or under the names ARCH1, ARCH2, ARCH3 and
// ARCH5 in the data directory while no work is chosen.
//
// On a database server (serverUrl set), the data tables live in the schema
// of the installation and each work's tables in the schema "obra_<code>";
// the settings tables and the station's own files stay in the folders.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/table.h"

namespace velmora::tables {

struct Installation {
  std::filesystem::path dataDir;
  std::filesystem::path settingsDir;
  std::filesystem::path workDir;  // empty while no work is chosen
  // Whether opening a missing table file creates it. Reading commands set
  // this to false: a missing or empty file is then an error, never a new
  // empty table that would price everything at 0.
  bool createMissing = true;
  // Set by commands that only read an installation they cannot write (a
  // read-only copy): tables open read-only, without complaint.
  bool readingOnly = false;

  // The server holding the data tables (libpq's form), and the schema of
  // this installation on it. Empty: the tables are files.
  std::string serverUrl;
  std::string serverSchema;

  bool onServer() const { return !serverUrl.empty(); }
  // Whether this table lives on the server: the station's own files (its
  // settings, what it downloads) never do.
  bool onServer(const TableDef& def) const { return onServer() && !def.settingsRole && !def.stationFile; }
  std::filesystem::path fileOf(const TableDef& def) const;
  // The schema of `def`'s table on the server.
  std::string schemaOf(const TableDef& def) const;
  // Whether the chosen work's tables can be reached: its folder exists, or
  // they are on the server.
  bool workReachable() const;
  // Whether the chosen work's tables may be written: its folder takes new
  // files, or they are on the server.
  bool workWritable() const;
  // Whether `def`'s table is stored (a file that is not empty, or a table
  // on the server), without creating it, in `*held`. A server that cannot
  // be asked is a failure, with its cause: never an absent table.
  Status holdsTable(const TableDef& def, bool* held) const;
  // A table manager for `label` on this installation (not yet open).
  std::unique_ptr<Table> table(std::string_view label, ErrorReporter& errors) const;
};

// A server address as the user writes it: postgresql://user@host:port/db,
// with our own "schema" parameter (the installation's schema, "velmora"
// when not given) among the others libpq takes.
bool isServerAddress(std::string_view text);
struct ServerAddress {
  std::string url;  // what libpq is given
  std::string schema;
};
// Nothing when the address is not one, or its schema is not a plain name.
std::optional<ServerAddress> parseServerAddress(std::string_view address);
// The address without its password (in the user part or as a parameter),
// for messages and logs.
std::string shownAddress(std::string_view address);
// What names the installation an address reaches, for the station's own
// folder: "user@host:port/database" as far as the address gives them (and
// the service it names), never its password or other options. Parsed by
// the server library, so that every spelling of one address gives one key.
std::string installationKey(const ServerAddress& server);

// The schemas of an installation on its server: its own and its works'.
std::vector<std::string> serverSchemas(const Installation& inst, Status* status);
// Runs `read` on one state of the whole installation: on a server, inside
// one snapshot (a repeatable-read transaction of this thread's connection),
// whatever other stations commit meanwhile; on files, as it is.
Status readConsistently(const Installation& inst, const std::function<Status()>& read);

// Replaces schemas of a server installation in one transaction: drops
// them, then runs `fill`, which makes and fills their tables again through
// this thread's Tables. When anything fails, the server keeps them as they
// were.
Status replaceServerSchemas(const Installation& inst, const std::vector<std::string>& schemas,
                            const std::function<Status()>& fill);

// Drops an installation from its server, with every work: for replacing it
// by a copy (migra) and for tests. Everything or nothing.
Status dropServerInstallation(const Installation& inst);

// A copy being made into an installation (migra) marks it until the copy
// has been compared whole: no command uses a marked installation, which may
// list works whose tables never arrived. The mark lives with the data (a
// file in the data folder, a row of the installation's schema on a server),
// so that every station sees it. `source` names what is being copied.
Status markCopyIncomplete(const Installation& inst, const std::string& source);
Status clearCopyIncomplete(const Installation& inst);
// The source a mark names, or nothing when the installation is not marked;
// a failure when it could not be asked (the server did not answer).
Status copyIncompleteMark(const Installation& inst, std::optional<std::string>* source);
// Starts a marked copy over on a server: drops the installation with its
// works and marks the empty schema again, in one transaction.
Status restartServerCopy(const Installation& inst, const std::string& source);

}  // namespace velmora::tables

// The online update without the network: the server settings (SERV), which
// listed file to fetch next, where a fetched file may go, and the merge of
// the downloaded input prices (INBAA) into one price list of INBA.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "net/ftp_listing.h"
#include "tables/installation.h"

namespace velmora::services {

struct ServerSettings {
  std::string host;  // SER:SERVER, "host" or "host:port"
  std::string user;
  std::string password;
  std::string directory;  // empty: "/"
};

// "host" or "host:port" (port 1..65535); false when the port is not a number.
bool splitHostPort(const std::string& text, std::string& host, uint16_t& port);

// The SERV record 1; a missing record reads as empty settings.
Status readServerSettings(const tables::Installation& inst, ErrorReporter& errors, ServerSettings& settings);
Status writeServerSettings(const tables::Installation& inst, ErrorReporter& errors, const ServerSettings& settings);

// The folder of the data directory where table files other than DATA4A
// arrive: they are kept there, never swapped under a running program.
inline constexpr const char* kArrivalsFolder = "ACTUALIZACION";

// A listed name that can only land in the program directory: no folders,
// no drive, nothing that climbs.
bool safeRemoteName(const std::string& name);
// Where a fetched file goes: the data directory, or the arrivals folder for
// a table file the program may have open.
std::filesystem::path localPathFor(const std::filesystem::path& dataDir, const std::string& name);
bool keptAside(const std::string& name);

// Whether a listed file is fetched: it has no local copy, or it is newer
// than the local copy (a later day, or the same day at a later time), or it
// is not older and of another size. A table file often keeps its size when
// it changes, so size alone never decides; a fetched copy equal to the local
// one is dropped by the run.
bool shouldFetch(const net::ListingRow& row, bool localExists, int64_t localSize, int32_t localDate, int32_t localTime);
// The next row to fetch by that rule. Names in `skip` and unsafe names are
// passed over; unsafe ones are added to `refused`. -1 when none is left.
int nextFileToFetch(const std::vector<net::ListingRow>& rows, const std::filesystem::path& dataDir,
                    const std::vector<std::string>& skip, std::vector<std::string>* refused = nullptr);

// The price list (1..5) to merge into must be a zone of CONTROL: the warning
// lines when it is not.
std::optional<std::string> priceListProblem(const tables::Installation& inst, ErrorReporter& errors, int list);

// The FTP client's error text (its own, in English, as the update window
// shows it) said in Spanish, for the terminal.
std::string ftpTextInSpanish(const std::string& clientText);

struct MergeResult {
  int64_t added = 0;
  int64_t changed = 0;
};

// MOV_ACT: every INBAA record into INBA, in one transaction: a new input is
// added whole, an existing one takes COST[1] and FECH[1] into `list` and
// nothing else. The downloaded file must be the inputs' update copy (its
// role, table and columns) and is only read; every price must be a finite
// number from 0 to catalog::kMaxOutsidePrice and every date a day number, or nothing
// is written and the Status names the first bad rows. `showing` gets each
// input's description as it goes.
Status mergeUpdate(const tables::Installation& inst, ErrorReporter& errors, int list,
                   const std::function<void(const std::string& description)>& showing, MergeResult* result);

}  // namespace velmora::services

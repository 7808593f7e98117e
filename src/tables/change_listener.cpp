#include "tables/change_listener.h"

#include <libpq-fe.h>

#include <algorithm>

#include "tables/connection.h"

namespace velmora::tables {

ChangeListener::~ChangeListener() {
  if (pg_) PQfinish(pg_);
}

bool ChangeListener::start(const std::string& url, std::string* why, int waitSeconds) {
  if (pg_) return true;
  pg_ = internal::connectToServer(url, why, waitSeconds);
  if (!pg_) return false;
  PGresult* r = PQexec(pg_, "LISTEN velmora");
  const bool listening = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!listening) *why = internal::serverFailureText(pg_, r);
  PQclear(r);
  if (listening) return true;
  PQfinish(pg_);
  pg_ = nullptr;
  return false;
}

int ChangeListener::socket() const { return pg_ ? PQsocket(pg_) : -1; }

std::vector<std::string> ChangeListener::takeChanges() {
  std::vector<std::string> changed;
  if (!pg_) return changed;
  PQconsumeInput(pg_);
  while (PGnotify* n = PQnotifies(pg_)) {
    const std::string table = n->extra ? n->extra : "";
    if (std::find(changed.begin(), changed.end(), table) == changed.end()) changed.push_back(table);
    PQfreemem(n);
  }
  if (PQstatus(pg_) != CONNECTION_OK) {  // the server went away: nothing more will be heard here
    PQfinish(pg_);
    pg_ = nullptr;
  }
  return changed;
}

}  // namespace velmora::tables

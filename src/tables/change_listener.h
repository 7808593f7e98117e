// ChangeListener: hears the commits of every station on a server
// installation. Each write statement on the server tells, at its commit, the
// table it touched ("schema.TABLE", as Table::changeChannel names it); the
// listener keeps a connection of its own that waits for these words. On files
// there is nothing to hear.
//
// Thread rules: one per thread, like a Table; the screens watch its socket.
#pragma once

#include <string>
#include <vector>

struct pg_conn;

namespace velmora::tables {

class ChangeListener {
 public:
  ChangeListener() = default;
  ~ChangeListener();
  ChangeListener(const ChangeListener&) = delete;
  ChangeListener& operator=(const ChangeListener&) = delete;

  // Starts listening on the server at `url`, waiting at most
  // `waitSeconds` for it to answer; false, with the reason, when it cannot
  // connect.
  bool start(const std::string& url, std::string* why, int waitSeconds = 10);
  bool isListening() const { return pg_ != nullptr; }
  // The descriptor that becomes readable when something arrived (-1 when
  // not listening).
  int socket() const;
  // The tables changed since the last call, each named once. When the
  // server went away, the listener stops (isListening() turns false) and
  // start() may be called again.
  std::vector<std::string> takeChanges();

 private:
  pg_conn* pg_ = nullptr;
};

}  // namespace velmora::tables

// The bodies of the fuzz targets, shared by the libFuzzer programs
// (scripts/fuzz) and the test that replays the kept corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "net/ftp_listing.h"
#include "net/ftp_reply.h"

namespace velmora::fuzz {

// The bytes, cut where the first byte says, fed to the reply assembler in
// two pieces: whatever arrives, it never holds more than its limit.
inline void replyAssembler(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t cut = size ? data[0] % (size + 1) : 0;
  net::ReplyAssembler a;
  std::vector<net::FtpReply> replies;
  std::vector<std::string> log;
  a.feed(bytes.substr(0, cut), replies, log);
  a.feed(bytes.substr(cut), replies, log);
  if (a.held() > net::ReplyAssembler::kLimit) __builtin_trap();
  for (const auto& r : replies) {
    if (r.code < 0 || r.code > 999) __builtin_trap();
  }
}

// The bytes as a LIST listing and as an NLST listing, with a fixed today.
inline void listingParser(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool full : {true, false}) {
    net::ListingParser p(full, 740000);
    std::vector<net::ListingRow> rows;
    if (p.feed(bytes, rows)) p.finish(rows);
    for (const auto& r : rows) {
      if (r.name.empty()) __builtin_trap();
    }
  }
}

}  // namespace velmora::fuzz

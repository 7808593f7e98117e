// The bodies of the fuzz targets, shared by the libFuzzer programs
// (scripts/fuzz) and the test that replays the kept corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "exchange/bc3_file.h"
#include "net/ftp_listing.h"
#include "net/ftp_reply.h"
#include "services/backup_names.h"
#include "works/work_code.h"

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

// The first line as a backup archive's comment, every other line as an
// entry name of it: whatever the archive says, a place it is given never
// leaves its folder.
inline void backupNames(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t lf = bytes.find('\n');
  const std::string comment = bytes.substr(0, lf);
  const std::filesystem::path base = "/instalacion";
  const auto inside = [&base](const std::string& name) {
    const std::filesystem::path p = (base / name).lexically_normal();
    return !name.empty() && p.parent_path() == base && p.filename() == name;
  };
  const services::BackupContents c = services::contentsOf(comment);
  if (c.valid && !c.system && (!works::isValidWorkCode(c.work) || !inside(c.work))) __builtin_trap();
  size_t at = lf == std::string::npos ? bytes.size() : lf + 1;
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.find('\n', at), bytes.size());
    const std::string name = bytes.substr(at, end - at);
    at = end + 1;
    for (bool system : {true, false}) {
      const services::EntryPlace p = services::placeOfEntry(name, system);
      const bool placed =
          p.kind == services::EntryPlace::Kind::kTable || p.kind == services::EntryPlace::Kind::kDocument;
      if (placed && (!inside(p.file) || p.file.find_first_of("/\\:") != std::string::npos)) __builtin_trap();
      if (p.kind == services::EntryPlace::Kind::kTable && !p.def) __builtin_trap();
    }
  }
}

// The bytes as a FIEBDC-3 file: whatever it holds, the reader ends with a
// file of well-formed codes or an error naming a line, and what it read
// can be written and read again.
inline void bc3Reader(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  exchange::Bc3File file;
  const Status s = exchange::readBc3(bytes, &file);
  if (!s) {
    if (s.text().rfind("línea ", 0) != 0) __builtin_trap();
    return;
  }
  for (const auto& c : file.concepts) {
    if (c.code.empty() || c.children.size() > exchange::kBc3MaxChildren) __builtin_trap();
    if (file.find(c.code) != &c) __builtin_trap();
  }
  exchange::Bc3File again;
  (void)exchange::readBc3(exchange::writeBc3(file), &again);
}

}  // namespace velmora::fuzz

// Replays the kept fuzz corpus (scripts/fuzz grows it) through the same
// target bodies: every input that once crashed stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fuzz/fuzz_targets.h"

namespace {

namespace fs = std::filesystem;

void replay(const char* target, void (*body)(const uint8_t*, size_t)) {
  const fs::path dir = fs::path(VELMORA_FUZZ_CORPUS) / target;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++files;
  }
  EXPECT_GT(files, 0) << dir;
}

TEST(FuzzCorpus, ReplyAssembler) { replay("reply", velmora::fuzz::replyAssembler); }
TEST(FuzzCorpus, ListingParser) { replay("listing", velmora::fuzz::listingParser); }
TEST(FuzzCorpus, BackupNames) { replay("backup", velmora::fuzz::backupNames); }
TEST(FuzzCorpus, Bc3Reader) { replay("bc3", velmora::fuzz::bc3Reader); }

}  // namespace

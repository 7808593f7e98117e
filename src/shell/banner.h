// The banner rotation of the main frame: the logos LOGO1.JPG ... LOGOn.JPG of
// the data directory are drawn without replacement, so every logo is shown
// once before any repeats. With no logos nothing is drawn; every logo found
// takes part, however many there are.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace velmora::shell {

// Counts consecutive logo files LOGO1.JPG, LOGO2.JPG ... (letter case of the
// name ignored), stopping at the first missing or empty one; at most 100.
int countLogos(const std::filesystem::path& dir);

// The file of logo n in `dir` ("logo" n ".jpg", letter case ignored), or an
// empty path when it is missing.
std::filesystem::path logoFile(const std::filesystem::path& dir, int n);

class BannerPile {
 public:
  // `random(k)` returns an integer from 1 to k.
  BannerPile(int logos, std::function<int(int)> random);
  // The number of the next logo to show, or 0 when there are no logos.
  int draw();

 private:
  int logos_;
  std::function<int(int)> random_;
  std::vector<int> pile_;
  int count_ = 0;
};

// A file in `dir` whose name equals `name` ignoring letter case, or empty.
std::filesystem::path findFileNoCase(const std::filesystem::path& dir, const std::string& name);

}  // namespace velmora::shell

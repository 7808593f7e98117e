#include "shell/banner.h"

#include "framework/text.h"

namespace velmora::shell {

namespace fs = std::filesystem;

fs::path findFileNoCase(const fs::path& dir, const std::string& name) {
  if (fs::exists(dir / name)) return dir / name;
  std::error_code ec;
  const std::string wanted = text::upper(name);
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (text::upper(entry.path().filename().string()) == wanted) return entry.path();
  }
  return {};
}

fs::path logoFile(const fs::path& dir, int n) { return findFileNoCase(dir, "logo" + std::to_string(n) + ".jpg"); }

int countLogos(const fs::path& dir) {
  for (int i = 1; i <= 100; ++i) {
    const fs::path file = logoFile(dir, i);
    std::error_code ec;
    if (file.empty() || fs::file_size(file, ec) == 0 || ec) return i - 1;
  }
  return 100;
}

BannerPile::BannerPile(int logos, std::function<int(int)> random) : logos_(logos), random_(std::move(random)) {}

int BannerPile::draw() {
  if (logos_ <= 0) return 0;
  if (count_ == 0) {
    pile_.resize(logos_);
    for (int i = 0; i < logos_; ++i) pile_[i] = i + 1;
    count_ = logos_;
  }
  int r = random_(count_);
  if (r < 1) r = 1;
  if (r > count_) r = count_;
  const int shown = pile_[r - 1];
  pile_[r - 1] = pile_[count_ - 1];
  --count_;
  return shown;
}

}  // namespace velmora::shell

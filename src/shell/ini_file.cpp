#include "shell/ini_file.h"

#include <fstream>
#include <sstream>

namespace velmora::shell {

namespace {
constexpr const char* kIndex = "__Dont_Touch_Me__";

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  const auto e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}
}  // namespace

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {}

void IniFile::load() {
  sections_.clear();
  order_.clear();
  std::ifstream in(file_);
  std::string line, section;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      if (!sections_.count(section)) order_.push_back(section);
      sections_[section];
      continue;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos && !section.empty()) {
      sections_[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
  }
}

bool IniFile::save() const {
  const auto tmp = std::filesystem::path(file_.string() + ".tmp");
  {
    std::ofstream out(tmp, std::ios::trunc);
    for (const auto& name : order_) {
      out << "[" << name << "]\n";
      for (const auto& [k, v] : sections_.at(name)) out << k << "=" << v << "\n";
      out << "\n";
    }
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, file_, ec);
  return !ec;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
  const auto s = sections_.find(section);
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.find(key);
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

std::vector<std::string> IniFile::sectors() const {
  std::vector<std::string> out;
  auto it = sections_.find(kIndex);
  if (it == sections_.end() || !it->second.count("Sectors")) return out;
  std::stringstream list(it->second.at("Sectors"));
  std::string item;
  while (std::getline(list, item, ',')) {
    if (!trim(item).empty()) out.push_back(trim(item));
  }
  return out;
}

std::optional<WindowPlacement> IniFile::placement(const std::string& window) const {
  auto it = sections_.find(window);
  if (it == sections_.end()) return std::nullopt;
  const auto& s = it->second;
  const auto number = [&s](const char* key) {
    auto k = s.find(key);
    return k == s.end() ? 0 : std::atoi(k->second.c_str());
  };
  const auto flag = [&s](const char* key) {
    auto k = s.find(key);
    return k != s.end() && k->second == "Yes";
  };
  return WindowPlacement{number("XPos"),   number("YPos"),   number("Width"),
                         number("Height"), flag("Maximize"), flag("Minimize")};
}

void IniFile::setPlacement(const std::string& window, const WindowPlacement& p) {
  if (!sections_.count(window)) order_.insert(order_.begin(), window);
  auto& s = sections_[window];
  s["XPos"] = std::to_string(p.x);
  s["YPos"] = std::to_string(p.y);
  s["Width"] = std::to_string(p.width);
  s["Height"] = std::to_string(p.height);
  s["Maximize"] = p.maximized ? "Yes" : "No";
  s["Minimize"] = p.minimized ? "Yes" : "No";
  std::string list;
  for (const auto& name : order_) {
    if (name == kIndex) continue;
    list += (list.empty() ? "" : ",") + name;
  }
  if (!sections_.count(kIndex)) order_.push_back(kIndex);
  sections_[kIndex]["Sectors"] = list;
}

}  // namespace velmora::shell

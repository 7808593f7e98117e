// An INI file: sections of "key=value" lines, read whole and written whole.
//
// KAVEL.INI: the window placement of each window, one section per window with
// the keys XPos, YPos, Width, Height, Maximize and Minimize ("Yes"/"No"), and
// the section "__Dont_Touch_Me__" whose key "Sectors" lists the sections
// written (comma separated). The program keeps no other keys there.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora::shell {

struct WindowPlacement {
  int x = 0, y = 0, width = 0, height = 0;
  bool maximized = false, minimized = false;
};

class IniFile {
 public:
  explicit IniFile(std::filesystem::path file);
  // Reads the file; a missing or unreadable file leaves it empty.
  void load();
  // Writes the file whole through a temporary file; false on failure.
  bool save() const;

  // The value of `key` in `section`, blanks around it removed; nothing when
  // either is missing.
  std::optional<std::string> value(const std::string& section, const std::string& key) const;

  std::vector<std::string> sectors() const;
  std::optional<WindowPlacement> placement(const std::string& window) const;
  void setPlacement(const std::string& window, const WindowPlacement& p);

 private:
  std::filesystem::path file_;
  std::map<std::string, std::map<std::string, std::string>> sections_;
  std::vector<std::string> order_;  // sections in file order
};

}  // namespace velmora::shell

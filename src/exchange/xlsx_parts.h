// The parts of an xlsx workbook (a zip archive of XML files), as both the
// reader and the editor of workbooks reach them.
#pragma once

#include <zip.h>

#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "framework/status.h"

namespace velmora::exchange {

using Archive = std::unique_ptr<zip_t, decltype(&zip_discard)>;

struct SheetEntry {
  std::string name, part;  // "Catalogo", "xl/worksheets/sheet1.xml"
};

Status openArchive(const std::filesystem::path& file, Archive& out);
// One part of the archive, whole; an absent part is empty unless `required`.
Status readPart(zip_t* za, const std::string& name, std::string* text, bool required);
Status parse(const std::string& text, const std::string& part, pugi::xml_document& doc);
// The sheets in workbook order, with the part that holds each.
Status sheetsOf(zip_t* za, std::vector<SheetEntry>* sheets);

// Local names: workbooks write "x:row" as well as "row".
const char* local(const pugi::xml_node& n);
pugi::xml_node child(const pugi::xml_node& n, const char* name);
// The text of a string item: its <t>, or its runs' <t>s.
std::string itemText(const pugi::xml_node& si);

}  // namespace velmora::exchange

#include "exchange/xlsx_parts.h"

#include <cstring>
#include <new>

namespace velmora::exchange {

namespace fs = std::filesystem;

namespace {

// Parts larger than this, uncompressed, are refused before they are read: a
// workbook of prices is far smaller, and a part is read whole and parsed
// into a tree several times its size.
constexpr zip_uint64_t kPartLimit = 64ull << 20;

}  // namespace

Status openArchive(const fs::path& file, Archive& out) {
  int err = 0;
  out.reset(zip_open(file.c_str(), ZIP_RDONLY, &err));
  if (out) return Status::ok();
  std::error_code ec;
  if (!fs::exists(file, ec)) return Status::error(Status::Code::kNotFound, "no existe el libro " + file.string());
  if (err == ZIP_ER_OPEN || err == ZIP_ER_READ || fs::is_directory(file, ec))
    return Status::error(Status::Code::kIoError, "no se puede leer el libro " + file.string());
  return Status::error(Status::Code::kInvalid, file.filename().string() + " no es un libro xlsx");
  return Status::ok();
}

// One part of the archive, whole; an absent part is empty.
Status readPart(zip_t* za, const std::string& name, std::string* text, bool required) {
  text->clear();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(za, name.c_str(), 0, &st) != 0) {
    return required ? Status::error(Status::Code::kInvalid, "el libro no tiene la parte " + name) : Status::ok();
  }
  if (!(st.valid & ZIP_STAT_SIZE) || st.size > kPartLimit)
    return Status::error(Status::Code::kInvalid, "la parte " + name + " del libro pasa de " +
                                                     std::to_string(kPartLimit >> 20) +
                                                     " MB sin comprimir; divida el libro en otros más pequeños");
  zip_file_t* zf = zip_fopen(za, name.c_str(), 0);
  if (!zf) return Status::error(Status::Code::kInvalid, "no se pudo leer la parte " + name + " del libro");
  try {
    text->resize(st.size);
  } catch (const std::bad_alloc&) {
    zip_fclose(zf);
    return Status::error(Status::Code::kInvalid,
                         "la parte " + name + " del libro no cabe en la memoria de este equipo");
  }
  const zip_int64_t n = zip_fread(zf, text->data(), st.size);
  zip_fclose(zf);
  if (n < 0 || static_cast<zip_uint64_t>(n) != st.size)
    return Status::error(Status::Code::kInvalid, "la parte " + name + " del libro está dañada");
  return Status::ok();
}

Status parse(const std::string& text, const std::string& part, pugi::xml_document& doc) {
  const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
  if (!r) return Status::error(Status::Code::kInvalid, "la parte " + part + " del libro no es XML válido");
  return Status::ok();
}

// Local names: workbooks write "x:row" as well as "row".
const char* local(const pugi::xml_node& n) {
  const char* name = n.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}
pugi::xml_node child(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (std::strcmp(local(c), name) == 0) return c;
  return {};
}

// The text of a string item: its <t>, or its runs' <t>s.
std::string itemText(const pugi::xml_node& si) {
  std::string out;
  for (pugi::xml_node c : si.children()) {
    if (std::strcmp(local(c), "t") == 0) out += c.text().get();
    else if (std::strcmp(local(c), "r") == 0) out += child(c, "t").text().get();
  }
  return out;
}

Status sheetsOf(zip_t* za, std::vector<SheetEntry>* sheets) {
  std::string text;
  pugi::xml_document book, rels;
  if (Status s = readPart(za, "xl/workbook.xml", &text, true); !s) return s;
  if (Status s = parse(text, "xl/workbook.xml", book); !s) return s;
  if (Status s = readPart(za, "xl/_rels/workbook.xml.rels", &text, false); !s) return s;
  if (!text.empty()) {
    if (Status s = parse(text, "xl/_rels/workbook.xml.rels", rels); !s) return s;
  }
  const pugi::xml_node list = child(book.document_element(), "sheets");
  int n = 0;
  for (pugi::xml_node sheet : list.children()) {
    if (std::strcmp(local(sheet), "sheet") != 0) continue;
    ++n;
    SheetEntry e{sheet.attribute("name").value(), "xl/worksheets/sheet" + std::to_string(n) + ".xml"};
    std::string id;
    for (pugi::xml_attribute a : sheet.attributes()) {
      const std::string an = a.name();
      if (an == "r:id" || (an.size() > 3 && an.compare(an.size() - 3, 3, ":id") == 0)) id = a.value();
    }
    for (pugi::xml_node rel : rels.document_element().children()) {
      if (id.empty() || id != rel.attribute("Id").value()) continue;
      std::string target = rel.attribute("Target").value();
      // Relative to xl/, or absolute from the archive's root.
      target = target.rfind('/', 0) == 0 ? target.substr(1) : "xl/" + target;
      // A part name never climbs out of the archive's folders.
      if (target.find("..") == std::string::npos) e.part = target;
    }
    sheets->push_back(std::move(e));
  }
  if (sheets->empty()) return Status::error(Status::Code::kInvalid, "el libro no tiene hojas");
  return Status::ok();
}

}  // namespace velmora::exchange

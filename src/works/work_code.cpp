#include "works/work_code.h"

#include "framework/text.h"

namespace velmora::works {

namespace {

bool hasUnsafeCharacter(const std::string& code) {
  for (unsigned char c : code)
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '.') return true;
  return false;
}

// The folders an installation keeps for itself beside the works' folders:
// the downloaded price lists, the suppliers' promotions, the files a
// restore replaced. A work named like one would mix its tables into them.
// Compared in upper case, as the folders are found on Windows.
bool namesOwnFolder(const std::string& code) {
  const std::string name = text::upper(code);
  return name == "ACTUALIZACION" || name == "PROMOCIONES" || name.rfind("ANTERIOR-", 0) == 0;
}

}  // namespace

bool isValidWorkCode(std::string_view code) {
  const std::string clipped = text::clip(code);
  return !clipped.empty() && !hasUnsafeCharacter(clipped) && !namesOwnFolder(clipped);
}

std::string invalidWorkCodeText(std::string_view code) {
  const std::string clipped = text::clip(code);
  if (!clipped.empty() && !hasUnsafeCharacter(clipped) && namesOwnFolder(clipped))
    return "la cuenta de obra \"" + clipped +
           "\" no sirve como nombre de directorio: es el de una carpeta de la instalación";
  return "la cuenta de obra \"" + clipped +
         "\" no sirve como nombre de directorio "
         "(no puede estar vacía ni llevar /, \\, : o .)";
}

}  // namespace velmora::works

#include "works/work_code.h"

#include "framework/text.h"

namespace velmora::works {

bool isValidWorkCode(std::string_view code) {
  const std::string clipped = text::clip(code);
  if (clipped.empty()) return false;
  for (unsigned char c : clipped)
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '.') return false;
  return true;
}

std::string invalidWorkCodeText(std::string_view code) {
  return "la cuenta de obra \"" + text::clip(code) +
         "\" no sirve como nombre de directorio "
         "(no puede estar vacía ni llevar /, \\, : o .)";
}

}  // namespace velmora::works

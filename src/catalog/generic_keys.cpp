#include "catalog/generic_keys.h"

namespace velmora::catalog {

std::optional<std::array<std::string, 3>> genericKeyProblem(const tables::Record& clag) {
  if (clag.text("CTA").empty())
    return std::array<std::string, 3>{"LA CLAVE GENERICA", "NO PUEDE QUEDAR EN BLANCO", "CON Ok CONTINUA..."};
  const std::string type = clag.text("TIPO");
  if (type != "I" && type != "C" && type != "H")
    return std::array<std::string, 3>{"ELIJA EL TIPO DE LA CLAVE:", "INSUMO, CONCEPTO O COSTO HORARIO",
                                      "CON Ok CONTINUA..."};
  return std::nullopt;
}

}  // namespace velmora::catalog

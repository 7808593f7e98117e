#include "shell/access.h"

namespace velmora::shell {

std::vector<WarningLines> formOpeningCheck(const Login& login, int element, FormRequest request,
                                           std::optional<int32_t> recordOwner) {
  std::vector<WarningLines> warnings;
  if (login.isMaster()) return warnings;
  if (recordOwner && request == FormRequest::kChange && *recordOwner != login.user) {
    warnings.push_back({"SOLO TIENE ACCESO A SU", "PROPIA CUENTA", "CON Ok CONTINUA .."});
  }
  const int level = login.level(element);
  const bool writes = request == FormRequest::kInsert || request == FormRequest::kChange;
  if (level == 0) {
    warnings.push_back({"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA..."});
  }
  if (level == 1 && writes) {
    warnings.push_back({"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA..."});
  }
  if (level == 2 && request == FormRequest::kChange) {
    warnings.push_back({"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA...."});
  }
  return warnings;
}

std::optional<WarningLines> deleteCheck(const Login& login, int element) {
  if (login.isMaster() || login.level(element) >= 3) return std::nullopt;
  return WarningLines{"NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA", "CON Ok CONTINUA..."};
}

}  // namespace velmora::shell

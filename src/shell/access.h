// Access rights: which screens a logged-in user may open and for what.
//
// The master login (current user 0) passes every check. A user holds one
// level per module element (PER:PRES): 0 no access, 1 view, 2 also insert,
// 3 to 5 also change and delete.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/form_request.h"

namespace velmora::shell {

using WarningLines = std::array<std::string, 3>;
using AccessLevels = std::array<uint8_t, 20>;

// Who is logged in.
struct Login {
  int32_t user = 0;  // PER:CTA, 0 for the master login
  AccessLevels levels{};
  bool isMaster() const { return user == 0; }
  int level(int element) const { return levels[element - 1]; }
};

// Module elements the screens check. (The captions of the user form name
// element 4 "CONCEPTOS BASE DE DATOS:" and 5 "COSTO HORARIO B/DATOS:", but
// the machinery form checks 4 and the salary-zone form 5; stored levels keep
// that meaning.)
namespace element {
constexpr int kUsers = 1;
constexpr int kGenericKeys = 2;
constexpr int kBaseInputs = 3;
constexpr int kMachinery = 4;
constexpr int kZones = 5;
constexpr int kWorks = 6;
constexpr int kWorkConcepts = 8;
}  // namespace element

// The warnings of the form opening check, in order; empty when allowed.
// `recordOwner` is given by forms that apply the own-account rule: the account
// of the user record being changed (the user form), which must be the
// logged-in user's own.
std::vector<WarningLines> formOpeningCheck(const Login& login, int element, FormRequest request,
                                           std::optional<int32_t> recordOwner = std::nullopt);

// The warning of the delete check of a list, or nothing when allowed.
std::optional<WarningLines> deleteCheck(const Login& login, int element);

}  // namespace velmora::shell

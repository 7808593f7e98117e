// Login and the stored form of passwords.
//
// The master login is compared exactly (trailing blanks ignored); users of
// PERS match their login and the first 10 characters of their password
// without regard to letter case. Passwords are stored as a marker and a digest
// so that a table file never shows them; a password stored as plain text (a
// file written before) still matches under the same rules.
#pragma once

#include <string>
#include <string_view>

#include "shell/access.h"
#include "tables/record.h"
#include "tables/table.h"

namespace velmora::shell {

// The value stored in PER:PASS for a typed user password.
std::string storedUserPassword(std::string_view typed);
// The value stored in VGA:CLAV for a typed master password.
std::string storedMasterPassword(std::string_view typed);
bool masterPasswordMatches(std::string_view stored, std::string_view typed);

struct LoginResult {
  enum Kind { kMaster, kUser, kRefused, kEmpty } kind = kRefused;
  Login login;
};

// ACCE's decision: `settings` is the VGA record, `pers` the users table (open).
// kEmpty when the login or the password is blank (the program ends), kRefused
// when no account matches (the three-line warning, then the program ends).
LoginResult checkLogin(const tables::Record& settings, tables::Table& pers, std::string_view login,
                       std::string_view password);

}  // namespace velmora::shell

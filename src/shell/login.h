// Login and the stored form of passwords.
//
// The master login is compared exactly (trailing blanks ignored); users of
// PERS match their login and the first 10 characters of their password
// without regard to letter case. Passwords are stored as Argon2id strings
// (libsodium, a salt of their own each), so a table file never shows them and
// a stored value typed as a password never logs in. Older stored forms (a
// digest, or plain text) still match under the same rules and are replaced
// by Argon2id at the next successful login.
#pragma once

#include <string>
#include <string_view>

#include "shell/access.h"
#include "shell/records.h"
#include "tables/record.h"
#include "tables/table.h"

namespace velmora::shell {

// The value stored in PER:PASS for a typed user password.
std::string storedUserPassword(std::string_view typed);
// The value stored in VGA:CLAV for a typed master password.
std::string storedMasterPassword(std::string_view typed);
bool masterPasswordMatches(std::string_view stored, std::string_view typed);
// Whether a stored password is in an older form, to be rehashed.
bool needsUpgrade(std::string_view stored);

struct LoginResult {
  enum Kind { kMaster, kUser, kRefused, kEmpty } kind = kRefused;
  Login login;
  // For a master login whose password is stored in an older form: the new
  // stored form, for the caller to write into the settings table.
  std::string upgradedMasterPassword;
};

// ACCE's decision: `settings` are the installation's, `pers` the users table (open).
// kEmpty when the login or the password is blank (the program ends), kRefused
// when no account matches (the three-line warning, then the program ends).
// A user's password in an older form is rewritten through `pers`.
LoginResult checkLogin(const InstallationSettings& settings, tables::Table& pers, std::string_view login,
                       std::string_view password);

}  // namespace velmora::shell

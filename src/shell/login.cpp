#include "shell/login.h"

#include <sodium.h>

#include <vector>

#include "framework/sha256.h"
#include "framework/text.h"

namespace velmora::shell {
namespace {

constexpr char kDigestMarker = '~';

// `chars` characters of base-32 (A-Z, 2-7) from the digest: upper case only,
// so that a case-insensitive key keeps every bit.
std::string digest(std::string_view salt, std::string_view text, size_t chars) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  const std::string hex = sha256Hex(std::string("velmora:") + std::string(salt) + ":" + std::string(text));
  std::string out(1, kDigestMarker);
  uint64_t acc = 0;
  int bits = 0;
  for (char h : hex) {
    acc = (acc << 4) | static_cast<uint64_t>(h <= '9' ? h - '0' : h - 'a' + 10);
    bits += 4;
    while (bits >= 5 && out.size() <= chars) {
      out += kAlphabet[(acc >> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  return out;
}

// What is hashed: users' passwords by their first 10 characters without
// regard to case, the master's exactly (trailing blanks never count).
std::string userPasswordText(std::string_view typed) { return text::upper(text::clip(text::truncateChars(typed, 10))); }

bool ensureSodium() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// Argon2id with a salt of its own: the parameters (2 passes over 19 MiB) are
// the usual minimum for interactive logins.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19u * 1024 * 1024;

std::string argon2(const std::string& text) {
  char out[crypto_pwhash_STRBYTES];
  if (!ensureSodium() || crypto_pwhash_str(out, text.data(), text.size(), kOpsLimit, kMemLimit) != 0) {
    return {};  // out of memory: nothing that could ever match is stored
  }
  return out;
}

bool isArgon2(std::string_view stored) { return stored.rfind("$argon2", 0) == 0; }

// Whether `typed` (already normalised) matches `stored` in any of its forms:
// Argon2id, the older digest (compared as a digest, never as typed text),
// or plain text written before passwords were hashed.
bool storedMatches(std::string_view stored, const std::string& typed, std::string_view legacySalt, size_t legacyChars,
                   bool ignoreCase) {
  const std::string clipped = text::clip(stored);
  if (isArgon2(clipped)) {
    return ensureSodium() && crypto_pwhash_str_verify(clipped.c_str(), typed.data(), typed.size()) == 0;
  }
  if (!clipped.empty() && clipped[0] == kDigestMarker) return clipped == digest(legacySalt, typed, legacyChars);
  return ignoreCase ? text::equalsNoCase(text::truncateChars(clipped, 10), typed) : clipped == typed;
}

}  // namespace

std::string storedUserPassword(std::string_view typed) { return argon2(userPasswordText(typed)); }

std::string storedMasterPassword(std::string_view typed) { return argon2(text::clip(typed)); }

bool masterPasswordMatches(std::string_view stored, std::string_view typed) {
  return storedMatches(stored, text::clip(typed), "VGA", 19, false);
}

bool needsUpgrade(std::string_view stored) { return !isArgon2(text::clip(stored)); }

LoginResult checkLogin(const InstallationSettings& settings, tables::Table& pers, std::string_view login,
                       std::string_view password) {
  LoginResult result;
  if (text::clip(login).empty() || text::clip(password).empty()) {
    result.kind = LoginResult::kEmpty;
    return result;
  }
  if (text::clip(login) == text::clip(settings.masterLogin) &&
      masterPasswordMatches(settings.masterPassword, password)) {
    result.kind = LoginResult::kMaster;
    if (needsUpgrade(settings.masterPassword)) result.upgradedMasterPassword = storedMasterPassword(password);
    return result;
  }
  // Every account with this login, then the password of each.
  const std::string login10 = text::clip(text::truncateChars(login, 10));
  const std::string typed = userPasswordText(password);
  std::vector<int64_t> candidates;
  pers.rec().clear();
  pers.rec().setText("LOGIN", login10);
  pers.setOrderAt(pers.keyIndex("PER:LOG_KEY"));
  // A read that fails ends the search: the login is refused, never granted.
  while (pers.next().found()) {
    const User user = userOf(pers.rec());
    if (!text::equalsNoCase(text::clip(user.login), login10)) break;
    if (storedMatches(user.password, typed, "PERS", 9, true)) candidates.push_back(pers.recordId());
  }
  if (candidates.empty() || !pers.fetchById(candidates.front()).found()) {
    result.kind = LoginResult::kRefused;
    return result;
  }
  const User user = userOf(pers.rec());
  if (needsUpgrade(user.password)) {
    const std::string upgraded = storedUserPassword(password);
    if (!upgraded.empty()) {
      setUserPassword(pers.rec(), upgraded);
      (void)pers.update();  // a failed upgrade leaves the older form, which still matches
    }
  }
  result.kind = LoginResult::kUser;
  result.login.user = user.account;
  for (size_t i = 0; i < user.levels.size(); ++i) result.login.levels[i] = user.levels[i];
  return result;
}

}  // namespace velmora::shell

#include "shell/login.h"

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

}  // namespace

std::string storedUserPassword(std::string_view typed) {
  return digest("PERS", text::upper(text::clip(text::truncateChars(typed, 10))), 9);
}

std::string storedMasterPassword(std::string_view typed) {
  return digest("VGA", text::clip(typed), 19);
}

bool masterPasswordMatches(std::string_view stored, std::string_view typed) {
  const std::string clipped = text::clip(stored);
  if (!clipped.empty() && clipped[0] == kDigestMarker) return clipped == storedMasterPassword(typed);
  return clipped == text::clip(typed);
}

LoginResult checkLogin(const tables::Record& settings, tables::Table& pers, std::string_view login,
                       std::string_view password) {
  LoginResult result;
  if (text::clip(login).empty() || text::clip(password).empty()) {
    result.kind = LoginResult::kEmpty;
    return result;
  }
  if (text::clip(login) == text::clip(settings.text("LOGIN")) &&
      masterPasswordMatches(settings.text("CLAV"), password)) {
    result.kind = LoginResult::kMaster;
    return result;
  }
  const int key = pers.keyIndex("PER:LOG_KEY");
  const std::string login10 = text::truncateChars(login, 10);
  for (const std::string& pass : {storedUserPassword(password), text::truncateChars(password, 10)}) {
    pers.rec().clear();
    pers.rec().setText("LOGIN", login10);
    pers.rec().setText("PASS", pass);
    if (pers.fetch(key)) {
      result.kind = LoginResult::kUser;
      result.login.user = static_cast<int32_t>(pers.rec().integer("CTA"));
      for (int i = 1; i <= 20; ++i) result.login.levels[i - 1] = static_cast<uint8_t>(pers.rec().integer("PRES", i));
      return result;
    }
  }
  result.kind = LoginResult::kRefused;
  return result;
}

}  // namespace velmora::shell

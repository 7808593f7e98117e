#include "net/ftp_reply.h"

namespace velmora::net {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the line that starts at `from` (the index after its line
// break), or npos while the line is incomplete.
size_t lineEnd(const std::string& s, size_t from) {
  const size_t lf = s.find('\n', from);
  return lf == std::string::npos ? std::string::npos : lf + 1;
}

}  // namespace

bool ReplyAssembler::feed(std::string_view bytes, std::vector<FtpReply>& replies, std::vector<std::string>& log) {
  held_.append(bytes);
  for (;;) {
    // A reply is looked at once six characters are there ("220 x" and a break).
    if (held_.size() < 6) break;
    const size_t first = lineEnd(held_, 0);
    if (!isDigit(held_[0]) || !isDigit(held_[1]) || !isDigit(held_[2]) || (held_[3] != ' ' && held_[3] != '-')) {
      if (first == std::string::npos && held_.size() <= kLimit) break;  // judged on the whole line
      log.push_back("Error. Illegal 3rd character received");
      log.push_back(std::string("Illegal character = [") + held_[3] + "]");
      held_.erase(0, first == std::string::npos ? held_.size() : first);
      continue;
    }
    const std::string code = held_.substr(0, 3);
    size_t end = std::string::npos;
    if (held_[3] == ' ') {
      end = first;
    } else {
      // Multi-line: complete at the break after a line "code ".
      size_t at = first;
      bool illegal = false;
      while (at != std::string::npos && at < held_.size()) {
        const size_t next = lineEnd(held_, at);
        if (next == std::string::npos) break;
        if (held_.compare(at, 3, code) == 0 && at + 3 < held_.size()) {
          const char after = held_[at + 3];
          if (after == ' ') {
            end = next;
            break;
          }
          if (after != '-') {
            log.push_back("Error. Illegal character after 2nd reply code received");
            log.push_back(std::string("Illegal character = [") + after + "]");
            illegal = true;
            end = next;
            break;
          }
        }
        at = next;
      }
      if (illegal) {
        held_.erase(0, end);
        continue;
      }
    }
    if (end == std::string::npos) break;
    if (end > kLimit) {  // a whole reply over the limit is refused like one still growing
      held_.clear();
      return false;
    }
    replies.push_back({std::stoi(code), held_.substr(0, end)});
    held_.erase(0, end);
  }
  if (held_.size() > kLimit) {
    held_.clear();
    return false;
  }
  return true;
}

}  // namespace velmora::net

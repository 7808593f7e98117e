// Assembly of FTP replies from the bytes of the control connection: one-line
// replies ("220 text"), multi-line replies ("220-..." up to "220 ..."), and
// replies that arrive in pieces, held until complete up to a fixed limit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::net {

struct FtpReply {
  int code = 0;
  std::string text;  // every line of the reply, line breaks included
};

class ReplyAssembler {
 public:
  static constexpr size_t kLimit = 98304;

  // Appends what arrived; each reply it completes goes to `replies`, and
  // each malformed line is dropped with its log lines in `log`. False when a
  // reply, complete or not, is longer than the limit (what is held is then
  // emptied).
  bool feed(std::string_view bytes, std::vector<FtpReply>& replies, std::vector<std::string>& log);
  void reset() { held_.clear(); }
  size_t held() const { return held_.size(); }

 private:
  std::string held_;
};

}  // namespace velmora::net

// Status: the outcome of an operation that can fail, returned as a value.
//
// Storage and services never throw across the event loop; they return a
// Status. A Status carries a code the caller can branch on and a short text
// for logs and for the "%ErrorText" of a message. Thread rules: a plain value.
#pragma once

#include <string>
#include <utility>

namespace velmora {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk = 0,
    kNotFound,      // no record with that key / no further record
    kDuplicateKey,  // a unique key would hold the value twice
    kConflict,      // another station changed or removed the record
    kLocked,        // the lock wait ran out
    kReadOnly,      // the file is open without write access
    kCorrupt,       // damaged keys or a file that is not a table
    kInvalid,       // a value outside its range, a bad argument
    kCancelled,     // the user said no
    kIoError,       // any other failure of the storage engine or the disk
  };

  Status() = default;
  static Status ok() { return Status(); }
  static Status error(Code code, std::string text) { return Status(code, std::move(text)); }
  static Status notFound(std::string text = "Registro no encontrado") {
    return Status(Code::kNotFound, std::move(text));
  }

  bool isOk() const { return code_ == Code::kOk; }
  explicit operator bool() const { return isOk(); }
  Code code() const { return code_; }
  bool is(Code c) const { return code_ == c; }
  const std::string& text() const { return text_; }

 private:
  Status(Code code, std::string text) : code_(code), text_(std::move(text)) {}
  Code code_ = Code::kOk;
  std::string text_;
};

}  // namespace velmora
